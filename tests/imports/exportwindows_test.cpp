// The roster's CSV export and the import's header box, driven through the
// windows: what the list shows goes out, and comes back in with the box on.

#include "csvimport/frmcsvin.h"
#include "importtestutil.h"
#include "customer/customer.h"
#include "roster/frmaddress.h"
#include "ui/errordisplay.h"
#include "ui/notice.h"
#include "tests/testevents.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <optional>

using namespace tessolo;

class TestExportWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<importtest::Db> db;
    QStringList errors;
    QStringList notices;
    std::optional<TShownMessages> shown;

    void add(const QString& name, const QString& kana, const QString& memo = QString())
    {
        customer::Record r{};
        r[0] = name;
        r[1] = kana;
        r[16] = memo;
        TSQLiteDo::execute(customer::insertSql(r));
    }

    // Chooses `file` and the encoding in the save dialog once it is up.
    void answerSave(TfrmAddress& w, const QString& file, int encoding)
    {
        QTimer::singleShot(0, w.SaveTextFileDialog1, [&w, file, encoding] {
            w.EncodingBox->setCurrentIndex(encoding);
            w.SaveTextFileDialog1->selectFile(file);
            static_cast<QDialog*>(w.SaveTextFileDialog1)->accept();
        });
    }

private slots:
    void init()
    {
        db = std::make_unique<importtest::Db>();
        shown.emplace(errors, notices);
    }
    void cleanup()
    {
        db.reset();
        shown.reset();
    }

    void exportSitsBesideTheImportAndAsksForAFile()
    {
        TfrmAddress w;
        auto* file = w.MainMenu1->findChild<QMenu*>(QStringLiteral("N1"));
        QVERIFY(file);
        QStringList captions;
        for (QAction* a : file->actions())
            captions << a->text();
        QCOMPARE(
            captions,
            QStringList({QStringLiteral("郵便データ更新"), QStringLiteral("住所データ取込"),
                         QStringLiteral("住所データ出力"), QStringLiteral("宛名印刷"), QStringLiteral("地図に表示"),
                         QStringLiteral("バックアップ"), QStringLiteral("終了(&X)")}));
        QCOMPARE(w.actExportCsv->text(), QStringLiteral("CSV"));
        QCOMPARE(w.SaveTextFileDialog1->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(w.SaveTextFileDialog1->nameFilters(),
                 (QStringList{QStringLiteral("CSV (*.csv)"), QStringLiteral("Excel (*.xlsx)")}));
        QCOMPARE(w.EncodingBox->currentIndex(), 0);
        QCOMPARE(w.EncodingBox->count(), 2);
        QVERIFY(w.EncodingBox->itemText(1).startsWith(QStringLiteral("UTF-8")));

        // Cancelled: nothing written, nothing said.
        QTimer::singleShot(0, w.SaveTextFileDialog1, [&w] { w.SaveTextFileDialog1->reject(); });
        w.actExportCsv->trigger();
        QVERIFY(notices.isEmpty());
        QVERIFY(errors.isEmpty());
        QVERIFY(QDir(db->path(QString())).entryList({QStringLiteral("*.csv")}).isEmpty());
    }

    void exportWritesWhatTheListShowsAndImportsBackWithTheHeaderBox()
    {
        add(QStringLiteral("佐藤"), QStringLiteral("サトウ"));
        add(QStringLiteral("後藤 一"), QStringLiteral("ゴトウ"), QStringLiteral("一行目\n二行目"));
        add(QStringLiteral("加藤"), QStringLiteral("カトウ"));
        TfrmAddress w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.listByKana(7); // カ行
        QCOMPARE(w.EditCnt->text(), QStringLiteral("2"));

        const QString file = db->path(QStringLiteral("out.csv"));
        answerSave(w, file, 1);
        w.actExportCsv->trigger();
        QCOMPARE(errors, QStringList());
        QCOMPARE(notices, QStringList{QStringLiteral("2 件の顧客データを書き出しました。")});
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF\"氏名\""));
        QVERIFY(bytes.contains("\r\n\"加藤\",\"カトウ\""));
        QVERIFY(bytes.contains("\r\n\"後藤 一\",\"ゴトウ\""));
        QVERIFY(!bytes.contains("佐藤"));
        QVERIFY(bytes.indexOf("加藤") < bytes.indexOf("後藤"));
        QVERIFY(bytes.contains("\"一行目\n二行目\"\r\n"));
        w.hide();

        db->exec(QStringLiteral("delete from t_customer"));
        TfrmCsvin in;
        in.setCsvFile(file);
        in.show();
        QVERIFY(QTest::qWaitForWindowExposed(&in));
        QVERIFY(!in.CheckHeader->isChecked());
        QCOMPARE(in.ListBoxCsv->item(16)->text(), QStringLiteral("16 備考"));
        QVERIFY(in.ListViewCsv->topLevelItem(0)->text(1).isEmpty());

        QTest::mouseClick(in.CheckHeader, Qt::LeftButton);
        QVERIFY(in.CheckHeader->isChecked());
        for (int k = 0; k < customer::kColumnCount; ++k)
            QCOMPARE(in.ListViewCsv->topLevelItem(k)->text(1), in.ListBoxCsv->item(k)->text());
        // Still the user's to change: the company reading cleared.
        in.ListViewCsv->setCurrentItem(in.ListViewCsv->topLevelItem(3));
        QTest::mouseClick(in.btndel, Qt::LeftButton);

        QTest::mouseClick(in.btngo, Qt::LeftButton);
        QCOMPARE(errors, QStringList());
        QCOMPARE(notices.last(), QStringLiteral("2 件の顧客データを取り込みました。"));
        QCOMPARE(db->rows(QStringLiteral("select person_name, person_kana, memo from t_customer order by rowid")),
                 QStringList({QStringLiteral("加藤|カトウ|"), QStringLiteral("後藤 一|ゴトウ|一行目\r\n二行目")}));

        // Shown again: the box is off, and then the header is a customer too.
        db->exec(QStringLiteral("delete from t_customer"));
        in.show();
        QVERIFY(QTest::qWaitForWindowExposed(&in));
        QVERIFY(!in.CheckHeader->isChecked());
        in.ListViewCsv->setCurrentItem(in.ListViewCsv->topLevelItem(0));
        in.ListBoxCsv->setCurrentRow(0);
        QTest::mouseClick(in.btnadd, Qt::LeftButton);
        QTest::mouseClick(in.btngo, Qt::LeftButton);
        QCOMPARE(db->rows(QStringLiteral("select person_name from t_customer order by rowid")),
                 QStringList({QStringLiteral("氏名"), QStringLiteral("加藤"), QStringLiteral("後藤 一")}));
    }

    void aFileThatCannotBeWrittenIsReportedAndNothingIsSaidToBeWritten()
    {
        add(QStringLiteral("加藤"), QStringLiteral("カトウ"));
        TfrmAddress w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // A "folder" that is a plain file: no one can create files in it,
        // root included. (Not /proc: the dialog would remember it as the
        // last folder visited, and every later dialog would open there.)
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QFile plain(tmp.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString target = tmp.filePath(QStringLiteral("plain/tessolo-export.csv"));
        answerSave(w, target, 0);
        w.actExportCsv->trigger();
        QCOMPARE(notices, QStringList());
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QStringLiteral("書き出せませんでした")), qPrintable(errors[0]));
        QVERIFY2(errors[0].contains(target), qPrintable(errors[0]));
        QVERIFY(!QFile::exists(target));
    }
};

QTEST_MAIN(TestExportWindows)
#include "exportwindows_test.moc"
