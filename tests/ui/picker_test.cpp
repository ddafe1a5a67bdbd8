// The customer picker: what getFlg and getSQL hand the map window after each
// way of choosing, checked by running the statement handed back.

#include "picker/frmclntsrc.h"
#include "ui/kanabuttons.h"
#include "realevents.h"
#include "uitest.h"

#include <QAction>
#include <QElapsedTimer>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using uitest::Db;
using uitest::Errors;
namespace ev = realevents;

class TestPicker : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Db> db;
    std::unique_ptr<TfrmClntsrc> w;

    QStringList names(const QString& sql) { return Db::column(sql, QStringLiteral("person_name")); }
    QStringList listNames() const
    {
        QStringList out;
        for (int i = 0; i < w->ListViewNm->topLevelItemCount(); ++i)
            out << w->ListViewNm->topLevelItem(i)->text(0);
        return out;
    }
    void open()
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }

private slots:
    void init()
    {
        db = std::make_unique<Db>();
        QVERIFY(db->ok());
        Db::addCustomer({QStringLiteral("山田太郎"), QStringLiteral("ヤマダタロウ"), QStringLiteral("山田商店")});
        Db::addCustomer({QStringLiteral("加藤一郎"), QStringLiteral("カトウイチロウ")});
        Db::addCustomer({QStringLiteral("後藤花子"), QStringLiteral("ゴトウハナコ")});
        Db::addCustomer({QStringLiteral("山本"), QStringLiteral("ヤマモト")});
        Db::addCustomer({QStringLiteral("オニール"), QStringLiteral("オ'ニール")});
        w = std::make_unique<TfrmClntsrc>();
    }
    void cleanup()
    {
        w.reset();
        db.reset();
    }

    void openingListsEveryoneAndConfirmingReturnsThatList()
    {
        open();
        QCOMPARE(w->windowTitle(), QStringLiteral("顧客住所閲覧"));
        QCOMPARE(w->EditCnt->text(), QStringLiteral("5"));
        QCOMPARE(w->ListViewNm->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(w->ListViewNm->headerItem()->text(0), QStringLiteral("氏名"));
        QCOMPARE(w->ListViewNm->headerItem()->text(1), QStringLiteral("氏名（カナ）"));
        QCOMPARE(w->ListViewNm->headerItem()->text(2), QStringLiteral("会社名"));
        QCOMPARE(w->ListViewNm->headerItem()->text(3), QStringLiteral("住所"));
        QCOMPARE(w->ListViewNm->columnCount(), 4); // the rowid travels unseen
        QCOMPARE(w->getFlg(), 0);
        w->btnok->click();
        QCOMPARE(w->getFlg(), 1);
        QString sql;
        w->getSQL(sql);
        QCOMPARE(names(sql).size(), 5);
        QVERIFY(!w->isVisible());
    }

    void rowButtonThenConfirmWithAndWithoutSelection()
    {
        open();
        w->ListViewNm->topLevelItem(0)->setSelected(true); // dropped by the next list
        w->KanaButtons->button(QStringLiteral("btnK"))->click();
        QCOMPARE(listNames(), (QStringList{QStringLiteral("加藤一郎"), QStringLiteral("後藤花子")}));
        QCOMPARE(w->EditCnt->text(), QStringLiteral("2"));
        w->btnok->click();
        QCOMPARE(names(w->getSQL()), (QStringList{QStringLiteral("加藤一郎"), QStringLiteral("後藤花子")}));

        open(); // each showing starts again from the full list
        QCOMPARE(w->getFlg(), 0);
        QCOMPARE(w->EditCnt->text(), QStringLiteral("5"));
        w->findChild<QAction*>(QStringLiteral("PM_ya"))->trigger();
        QCOMPARE(listNames(), (QStringList{QStringLiteral("山田太郎"), QStringLiteral("山本")}));
        w->ListViewNm->topLevelItem(0)->setSelected(true);
        w->ListViewNm->topLevelItem(1)->setSelected(true);
        w->btnok->click();
        // The chosen rowids in the list's order, and the statement over them in the same order.
        QCOMPARE(names(w->getSQL()), (QStringList{QStringLiteral("山田太郎"), QStringLiteral("山本")}));
        QCOMPARE(w->getRowids().size(), 2);
        QCOMPARE(w->getRowids(), w->chosenRowids());
    }

    void nameSearchThenConfirm()
    {
        open();
        w->EditNm->setText(QStringLiteral("ヤマ"));
        w->btnNm->click();
        QCOMPARE(w->EditCnt->text(), QStringLiteral("2"));
        w->btnok->click();
        QCOMPARE(names(w->getSQL()), (QStringList{QStringLiteral("山田太郎"), QStringLiteral("山本")}));

        // An apostrophe finds names instead of breaking the statement.
        open();
        Errors errors;
        w->EditNm->setText(QStringLiteral("オ'"));
        w->btnNm->click();
        QVERIFY(errors.messages.isEmpty());
        QCOMPARE(listNames(), QStringList{QStringLiteral("オニール")});
        w->ListViewNm->topLevelItem(0)->setSelected(true);
        w->btnok->click();
        QCOMPARE(names(w->getSQL()), QStringList{QStringLiteral("オニール")});

        // Hiragana finds the katakana readings it stands for. Clear brings everyone back.
        open();
        QCOMPARE(w->EditNm->text(), QStringLiteral("オ'")); // kept from the last showing
        w->EditNm->setText(QStringLiteral("やま"));
        w->btnNm->click();
        QCOMPARE(w->EditCnt->text(), QStringLiteral("2"));
        w->btnclear->click();
        QCOMPARE(w->EditCnt->text(), QStringLiteral("5"));
        QVERIFY(w->EditNm->text().isEmpty());
    }

    void cancelAndCloseBoxReturnZero()
    {
        open();
        w->btnok->click();
        QCOMPARE(w->getFlg(), 1);
        open();
        w->btncancel->click();
        QCOMPARE(w->getFlg(), 0);
        open();
        w->close();
        QCOMPARE(w->getFlg(), 0);
    }

    void enterInTheListKeepsTheSelectionAndEnterInTheNameFieldSearches()
    {
        open();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        const QString fullList = w->getSQL();
        auto rowAt = [this](int i) { return w->ListViewNm->visualItemRect(w->ListViewNm->topLevelItem(i)).center(); };
        ev::click(w->ListViewNm->viewport(), Qt::LeftButton, rowAt(0));
        QTest::mouseClick(ev::windowOf(w.get()), Qt::LeftButton, Qt::ControlModifier,
                          ev::inWindow(w->ListViewNm->viewport(), rowAt(2)));
        QCOMPARE(w->ListViewNm->selectedItems().size(), 2);
        ev::key(w.get(), Qt::Key_Return);
        QCOMPARE(w->ListViewNm->selectedItems().size(), 2);
        QCOMPARE(w->EditCnt->text(), QStringLiteral("5"));
        QCOMPARE(w->getSQL(), fullList);
        QVERIFY(w->isVisible());

        // Enter in the name field searches.
        ev::click(w->EditNm);
        ev::typeText(w.get(), QStringLiteral("ヤマ"));
        ev::key(w.get(), Qt::Key_Return);
        QCOMPARE(listNames(), (QStringList{QStringLiteral("山田太郎"), QStringLiteral("山本")}));
        // Enter on the focused 決定 confirms.
        ev::key(w.get(), Qt::Key_Tab); // 検索
        ev::key(w.get(), Qt::Key_Tab); // クリア
        ev::key(w.get(), Qt::Key_Tab); // 決定
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->btnok));
        ev::key(w.get(), Qt::Key_Return);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->getFlg(), 1);
        QCOMPARE(names(w->getSQL()), (QStringList{QStringLiteral("山田太郎"), QStringLiteral("山本")}));
    }

    // Namesakes told apart by their address; the rows chosen go to the map
    // in the list's order, whatever the order of the clicks.
    void chosenRowsKeepTheListOrderAndShowTheirAddress()
    {
        Db::exec(QStringLiteral("update t_customer set prefecture = '大阪府', city = '大阪市', town = '北区' "
                                "where person_name = '山本'"));
        open();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        // In reading order: オ'ニール, カトウ, ゴトウ, ヤマダ, ヤマモト.
        QCOMPARE(listNames().at(4), QStringLiteral("山本"));
        QCOMPARE(w->ListViewNm->topLevelItem(4)->text(3), QStringLiteral("大阪府大阪市北区"));
        auto rowAt = [this](int i) { return w->ListViewNm->visualItemRect(w->ListViewNm->topLevelItem(i)).center(); };
        ev::click(w->ListViewNm->viewport(), Qt::LeftButton, rowAt(4));
        QTest::mouseClick(ev::windowOf(w.get()), Qt::LeftButton, Qt::ControlModifier,
                          ev::inWindow(w->ListViewNm->viewport(), rowAt(1)));
        w->btnok->click();
        QCOMPARE(w->getRowids().size(), 2);
        QCOMPARE(names(tessolo::customer::rowidsSql(
                     {QString::number(w->getRowids().at(0)), QString::number(w->getRowids().at(1))})),
                 (QStringList{QStringLiteral("加藤一郎"), QStringLiteral("山本")}));
        QCOMPARE(names(w->getSQL()), (QStringList{QStringLiteral("加藤一郎"), QStringLiteral("山本")}));
    }

    void closeBoxWhileShownModallyReturnsZero()
    {
        // As the map window opens it: modally; rows chosen, then the close box.
        bool closed = false;
        ev::onNextModal([&](QWidget* modal) {
            QCOMPARE(modal, static_cast<QWidget*>(w.get()));
            ev::click(w->ListViewNm->viewport(), Qt::LeftButton,
                      w->ListViewNm->visualItemRect(w->ListViewNm->topLevelItem(1)).center());
            modal->windowHandle()->close(); // what the window system does for the close box
            closed = true;
        });
        const int result = w->exec();
        QVERIFY(closed);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(w->getFlg(), 0);
    }

    void typedWildcardsActAndAnswerAtOnce()
    {
        // 2,000 customers with readings of 30 kana, ア in every other place,
        // none with ン: the worst case for a pattern of stars.
        {
            tessolo::TSQLiteDo h;
            h.setDBpoint(tessolo::kDatabaseName);
            h.beginTransaction();
            const QString kana = QStringLiteral("カキクケコサシスセソ");
            for (int i = 0; i < 2000; ++i) {
                QString reading;
                for (int k = 0; k < 15; ++k)
                    reading += QStringLiteral("ア") + kana[(i + k) % kana.size()];
                tessolo::customer::Record r;
                r[0] = QStringLiteral("顧客%1").arg(i);
                r[1] = reading;
                h.exec_sql2(tessolo::customer::insertSql(r));
            }
            h.commitTransaction();
        }
        Db::addCustomer({QStringLiteral("荒川"), QStringLiteral("アアアアアアン")});
        open();
        auto search = [this](const QString& typed) {
            w->EditNm->setText(typed);
            QElapsedTimer t;
            qint64 best = std::numeric_limits<qint64>::max();
            for (int i = 0; i < 3; ++i) {
                t.start();
                w->btnNm->click();
                best = std::min(best, t.elapsed());
            }
            return best;
        };
        for (const QString& typed : {QStringLiteral("*ア*ア*ア*ア*ン"), QStringLiteral("*ア*ア*ア*ア*ア*ア*ン"),
                                     QStringLiteral("*?*?*?*?*?*?*ン")}) {
            const qint64 ms = search(typed);
            QVERIFY2(ms < 100, qPrintable(QStringLiteral("%1: %2 ms").arg(typed).arg(ms)));
            QCOMPARE(listNames(), QStringList{QStringLiteral("荒川")});
        }
        // The typed '*' and '?' still act as wildcards, as described.
        search(QStringLiteral("ヤ?ダ"));
        QCOMPARE(listNames(), QStringList{QStringLiteral("山田太郎")});
        search(QStringLiteral("*ウ"));
        QCOMPARE(w->EditCnt->text(), QStringLiteral("3")); // ヤマダタロウ, カトウイチロウ, ゴトウハナコ
        search(QStringLiteral("*ア*カ"));
        QCOMPARE(w->EditCnt->text(), QStringLiteral("2000"));
    }

    void katakanaModeOnTheSearchField()
    {
        open();
        w->EditNm->setFocus();
        QInputMethodEvent e(QString(), {});
        e.setCommitString(QStringLiteral("やま"));
        QApplication::sendEvent(w->EditNm, &e);
        QCOMPARE(w->EditNm->text(), QStringLiteral("ヤマ"));
    }
};

QTEST_MAIN(TestPicker)
#include "picker_test.moc"
