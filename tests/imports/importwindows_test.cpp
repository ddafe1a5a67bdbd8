// The CSV import window and the postal update as the roster starts it, driven
// through their controls on the offscreen platform.

#include "csvimport/frmcsvin.h"
#include "importtestutil.h"
#include "ui/errordisplay.h"
#include "ui/notice.h"
#include "ui/postalupdatedialog.h"
#include "tests/ui/realevents.h"
#include "tests/testevents.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTableWidget>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <optional>

using namespace tessolo;
using importtest::sjis;

class TestImportWindows : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<importtest::Db> db;
    std::unique_ptr<TfrmCsvin> w;
    QStringList errors;
    QStringList notices;
    std::optional<TShownMessages> shown;

    void open(const QByteArray& bytes)
    {
        w->setCsvFile(db->write(QStringLiteral("c.csv"), bytes));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    QStringList entries() const
    {
        QStringList out;
        for (int i = 0; i < w->ListBoxCsv->count(); ++i)
            out << w->ListBoxCsv->item(i)->text();
        return out;
    }
    QTreeWidgetItem* field(int k) const { return w->ListViewCsv->topLevelItem(k); }
    // Assign the column entry `entry` to field `k` with "＜＜指定".
    void assign(int k, int entry)
    {
        w->ListViewCsv->setCurrentItem(field(k));
        w->ListBoxCsv->setCurrentRow(entry);
        QTest::mouseClick(w->btnadd, Qt::LeftButton);
    }

private slots:
    void init()
    {
        db = std::make_unique<importtest::Db>();
        w = std::make_unique<TfrmCsvin>();
        shown.emplace(errors, notices);
    }
    void cleanup()
    {
        w.reset();
        db.reset();
        shown.reset();
    }

    void previewShowsTheFirstLinesColumns()
    {
        open(sjis(QStringLiteral("\r\n   \r\n山田 太郎,ﾔﾏﾀﾞ,\"A,B\",\r\nx,y\r\n")));
        QCOMPARE(entries(),
                 QStringList({QStringLiteral("00 山田 太郎"), QStringLiteral("01 ﾔﾏﾀﾞ"), QStringLiteral("02 A,B"),
                              QStringLiteral("03 ")}));
        // The first lines as they will be stored, and what they were read as.
        QCOMPARE(w->TablePreview->rowCount(), 2);
        QCOMPARE(w->TablePreview->item(0, 0)->text(), QStringLiteral("山田 太郎"));
        QCOMPARE(w->TablePreview->item(1, 1)->text(), QStringLiteral("y"));
        QCOMPARE(w->ComboEncoding->currentData().toInt(), int(TextEncoding::Cp932));
        // The seventeen fields, then the whole address to split.
        QCOMPARE(w->ListViewCsv->topLevelItemCount(), 19);
        QCOMPARE(field(1)->text(0), QStringLiteral("氏名「カナ」"));
        QCOMPARE(field(16)->text(0), QStringLiteral("備考"));
        QCOMPARE(field(17)->text(0), QStringLiteral("住所（一括）"));
        QVERIFY(w->windowTitle().startsWith(QStringLiteral("CSVデータ取込 読み込みファイル[")));
        QCOMPARE(w->allBuf.size(), 2);

        // Another file, another showing: its columns only, nothing assigned.
        assign(0, 1);
        w->hide();
        open(QByteArray("p,q\n"));
        QCOMPARE(entries(), QStringList({QStringLiteral("00 p"), QStringLiteral("01 q")}));
        QVERIFY(field(0)->text(1).isEmpty());
        QVERIFY(errors.isEmpty());
    }

    void assignFillsFirstThenSecondAndClearEmptiesBoth()
    {
        open(QByteArray("a,b,c\n"));
        assign(2, 0);
        assign(2, 1);
        assign(2, 2);
        QCOMPARE(field(2)->text(1), QStringLiteral("00 a"));
        QCOMPARE(field(2)->text(2), QStringLiteral("02 c"));
        w->ListViewCsv->setCurrentItem(field(2));
        QTest::mouseClick(w->btndel, Qt::LeftButton);
        QVERIFY(field(2)->text(1).isEmpty() && field(2)->text(2).isEmpty());
    }

    void enterInEitherListAssignsNothingOnlyTheButtonDoes()
    {
        namespace ev = realevents;
        open(QByteArray("a,b\n"));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        ev::click(w->ListViewCsv->viewport(), Qt::LeftButton, w->ListViewCsv->visualItemRect(field(0)).center());
        ev::click(w->ListBoxCsv->viewport(), Qt::LeftButton,
                  w->ListBoxCsv->visualItemRect(w->ListBoxCsv->item(1)).center());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->ListBoxCsv));
        ev::key(w.get(), Qt::Key_Return);
        ev::click(w->ListViewCsv->viewport(), Qt::LeftButton, w->ListViewCsv->visualItemRect(field(0)).center());
        ev::key(w.get(), Qt::Key_Enter, Qt::KeypadModifier);
        ev::key(w.get(), Qt::Key_Return);
        QVERIFY(field(0)->text(1).isEmpty());
        QVERIFY(w->isVisible());

        ev::click(w->btnadd);
        QCOMPARE(field(0)->text(1), QStringLiteral("01 b"));
        // A focused button is pressed by Enter, as everywhere.
        ev::key(w.get(), Qt::Key_Return);
        QCOMPARE(field(0)->text(2), QStringLiteral("01 b"));
    }

    void runImportsAndCloses()
    {
        open(sjis(QStringLiteral("山田 太郎,ﾔﾏﾀﾞ,ﾀﾛｳ\n鈴木,ｽｽﾞｷ,\n")));
        assign(0, 0);
        assign(1, 1);
        assign(1, 2);
        QTest::mouseClick(w->btngo, Qt::LeftButton);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(notices, QStringList{QStringLiteral("2 件の顧客データを取り込みました。")});
        QVERIFY(!w->isVisible());
        QCOMPARE(w->result(), int(QDialog::Accepted));
        QCOMPARE(db->rows(QStringLiteral("select person_name, person_kana from t_customer order by rowid")),
                 QStringList({QStringLiteral("山田 太郎|ヤマダタロウ"), QStringLiteral("鈴木|スズキ")}));
    }

    void duplicatesAreAskedAboutAndTheLinesLeftOutWritten()
    {
        db->exec(QStringLiteral("insert into t_customer (person_name, person_kana, tel) values "
                                "('山田太郎','ヤマダタロウ','03-1111-2222')"));
        open(sjis(QStringLiteral("名前,フリガナ,電話,住所\r\n"
                                 "山田太郎,ﾔﾏﾀﾞﾀﾛｳ,0311112222,東京都府中市宮西町1\r\n"
                                 "鈴木一郎,ｽｽﾞｷｲﾁﾛｳ,0422000000,東京都府中市宮西町2\r\n"
                                 "鈴木一郎,ｽｽﾞｷｲﾁﾛｳ,042-200-0000,\r\n")));
        QTest::mouseClick(w->CheckHeader, Qt::LeftButton);
        // The lone 住所 column is the whole address.
        QCOMPARE(field(csvimport::kWholeAddress)->text(0), QStringLiteral("住所（一括）"));
        QCOMPARE(field(csvimport::kWholeAddress)->text(1), QStringLiteral("03 住所"));
        QVERIFY(field(9)->text(1).isEmpty());

        QString asked, offered;
        realevents::onNextModal([&](QWidget* box) {
            asked = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
            realevents::onNextModal([&](QWidget* second) {
                offered = second->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
                for (QPushButton* b : second->findChildren<QPushButton*>())
                    if (b->text() == TfrmCsvin::kWriteSkipped)
                        realevents::click(b);
            });
            for (QPushButton* b : box->findChildren<QPushButton*>())
                if (b->text() == TfrmCsvin::kSkipDuplicates)
                    realevents::click(b);
        });
        QTest::mouseClick(w->btngo, Qt::LeftButton);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QVERIFY2(asked.contains(
                     QStringLiteral("すでに登録されている顧客と同じ行が 1 行、ファイルの中で前の行と同じ行が 1 行")),
                 qPrintable(asked));
        QVERIFY2(offered.contains(QStringLiteral("重複のため 2 行を取り込みませんでした。")), qPrintable(offered));
        QCOMPARE(db->rows(QStringLiteral("select person_name, prefecture, city, town from t_customer order by rowid")),
                 QStringList({QStringLiteral("山田太郎|||"), QStringLiteral("鈴木一郎|東京都|府中市|宮西町2")}));
        QFile written(db->path(QStringLiteral("c_要確認.csv")));
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        QVERIFY(bytes.startsWith(sjis(QStringLiteral("\"氏名\",\"氏名「カナ」\""))));
        QVERIFY(bytes.contains(sjis(QStringLiteral("\"山田太郎\",\"ヤマダタロウ\""))));
        QVERIFY(bytes.contains(sjis(QStringLiteral("\"042-200-0000\""))));
        QCOMPARE(notices.size(), 1);
        QVERIFY(!w->isVisible());
    }

    void failureKeepsTheWindowOpenAndNothingImported()
    {
        const QString file = db->write(QStringLiteral("c.csv"), QByteArray("a,b,c\nd,e,f\ng,\"h\n"));
        w->setCsvFile(file);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        assign(0, 0);
        assign(5, 2);
        QTest::mouseClick(w->btngo, Qt::LeftButton);
        QCOMPARE(errors,
                 QStringList{
                     QStringLiteral("3 行目で始まる「\"」で囲まれた値が、ファイルの終わりまで閉じられていません。\n\n"
                                    "3 行目で中止しました。このファイルからは 1 件も取り込まれていません。")});
        QVERIFY(notices.isEmpty());
        QVERIFY(w->isVisible());
        QCOMPARE(field(5)->text(1), QStringLiteral("02 c"));
        QCOMPARE(db->count(QStringLiteral("t_customer")), 0);

        // The file mended, the same assignments run again: each line once.
        db->write(QStringLiteral("c.csv"), QByteArray("a,b,c\nd,e,f\ng,h,i\n"));
        QTest::mouseClick(w->btngo, Qt::LeftButton);
        QCOMPARE(db->rows(QStringLiteral("select person_name, department from t_customer order by rowid")),
                 QStringList({QStringLiteral("a|c"), QStringLiteral("d|f"), QStringLiteral("g|i")}));
        QVERIFY(!w->isVisible());
    }

    void runWithoutAnyFieldIsRefusedAndAnEmptyFileHasNoColumns()
    {
        open(QByteArray("a,b\nc,d\n"));
        QTest::mouseClick(w->btngo, Qt::LeftButton);
        QCOMPARE(errors, QStringList{csvimport::noAssignmentMessage()});
        QVERIFY(notices.isEmpty());
        QVERIFY(w->isVisible());
        QCOMPARE(db->count(QStringLiteral("t_customer")), 0);

        w->hide();
        open(QByteArray(" \r\n\r\n"));
        QVERIFY(entries().isEmpty());
    }

    void anotherEncodingCanBeChosen()
    {
        // EUC-JP: 山田,ヤマダ
        const QByteArray euc = QByteArray::fromHex("bbb3c5c42ca5e4a5dea5c00d0a");
        open(euc);
        QCOMPARE(w->ComboEncoding->currentData().toInt(), int(TextEncoding::EucJp));
        QCOMPARE(entries(), QStringList({QStringLiteral("00 山田"), QStringLiteral("01 ヤマダ")}));
        assign(0, 0);
        w->ComboEncoding->setCurrentIndex(w->ComboEncoding->findData(int(TextEncoding::Utf8)));
        emit w->ComboEncoding->activated(w->ComboEncoding->currentIndex());
        QVERIFY(w->LabelEncoding->text().contains(QStringLiteral("「EUC-JP」を選ぶと正しく読めます")));
        // The assignment keeps its column; its text follows the new reading.
        QVERIFY(field(0)->text(1).startsWith(QStringLiteral("00 ")));
        QVERIFY(field(0)->text(1) != QStringLiteral("00 山田"));
        QVERIFY(errors.isEmpty());
    }

    void missingFileIsReportedAndLeavesTheListsEmpty()
    {
        w->setCsvFile(db->path(QStringLiteral("gone.csv")));
        w->show();
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().startsWith(QStringLiteral("ファイルを開けません: ")));
        QVERIFY(entries().isEmpty());
        QCOMPARE(w->ListViewCsv->topLevelItemCount(), 19);
    }

    void postalUpdateSaysHowManyRowsOrWhatFailed()
    {
        db->exec(QStringLiteral("insert into m_postal values ('1','2','3','4','5','6','7','8','9')"));
        QVERIFY(ui::runPostalUpdateFile(
            nullptr, db->write(QStringLiteral("p.csv"), QByteArray("a,b,c,d,e,f,g,h,i\nj,k,l,m,n,o,p,q,r\n"))));
        QCOMPARE(notices, QStringList{QStringLiteral("郵便データを 2 件取り込みました。")});
        QVERIFY(errors.isEmpty());

        QVERIFY(!ui::runPostalUpdateFile(nullptr, db->write(QStringLiteral("p.csv"), QByteArray("a,b\n"))));
        QCOMPARE(errors, QStringList{QStringLiteral("リストのインデックスが範囲を超えています (2)")});
        QCOMPARE(db->count(QStringLiteral("m_postal")), 2);
    }
};

QTEST_MAIN(TestImportWindows)
#include "importwindows_test.moc"
