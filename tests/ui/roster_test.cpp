// The roster window driven as a user drives it: keys, clicks, menus, the
// confirmation dialog, on the offscreen platform against a database of its own.

#include "atena/frmatena.h"
#include "text/cp932.h"
#include "ui/memoedit.h"
#include "ui/notice.h"
#include "ui/okrightdlg2.h"
#include "roster/frmaddress.h"
#include "customer/customerlist.h"
#include "ui/imemode.h"
#include "ui/kanabuttons.h"
#include "ui/postaledit.h"
#include "ui/storablecheck.h"
#include "ui/windowset.h"
#include "realevents.h"
#include "uitest.h"
#include "tests/testevents.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QHeaderView>
#include <QScrollBar>
#include <QSettings>
#include <QTreeView>

using uitest::Db;
using uitest::Errors;
namespace ev = realevents;

class TestRoster : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Db> db;
    std::unique_ptr<TfrmAddress> w;
    std::unique_ptr<TOKRightDlg2> dlg;

    void showWindow()
    {
        w->show();
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    QStringList listNames() const
    {
        QStringList out;
        for (int i = 0; i < w->ListFilter->rowCount(); ++i)
            out << w->ListFilter->index(i, 0).data().toString();
        return out;
    }
    QRect rowRect(int row) const { return w->ListViewNm->visualRect(w->ListFilter->index(row, 0)); }
    void clickRow(int row, Qt::KeyboardModifiers mods = {})
    {
        QVERIFY(row < w->ListFilter->rowCount());
        QTest::mouseClick(w->ListViewNm->viewport(), Qt::LeftButton, mods, rowRect(row).center());
    }
    // Answers the confirmation dialog once it is up: "ok", "cancel" or "close".
    void answerNextQuestion(const QString& how, QString* asked)
    {
        QTimer::singleShot(0, dlg.get(), [this, how, asked] {
            *asked = dlg->Label1->text();
            if (how == QLatin1String("ok"))
                dlg->OKBtn->click();
            else if (how == QLatin1String("cancel"))
                dlg->btncancel->click();
            else
                dlg->close();
        });
    }
    void sendIme(QWidget* target, const QString& preedit, const QString& commit = QString())
    {
        QInputMethodEvent e(preedit, {});
        if (!commit.isEmpty())
            e.setCommitString(commit);
        QApplication::sendEvent(target, &e);
    }

private slots:
    void init()
    {
        QSettings().remove(QStringLiteral("roster")); // each test opens the list as first installed
        db = std::make_unique<Db>();
        QVERIFY(db->ok());
        Db::addCustomer({QStringLiteral("山田太郎"), QStringLiteral("ヤマダタロウ"), QStringLiteral("山田商店")});
        Db::addCustomer({QStringLiteral("加藤一郎"), QStringLiteral("カトウイチロウ"), QStringLiteral("加藤建設")});
        Db::addCustomer({QStringLiteral("後藤花子"), QStringLiteral("ゴトウハナコ")});
        Db::addCustomer({QStringLiteral("木村次郎"), QStringLiteral("キムラジロウ")});
        dlg = std::make_unique<TOKRightDlg2>();
        OKRightDlg2 = dlg.get();
        w = std::make_unique<TfrmAddress>();
        frmAddress = w.get();
    }
    void cleanup()
    {
        w.reset();
        dlg.reset();
        OKRightDlg2 = nullptr;
        frmAddress = nullptr;
        db.reset();
        QObject::disconnect(&testEvents(), &tessolo::ui::TAppEvents::openRequested, nullptr, nullptr);
    }

    void namesCaptionsAndColumns()
    {
        QCOMPARE(w->windowTitle(), QStringLiteral("名簿一覧"));
        for (const char* name :
             {"EditName",  "EditNmKana", "EditCompany",    "EditCokana",      "EditDepar",     "EditPosision",
              "EditTel",   "EditFax",    "MaskEditPostal", "EditPref",        "EditCity",      "EditAddr",
              "EditBuild", "EditEmail1", "EditEmail2",     "EditUrl",         "Memo1",         "btnadd",
              "btnup",     "btndel",     "btnClear",       "ListViewNm",      "EditCnt",       "Lab_CNT",
              "btn_ALL",   "btnW",       "PM_K",           "PopupMenu_mail1", "PopupMenu_url", "OpenTextFileDialog1"})
            QVERIFY2(w->findChild<QObject*>(QString::fromLatin1(name)), name);
        QCOMPARE(w->findChild<QAction*>(QStringLiteral("U1"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+U")));
        QCOMPARE(w->findChild<QAction*>(QStringLiteral("PM_he"))->text(), QStringLiteral("へ"));
        const int widths[] = {105, 110, 180, 160, 75, 75, 90, 220, 75, 110};
        QCOMPARE(w->ListFilter->columnCount(), 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(w->ListViewNm->columnWidth(i), widths[i]);
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("   -    "));
        QVERIFY(!w->EditTel->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(!w->MaskEditPostal->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(w->EditName->testAttribute(Qt::WA_InputMethodEnabled));
    }

    // Each field's label, input mode and list heading, as the window had them
    // before they were taken from the field table.
    void everyFieldKeepsItsLabelInputModeAndHeading()
    {
        using tessolo::ui::ImeMode;
        const struct {
            const char* control;
            const char* label;
            ImeMode mode;
        } want[] = {
            {"EditName", "氏名", ImeMode::Hiragana},
            {"EditNmKana", "氏名（カナ）", ImeMode::Katakana},
            {"EditCompany", "会社名", ImeMode::Hiragana},
            {"EditCokana", "会社名（カナ）", ImeMode::Katakana},
            {"EditDepar", "部署名", ImeMode::Hiragana},
            {"EditPosision", "役職（担当）", ImeMode::Hiragana},
            {"EditTel", "TEL", ImeMode::Off},
            {"EditFax", "FAX", ImeMode::Off},
            {"MaskEditPostal", "郵便番号", ImeMode::Off},
            {"EditPref", "都道府県", ImeMode::Hiragana},
            {"EditCity", "市区町村", ImeMode::Hiragana},
            {"EditAddr", "住所", ImeMode::Hiragana},
            {"EditBuild", "ビル、マンション名等", ImeMode::Hiragana},
            {"EditEmail1", "e-mail", ImeMode::Off},
            {"EditEmail2", "e-mail", ImeMode::Off},
            {"EditUrl", "URL", ImeMode::Off},
            {"Memo1", "備考", ImeMode::Hiragana},
        };
        for (const auto& f : want) {
            auto* control = w->findChild<QWidget*>(QString::fromLatin1(f.control));
            QVERIFY2(control, f.control);
            QString label;
            for (QLabel* l : w->findChildren<QLabel*>()) {
                if (l->buddy() == control)
                    label = l->text();
            }
            QVERIFY2(label == QString::fromUtf8(f.label), f.control);
            QVERIFY2(tessolo::ui::imeMode(control) == f.mode, f.control);
        }
        QStringList headings;
        for (int i = 0; i < w->ListFilter->columnCount(); ++i)
            headings << w->ListFilter->headerData(i, Qt::Horizontal).toString();
        QCOMPARE(
            headings,
            QStringLiteral("氏名|氏名（カナ）|会社名|部署名|役職|都道府県|市区町村|住所|郵便番号|電話").split(u'|'));
    }

    void showLoadsTheListInReadingOrder()
    {
        showWindow();
        QCOMPARE(listNames(),
                 (QStringList{QStringLiteral("加藤一郎"), QStringLiteral("木村次郎"), QStringLiteral("後藤花子"),
                              QStringLiteral("山田太郎")}));
        QCOMPARE(w->EditCnt->text(), QStringLiteral("4"));
        QCOMPARE(w->ListFilter->index(0, 2).data().toString(), QStringLiteral("加藤建設"));
    }

    void enterWalksTheTabChainAndTheMemoKeepsIt()
    {
        showWindow();
        const QList<QWidget*> chain = {w->EditName,     w->EditNmKana, w->EditCompany, w->EditCokana,     w->EditDepar,
                                       w->EditPosision, w->EditTel,    w->EditFax,     w->MaskEditPostal, w->EditPref,
                                       w->EditCity,     w->EditAddr,   w->EditBuild,   w->EditEmail1,     w->EditEmail2,
                                       w->EditUrl,      w->Memo1};
        w->EditName->setFocus();
        Errors errors;
        for (int i = 1; i < chain.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), chain[i]);
        }
        QTest::keyClick(w->Memo1, Qt::Key_Return);
        QTest::keyClicks(w->Memo1, QStringLiteral("x"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->Memo1));
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("\nx"));
        // Enter never reached the fields, and the untouched postal field was passed silently.
        QVERIFY(w->EditName->text().isEmpty());
        QVERIFY(errors.messages.isEmpty());
        // After the memo come the buttons, the search and the list; the kana
        // buttons and the count are no tab stops.
        QTest::keyClick(w->Memo1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->btnadd));
        w->btnClear->setFocus();
        QTest::keyClick(w->btnClear, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->EditSearch));
        QTest::keyClick(w->EditSearch, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->ListViewNm));
        QTest::keyClick(w->ListViewNm, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->EditName));
    }

    void addStoresEveryFieldAndReloadsTheWholeList()
    {
        showWindow();
        w->KanaButtons->button(QStringLiteral("btnK"))->click(); // the reload drops this filter
        QCOMPARE(w->EditCnt->text(), QStringLiteral("3"));
        w->EditName->setText(QStringLiteral("O'Brien"));
        w->EditNmKana->setText(QStringLiteral("オブライエン"));
        w->MaskEditPostal->setText(QStringLiteral("123-4567"));
        w->Memo1->setPlainText(QStringLiteral("一行目\n二行目"));
        w->btnadd->click();
        QCOMPARE(w->EditCnt->text(), QStringLiteral("5"));
        QCOMPARE(listNames().at(0), QStringLiteral("O'Brien"));   // オ sorts before カ
        QCOMPARE(w->EditName->text(), QStringLiteral("O'Brien")); // fields stay as typed
        QVERIFY(w->strRow.isEmpty());

        // Loaded back: postal code in its masked form, memo with its line break.
        w->btnClear->click();
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("   -    "));
        clickRow(0);
        QCOMPARE(w->EditName->text(), QStringLiteral("O'Brien"));
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("123-4567"));
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("一行目\n二行目"));
        QVERIFY(!w->strRow.isEmpty());
    }

    void addWithEveryFieldEmptyListsTheCustomerFirst()
    {
        showWindow();
        w->btnadd->click();
        QCOMPARE(w->EditCnt->text(), QStringLiteral("5"));
        QCOMPARE(listNames().first(), QString());
        QCOMPARE(Db::column(QStringLiteral("select postal_code from t_customer where person_name = ''"),
                            QStringLiteral("postal_code")),
                 QStringList{QString()});
    }

    void addingTheLoadedCustomerUnchangedAsksFirst()
    {
        showWindow();
        clickRow(3); // 山田太郎
        QString asked;
        const auto answerWithKeys = [&](bool ok) {
            ev::onNextModal([&asked, ok](QWidget* modal) {
                asked = modal->findChild<QLabel*>(QStringLiteral("Label1"))->text();
                if (!ok)
                    QTest::keyClick(modal->windowHandle(), Qt::Key_Tab);
                QTest::keyClick(modal->windowHandle(), Qt::Key_Return);
            });
        };
        answerWithKeys(false);
        ev::click(w->btnadd);
        QCOMPARE(asked, TfrmAddress::kDuplicateQuestion);
        QCOMPARE(Db::customerCount(), 4);
        asked.clear();
        answerWithKeys(true);
        ev::click(w->btnadd);
        QCOMPARE(asked, TfrmAddress::kDuplicateQuestion);
        QCOMPARE(Db::customerCount(), 5);

        // Changed fields are a new customer: no question.
        w->EditName->setText(QStringLiteral("山田次郎"));
        bool askedAgain = false;
        ev::onNextModal(
            [&askedAgain](QWidget* modal) {
                askedAgain = true;
                QTest::keyClick(modal->windowHandle(), Qt::Key_Return);
            },
            300);
        ev::click(w->btnadd);
        QTest::qWait(400);
        QVERIFY(!askedAgain);
        QCOMPARE(Db::customerCount(), 6);
    }

    void addAfterLoadingKeepsTheLoadedCustomerForUpdate()
    {
        showWindow();
        clickRow(3); // 山田太郎
        const QString loaded = w->strRow;
        QCOMPARE(w->EditNmKana->text(), QStringLiteral("ヤマダタロウ"));
        w->EditName->setText(QStringLiteral("山田次郎"));
        w->btnadd->click();
        QCOMPARE(w->EditCnt->text(), QStringLiteral("5"));
        QCOMPARE(w->strRow, loaded);
        w->EditName->setText(QStringLiteral("山田三郎"));
        w->btnup->click();
        QCOMPARE(Db::column(QStringLiteral("select person_name from t_customer where rowid = ") + loaded,
                            QStringLiteral("person_name")),
                 QStringList{QStringLiteral("山田三郎")});
        QCOMPARE(Db::column(QStringLiteral("select person_name from t_customer order by rowid"),
                            QStringLiteral("person_name")),
                 (QStringList{QStringLiteral("山田三郎"), QStringLiteral("加藤一郎"), QStringLiteral("後藤花子"),
                              QStringLiteral("木村次郎"), QStringLiteral("山田次郎")}));
    }

    void updateWithoutALoadedCustomerIsASilentAbort()
    {
        showWindow();
        Errors errors;
        w->EditName->setText(QStringLiteral("誰か"));
        w->btnup->click();
        QVERIFY(errors.messages.isEmpty());
        QCOMPARE(Db::column(QStringLiteral("select person_name from t_customer where person_name = '誰か'"),
                            QStringLiteral("person_name")),
                 QStringList());
        // A customer still shown from an earlier showing is not loaded any more.
        clickRow(0);
        w->hide();
        showWindow();
        QVERIFY(w->strRow.isEmpty());
        QCOMPARE(w->EditName->text(), QStringLiteral("加藤一郎")); // fields survive the hiding
        w->EditName->setText(QStringLiteral("別人"));
        w->btnup->click();
        QCOMPARE(listNames().first(), QStringLiteral("加藤一郎"));
    }

    void failingStatementsShowTheMessageAndKeepTheFields()
    {
        showWindow();
        clickRow(0);
        Db::exec(QStringLiteral("drop table t_customer"));
        Errors errors;
        w->EditName->setText(QStringLiteral("加藤二郎"));
        for (QPushButton* b : {w->btnadd, w->btnup}) {
            errors.messages.clear();
            b->click();
            QCOMPARE(errors.messages.size(), 1);
            QVERIFY2(errors.messages.first().contains(QStringLiteral("no such table")),
                     qPrintable(errors.messages.first()));
            QCOMPARE(w->EditName->text(), QStringLiteral("加藤二郎"));
            QCOMPARE(w->EditNmKana->text(), QStringLiteral("カトウイチロウ"));
        }
        errors.messages.clear();
        QString asked;
        answerNextQuestion(QStringLiteral("ok"), &asked);
        w->btndel->click();
        QCOMPARE(errors.messages.size(), 1);
        QCOMPARE(w->EditName->text(), QStringLiteral("加藤二郎"));
        QVERIFY(!w->strRow.isEmpty());
    }

    void deleteConfirmedClearsTheFields()
    {
        showWindow();
        clickRow(0);
        w->MaskEditPostal->setText(QStringLiteral("100-0001"));
        QString asked;
        answerNextQuestion(QStringLiteral("ok"), &asked);
        w->btndel->click();
        QCOMPARE(asked, QStringLiteral("加藤一郎を削除しますか？"));
        QCOMPARE(w->EditCnt->text(), QStringLiteral("3"));
        QVERIFY(!listNames().contains(QStringLiteral("加藤一郎")));
        QVERIFY(w->EditName->text().isEmpty());
        QVERIFY(w->EditNmKana->text().isEmpty());
        QVERIFY(w->EditCompany->text().isEmpty());
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("   -    "));
        QVERIFY(w->strRow.isEmpty());
    }

    void deleteDeclinedOrWithoutCustomerDeletesNothing()
    {
        showWindow();
        clickRow(0);
        for (const QString& how : {QStringLiteral("cancel"), QStringLiteral("close")}) {
            QString asked;
            answerNextQuestion(how, &asked);
            w->btndel->click();
            QCOMPARE(asked, QStringLiteral("加藤一郎を削除しますか？"));
            QCOMPARE(Db::customerCount(), 4);
            QCOMPARE(w->EditName->text(), QStringLiteral("加藤一郎"));
            QVERIFY(!w->strRow.isEmpty());
        }
        // Nothing loaded and nothing chosen (クリア clears the choice too):
        // nothing to ask about, nothing deleted.
        w->btnClear->click();
        QVERIFY(!w->ListViewNm->selectionModel()->hasSelection());
        bool asked = false;
        ev::onNextModal(
            [&asked](QWidget* modal) {
                asked = true;
                modal->close();
            },
            300);
        w->btndel->click();
        QTest::qWait(400);
        QVERIFY(!asked);
        QCOMPARE(Db::customerCount(), 4);
    }

    void kanaButtonsAndPopupItemsFilterButKeepTheLoadedCustomer()
    {
        Db::addCustomer({QStringLiteral("田中"), QStringLiteral("タナカ")});
        Db::addCustomer({QStringLiteral("団"), QStringLiteral("ダン")});
        showWindow();
        clickRow(0);
        const QString loaded = w->strRow;
        w->KanaButtons->button(QStringLiteral("btnK"))->click();
        QCOMPARE(listNames(),
                 (QStringList{QStringLiteral("加藤一郎"), QStringLiteral("木村次郎"), QStringLiteral("後藤花子")}));
        QCOMPARE(w->EditCnt->text(), QStringLiteral("3"));
        w->findChild<QAction*>(QStringLiteral("PM_ka"))->trigger();
        QCOMPARE(listNames(), QStringList{QStringLiteral("加藤一郎")});
        w->findChild<QAction*>(QStringLiteral("PM_ta"))->trigger();
        QCOMPARE(listNames(), QStringList{QStringLiteral("田中")});
        w->KanaButtons->button(QStringLiteral("btnT"))->click();
        QCOMPARE(listNames(), (QStringList{QStringLiteral("田中"), QStringLiteral("団")}));
        w->findChild<QAction*>(QStringLiteral("PM_wn"))->trigger();
        QVERIFY(listNames().isEmpty());
        QCOMPARE(w->EditCnt->text(), QStringLiteral("0"));
        w->KanaButtons->button(QStringLiteral("btn_ALL"))->click();
        QCOMPARE(w->EditCnt->text(), QStringLiteral("6"));
        QCOMPARE(w->strRow, loaded);
        QCOMPARE(w->EditName->text(), QStringLiteral("加藤一郎"));
        // The row buttons' popup menus open on a right click and hold the row's kana.
        auto* menu = w->findChild<QMenu*>(QStringLiteral("PM_H"));
        QCOMPARE(menu->actions().size(), 5);
        QCOMPARE(w->KanaButtons->button(QStringLiteral("btnH"))->contextMenuPolicy(), Qt::CustomContextMenu);
        QCOMPARE(w->KanaButtons->button(QStringLiteral("btnH"))->focusPolicy(), Qt::NoFocus);
    }

    void searchNarrowsTheListTogetherWithTheKanaButtons()
    {
        Db::exec(QStringLiteral("update t_customer set tel='03-1111-2222' where person_name='木村次郎'"));
        showWindow();
        QCOMPARE(w->EditSearch->placeholderText(), QStringLiteral("検索: 名前・カナ・会社・住所・電話・メール"));
        w->EditSearch->setFocus();
        ev::typeText(w->EditSearch, QStringLiteral("とう"));
        QCOMPARE(listNames(), (QStringList{QStringLiteral("加藤一郎"), QStringLiteral("後藤花子")}));
        QCOMPARE(w->EditCnt->text(), QStringLiteral("2"));
        // Both apply: カ行 keeps カトウ and drops ゴトウ only through the search.
        w->KanaButtons->button(QStringLiteral("btnK"))->click();
        QCOMPARE(listNames(), (QStringList{QStringLiteral("加藤一郎"), QStringLiteral("後藤花子")}));
        w->findChild<QAction*>(QStringLiteral("PM_ka"))->trigger();
        QCOMPARE(listNames(), QStringList{QStringLiteral("加藤一郎")});
        QCOMPARE(w->EditSearch->text(), QStringLiteral("とう"));
        // The export takes what the list shows.
        QCOMPARE(w->chosenRowids(),
                 QList<qint64>{Db::column(QStringLiteral("select rowid from t_customer where person_name = '加藤一郎'"),
                                          QStringLiteral("rowid"))
                                   .value(0)
                                   .toLongLong()});
        w->KanaButtons->button(QStringLiteral("btn_ALL"))->click();
        QVERIFY(w->EditSearch->text().isEmpty());
        QCOMPARE(w->EditCnt->text(), QStringLiteral("4"));
        w->EditSearch->setFocus();
        ev::typeText(w->EditSearch, QStringLiteral("0311112222"));
        QCOMPARE(listNames(), QStringList{QStringLiteral("木村次郎")});
        ev::key(w->EditSearch, Qt::Key_Escape);
        QVERIFY(w->EditSearch->text().isEmpty());
        QCOMPARE(w->EditCnt->text(), QStringLiteral("4"));
        QVERIFY(w->isVisible());
    }

    void mailAndWebHandOff()
    {
        QStringList handed;
        QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::openRequested,
                         [&](const QString& a) { handed << a; });
        w->EditEmail1->setText(QStringLiteral("taro@example.jp"));
        w->EditUrl->setText(QStringLiteral("www.example.jp"));
        w->N4->trigger();
        w->N5->trigger();
        w->N6->trigger();
        w->EditUrl->setText(QStringLiteral("http://example.jp"));
        w->N6->trigger();
        QCOMPARE(handed,
                 (QStringList{QStringLiteral("mailto:taro@example.jp"), QStringLiteral("mailto:"),
                              QStringLiteral("http://www.example.jp"), QStringLiteral("http://http://example.jp")}));
        QCOMPARE(w->EditEmail1->contextMenuPolicy(), Qt::CustomContextMenu);
        QCOMPARE(w->PopupMenu_url->actions().first()->text(), QStringLiteral("ブラウザで開く"));
    }

    void readingsAreCapturedFromTheComposition()
    {
        showWindow();
        w->EditName->setFocus();
        sendIme(w->EditName, QStringLiteral("や"));
        sendIme(w->EditName, QStringLiteral("やまだ"));
        sendIme(w->EditName, QStringLiteral("山田"));
        sendIme(w->EditName, QString(), QStringLiteral("山田"));
        QCOMPARE(w->EditName->text(), QStringLiteral("山田"));
        QCOMPARE(w->EditNmKana->text(), QStringLiteral("ヤマダ"));
        sendIme(w->EditName, QStringLiteral("たろう"));
        sendIme(w->EditName, QStringLiteral("太郎"));
        sendIme(w->EditName, QString(), QStringLiteral("太郎"));
        QCOMPARE(w->EditName->text(), QStringLiteral("山田太郎"));
        QCOMPARE(w->EditNmKana->text(), QStringLiteral("ヤマダタロウ"));

        // A composition cancelled with Escape takes its reading with it.
        sendIme(w->EditName, QStringLiteral("やまだ"));
        sendIme(w->EditName, QString());
        sendIme(w->EditName, QStringLiteral("１"));
        sendIme(w->EditName, QString(), QStringLiteral("１"));
        QCOMPARE(w->EditName->text(), QStringLiteral("山田太郎１"));
        QCOMPARE(w->EditNmKana->text(), QStringLiteral("ヤマダタロウ"));
        w->EditName->setText(QStringLiteral("山田太郎"));

        // A kana commit is its own reading; a commit with no kana preedit adds nothing.
        w->EditCompany->setFocus();
        w->EditCokana->setText(QStringLiteral("手入力"));
        sendIme(w->EditCompany, QStringLiteral("かぶしき"));
        sendIme(w->EditCompany, QString(), QStringLiteral("カブシキ"));
        sendIme(w->EditCompany, QString(), QStringLiteral("会社"));
        QCOMPARE(w->EditCompany->text(), QStringLiteral("カブシキ会社"));
        QCOMPARE(w->EditCokana->text(), QStringLiteral("手入力カブシキ"));
        // Typed or pasted text adds no reading.
        QTest::keyClicks(w->EditCompany, QStringLiteral("abc"));
        QCOMPARE(w->EditCokana->text(), QStringLiteral("手入力カブシキ"));

        // Backspace keeps the reading, emptying the name empties it, a double click empties both.
        w->EditName->setFocus();
        w->EditName->end(false);
        QTest::keyClick(w->EditName, Qt::Key_Backspace);
        QCOMPARE(w->EditNmKana->text(), QStringLiteral("ヤマダタロウ"));
        w->EditName->clear();
        QVERIFY(w->EditNmKana->text().isEmpty());
        QTest::mouseDClick(w->EditCompany, Qt::LeftButton);
        QVERIFY(w->EditCompany->text().isEmpty());
        QVERIFY(w->EditCokana->text().isEmpty());
    }

    void katakanaFieldsWidenWhatTheInputMethodCommits()
    {
        showWindow();
        w->EditNmKana->setFocus();
        sendIme(w->EditNmKana, QStringLiteral("やまだ"));
        sendIme(w->EditNmKana, QString(), QStringLiteral("やまだ"));
        QCOMPARE(w->EditNmKana->text(), QStringLiteral("ヤマダ"));
        QTest::keyClicks(w->EditNmKana, QStringLiteral("ab"));
        w->EditNmKana->insert(QStringLiteral("ひら"));
        QCOMPARE(w->EditNmKana->text(), QStringLiteral("ヤマダabひら"));
        // Hiragana fields are left alone.
        w->EditDepar->setFocus();
        sendIme(w->EditDepar, QString(), QStringLiteral("えいぎょう"));
        QCOMPARE(w->EditDepar->text(), QStringLiteral("えいぎょう"));
    }

    void postalExitCompletesTheAddress()
    {
        Db::addPostal(QStringLiteral("1000001"), QStringLiteral("東京都"), QStringLiteral("千代田区"),
                      QStringLiteral("千代田"));
        showWindow();
        Errors errors;
        // Found: the three fields are overwritten and the focus ends in the town field.
        w->EditPref->setText(QStringLiteral("手入力"));
        w->MaskEditPostal->setFocus();
        QTest::keyClicks(w->MaskEditPostal, QStringLiteral("1000001"));
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("100-0001"));
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Return);
        QCOMPARE(w->EditPref->text(), QStringLiteral("東京都"));
        QCOMPARE(w->EditCity->text(), QStringLiteral("千代田区"));
        QCOMPARE(w->EditAddr->text(), QStringLiteral("千代田"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->EditAddr));

        // Absent: the three fields stay as they are and the field says so.
        w->MaskEditPostal->setFocus();
        w->MaskEditPostal->setText(QStringLiteral("999-9999"));
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Tab);
        QCOMPARE(w->EditPref->text(), QStringLiteral("東京都"));
        QCOMPARE(w->EditCity->text(), QStringLiteral("千代田区"));
        QCOMPARE(w->EditAddr->text(), QStringLiteral("千代田"));
        QCOMPARE(w->MaskEditPostal->note(), tessolo::ui::kPostalNotFoundMessage.arg(QStringLiteral("999-9999")));

        // Partly typed: the key keeps its blanks and matches nothing.
        w->EditCity->setText(QStringLiteral("残る"));
        w->MaskEditPostal->setFocus();
        w->MaskEditPostal->setText(QStringLiteral("100-00"));
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("100-00  "));
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Tab);
        QCOMPARE(w->EditCity->text(), QStringLiteral("残る"));

        // Empty: no lookup, nothing changes.
        w->EditCity->setText(QStringLiteral("そのまま"));
        w->EditTel->setFocus();
        w->btnClear->click();
        w->EditCity->setText(QStringLiteral("そのまま"));
        w->MaskEditPostal->setFocus();
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Tab);
        QCOMPARE(w->EditCity->text(), QStringLiteral("そのまま"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->EditPref));
        QVERIFY(errors.messages.isEmpty());
    }

    void aBusinessCodeCompletesTheCompanyWhereItIsEmpty()
    {
        Db::exec(QStringLiteral("insert into m_postal values ('13101','100  ','1008799','','(ｶﾌﾞ) ﾃｽﾄｼｮｳｼﾞ',"
                                "'株式会社　テスト商事','東京都','千代田区','丸の内１丁目９－９')"));
        showWindow();
        Errors errors;
        w->MaskEditPostal->setFocus();
        QTest::keyClicks(w->MaskEditPostal, QStringLiteral("1008799"));
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Return);
        QCOMPARE(w->EditPref->text() + w->EditCity->text() + w->EditAddr->text(),
                 QStringLiteral("東京都千代田区丸の内１丁目９－９"));
        QCOMPARE(w->EditCompany->text(), QStringLiteral("株式会社　テスト商事"));
        QCOMPARE(w->EditCokana->text(), QStringLiteral("（カブ）　テストショウジ"));
        // A company the user typed stays, and so does a reading typed beside an empty company.
        w->EditCompany->setText(QStringLiteral("自分で入力"));
        w->EditCokana->setText(QStringLiteral("ジブン"));
        // Completion runs only for a code other than the one the field held
        // on entry: enter it empty, as a user typing the code anew does.
        w->MaskEditPostal->clear();
        w->MaskEditPostal->setFocus();
        w->MaskEditPostal->setText(QStringLiteral("100-8799"));
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Tab);
        QCOMPARE(w->EditCompany->text(), QStringLiteral("自分で入力"));
        QCOMPARE(w->EditCokana->text(), QStringLiteral("ジブン"));
        w->EditCompany->clear();
        w->EditCokana->setText(QStringLiteral("ジブン"));
        // Completion runs only for a code other than the one the field held
        // on entry: enter it empty, as a user typing the code anew does.
        w->MaskEditPostal->clear();
        w->MaskEditPostal->setFocus();
        w->MaskEditPostal->setText(QStringLiteral("100-8799"));
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Tab);
        QCOMPARE(w->EditCompany->text(), QStringLiteral("株式会社　テスト商事"));
        QCOMPARE(w->EditCokana->text(), QStringLiteral("ジブン"));
        QVERIFY(errors.messages.isEmpty());
    }

    void postalExitRefusedWhileARequiredDigitIsMissing()
    {
        showWindow();
        w->MaskEditPostal->setText(QStringLiteral("123-4567"));
        w->MaskEditPostal->setFocus();
        Errors errors;
        w->MaskEditPostal->setCursorPosition(2);
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Backspace); // erases the 2
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("1 3-4567"));
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Tab);
        QCOMPARE(errors.messages, QStringList{QStringLiteral("入力値が無効です。エスケープ キーで変更を取り消せます")});
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->MaskEditPostal));
        // A click elsewhere is refused the same way, and the click goes no further.
        QTest::mouseClick(w->EditTel, Qt::LeftButton);
        QCOMPARE(errors.messages.size(), 2);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->MaskEditPostal));
        QTest::mouseClick(w->btnadd, Qt::LeftButton);
        QCOMPARE(errors.messages.size(), 3);
        QCOMPARE(Db::customerCount(), 4);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->MaskEditPostal));
        // Escape restores the text from before the change; then the field can be left.
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Escape);
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("123-4567"));
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Tab);
        // The code is not in the postal list: the focus goes on to the next field.
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->EditPref));
        QCOMPARE(errors.messages.size(), 3);
        QVERIFY(w->isVisible()); // Escape did not close the window
    }

    void csvAndPostalUpdateCancelledChangeNothing()
    {
        showWindow();
        Db::addCustomer({QStringLiteral("新顧客")});
        QTimer::singleShot(0, w->OpenTextFileDialog1, [this] { w->OpenTextFileDialog1->reject(); });
        w->CSV1->trigger();
        QCOMPARE(w->EditCnt->text(), QStringLiteral("4"));

        // Ctrl+U opens the postal update's file question; cancelling it changes nothing.
        bool asked = false;
        QTimer::singleShot(0, w->OpenTextFileDialog1, [this, &asked] {
            asked = w->OpenTextFileDialog1->isVisible();
            w->OpenTextFileDialog1->reject();
        });
        Errors errors;
        QApplication::setActiveWindow(w.get()); // the offscreen platform does not give it back
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->EditName->setFocus();
        QTest::keyClick(w->EditName, Qt::Key_U, Qt::ControlModifier);
        QVERIFY(asked);
        QVERIFY(errors.messages.isEmpty());
    }

    void aClickBelowTheLastLineLoadsNothing()
    {
        showWindow();
        w->ListViewNm->setFixedHeight(226); // room below the four lines
        clickRow(0);
        const QString loaded = w->strRow;
        w->EditName->setText(QStringLiteral("書きかけ"));
        const QRect last = rowRect(3);
        const QPoint below(last.center().x(), last.bottom() + 3 * last.height());
        QVERIFY(w->ListViewNm->viewport()->rect().contains(below));
        QVERIFY(!w->ListViewNm->indexAt(below).isValid());
        ev::click(w->ListViewNm->viewport(), Qt::LeftButton, below);
        QCOMPARE(w->strRow, loaded);
        QCOMPARE(w->EditName->text(), QStringLiteral("書きかけ"));
    }

    void memoLineBreaksAreKeptAsStored()
    {
        Db::exec(
            QStringLiteral("insert into t_customer (person_name, person_kana, memo) values "
                           "('CRLF', 'ア', '一行目' || char(13, 10) || '二行目' || char(10) || '三行目' || char(13))"));
        const QString memoSql = QStringLiteral("select memo from t_customer where person_name = 'CRLF'");
        const QString stored = Db::column(memoSql, QStringLiteral("memo")).value(0);
        QCOMPARE(stored, QStringLiteral("一行目\r\n二行目\n三行目\r"));
        showWindow();
        clickRow(0);
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("一行目\n二行目\n三行目\n"));
        w->btnup->click();
        QCOMPARE(Db::column(memoSql, QStringLiteral("memo")).value(0), stored); // byte for byte

        // A line typed here: every break is stored as CR LF.
        ev::click(w->Memo1);
        ev::key(w.get(), Qt::Key_End, Qt::ControlModifier);
        ev::typeText(w.get(), QStringLiteral("四"));
        ev::key(w.get(), Qt::Key_Return);
        ev::typeText(w.get(), QStringLiteral("五"));
        ev::key(w.get(), Qt::Key_Return, Qt::ShiftModifier); // a break inside the paragraph
        ev::typeText(w.get(), QStringLiteral("六"));
        bool asked = false; // a break is no character the code page lacks
        ev::onNextModal(
            [&](QWidget* modal) {
                asked = true;
                QTest::keyClick(modal->windowHandle(), Qt::Key_Escape);
            },
            300);
        ev::click(w->btnup);
        QTest::qWait(400); // the watch has given up before `asked` goes
        QVERIFY(!asked);
        QCOMPARE(Db::column(memoSql, QStringLiteral("memo")).value(0),
                 QStringLiteral("一行目\r\n二行目\r\n三行目\r\n四\r\n五\r\n六"));
        w->btnClear->click();
        w->btnadd->click();
        QCOMPARE(
            Db::column(QStringLiteral("select memo from t_customer where person_name = ''"), QStringLiteral("memo")),
            QStringList{QString()});
    }

    void charactersTheCodePageLacksAreNamedBeforeStoring()
    {
        showWindow();
        ev::click(w->EditName);
        ev::typeText(w.get(), QStringLiteral("𠮷田"));
        ev::click(w->Memo1);
        ev::typeText(w.get(), QStringLiteral("よろしく🙂㋿"));
        QCOMPARE(w->EditName->text(), QStringLiteral("𠮷田"));
        auto answer = [this](const QString& button, QString* said) {
            ev::onNextModal([=](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box);
                *said = box->text();
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == button)
                        ev::click(b);
            });
        };
        auto reactivate = [this] {
            QTRY_VERIFY(!QApplication::activeModalWidget());
            w->activateWindow(); // a window manager's part, absent offscreen
            QVERIFY(QTest::qWaitForWindowActive(w.get()));
        };

        // Back to the field: nothing stored, the focus in the first field named.
        QString said;
        answer(tessolo::ui::kBackToField, &said);
        ev::click(w->btnadd);
        reactivate();
        QVERIFY2(said.contains(QStringLiteral("氏名: 𠮷 (U+20BB7)\n")), qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("備考: 🙂 (U+1F642)、㋿ (U+32FF)")), qPrintable(said));
        QVERIFY(!said.contains(QStringLiteral("田")));
        QCOMPARE(Db::customerCount(), 4);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->EditName));
        QCOMPARE(w->EditName->text(), QStringLiteral("𠮷田"));

        // Escape is going back too.
        ev::onNextModal([](QWidget* modal) { QTest::keyClick(modal->windowHandle(), Qt::Key_Escape); });
        ev::click(w->btnadd);
        reactivate();
        QCOMPARE(Db::customerCount(), 4);

        // Stored with the substitutes when the user says so; Update asks too.
        answer(tessolo::ui::kStoreWithSubstitutes, &said);
        ev::click(w->btnadd);
        reactivate();
        QCOMPARE(Db::customerCount(), 5);
        QCOMPARE(
            Db::column(QStringLiteral("select memo from t_customer where person_name = '?田'"), QStringLiteral("memo")),
            QStringList{QStringLiteral("よろしく??")});
        clickRow(0);
        w->EditCompany->setText(QStringLiteral("🙂商店"));
        said.clear();
        answer(tessolo::ui::kBackToField, &said);
        ev::click(w->btnup);
        reactivate();
        QVERIFY2(said.contains(QStringLiteral("会社名: 🙂")), qPrintable(said));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->EditCompany));
        // Values that convert whole ask nothing.
        w->EditCompany->setText(QStringLiteral("髙橋㈱"));
        ev::click(w->btnup);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(Db::column(QStringLiteral("select company_name from t_customer"), QStringLiteral("company_name"))
                    .contains(QStringLiteral("髙橋㈱")));
    }

    // The order a user sees is the order that is written and printed: after
    // a search over readings typed in hiragana and in katakana, and after a
    // heading is clicked.
    void exportAndAtenaTakeTheListAsShown()
    {
        Db::addCustomer({QStringLiteral("東海林"), QStringLiteral("しょうじ"), QStringLiteral("東海林工務店")});
        Db::addCustomer({QStringLiteral("朴"), QStringLiteral("パク"), QStringLiteral("朴工務店")});
        Db::addCustomer({QStringLiteral("伊藤"), QStringLiteral("いとう"), QStringLiteral("伊藤工務店")});
        Db::addCustomer({QStringLiteral("佐々木"), QStringLiteral("ササキ"), QStringLiteral("佐々木工務店")});
        TfrmAtena atena;
        frmAtena = &atena;
        QStringList notices;
        QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::noticeRaised,
                         [&notices](QWidget*, const QString& m) { notices << m; });
        QTemporaryDir dir;
        int files = 0;
        const auto exported = [&] {
            // A new name each time: the save dialog would ask before replacing.
            const QString file = dir.filePath(QStringLiteral("out%1.csv").arg(++files));
            QTimer::singleShot(0, w->SaveTextFileDialog1, [this, file] {
                w->SaveTextFileDialog1->selectFile(file);
                static_cast<QDialog*>(w->SaveTextFileDialog1)->accept();
            });
            w->actExportCsv->trigger();
            QFile f(file);
            f.open(QIODevice::ReadOnly);
            QStringList names;
            const QStringList lines =
                tessolo::cp932::decode(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
            for (const QString& line : lines.mid(1))
                names << line.section(QLatin1Char(','), 0, 0).remove(QLatin1Char('"'));
            return names;
        };
        const auto printed = [&] {
            ev::onNextModal([](QWidget* modal) { modal->close(); });
            w->actAtena->trigger();
            QStringList names;
            for (qint64 id : atena.customerRowids())
                names << Db::column(QStringLiteral("select person_name from t_customer where rowid = %1").arg(id),
                                    QStringLiteral("person_name"))
                             .value(0);
            return names;
        };

        showWindow();
        w->EditSearch->setFocus();
        ev::typeText(w->EditSearch, QStringLiteral("工務店"));
        const QStringList byReading = {QStringLiteral("伊藤"), QStringLiteral("佐々木"), QStringLiteral("東海林"),
                                       QStringLiteral("朴")};
        QCOMPARE(listNames(), byReading);
        QCOMPARE(exported(), byReading);
        QCOMPARE(printed(), byReading);

        // 会社名 clicked twice: descending by company name.
        QHeaderView* header = w->ListViewNm->header();
        const QPoint company(header->sectionViewportPosition(2) + 10, header->height() / 2);
        ev::click(header->viewport(), Qt::LeftButton, company);
        ev::click(header->viewport(), Qt::LeftButton, company);
        const QStringList byCompanyDown = {QStringLiteral("朴"), QStringLiteral("東海林"), QStringLiteral("佐々木"),
                                           QStringLiteral("伊藤")};
        QCOMPARE(listNames(), byCompanyDown);
        QCOMPARE(exported(), byCompanyDown);
        QCOMPARE(printed(), byCompanyDown);

        // Chosen rows only, still in the list's order whatever the order of the clicks.
        clickRow(3);
        clickRow(1, Qt::ControlModifier);
        QCOMPARE(exported(), (QStringList{QStringLiteral("東海林"), QStringLiteral("伊藤")}));
        QCOMPARE(printed(), (QStringList{QStringLiteral("東海林"), QStringLiteral("伊藤")}));
        QCOMPARE(notices.size(), 3);
        QObject::disconnect(&testEvents(), &tessolo::ui::TAppEvents::noticeRaised, nullptr, nullptr);
        frmAtena = nullptr;
    }

    void deletingSeveralRowsAsksOnceAndDeletesExactlyThose()
    {
        showWindow();
        // 加藤一郎, 木村次郎, 後藤花子, 山田太郎: the first, third and fourth chosen.
        ev::click(w->ListViewNm->viewport(), Qt::LeftButton, rowRect(0).center());
        for (int row : {2, 3})
            QTest::mouseClick(ev::windowOf(w.get()), Qt::LeftButton, Qt::ControlModifier,
                              ev::inWindow(w->ListViewNm->viewport(), rowRect(row).center()));
        QCOMPARE(w->ListViewNm->selectionModel()->selectedRows().size(), 3);
        QStringList asked;
        ev::onNextModal([&asked](QWidget* modal) {
            asked << modal->findChild<QLabel*>(QStringLiteral("Label1"))->text();
            // A second question would be answered too, and counted.
            ev::onNextModal(
                [&asked](QWidget* again) {
                    asked << QStringLiteral("again");
                    again->close();
                },
                500);
            QTest::keyClick(modal->windowHandle(), Qt::Key_Return);
        });
        ev::click(w->btndel);
        QTest::qWait(600);
        QCOMPARE(asked, QStringList{QStringLiteral("加藤一郎 ほか 2 件を削除しますか？")});
        QCOMPARE(Db::column(QStringLiteral("select person_name from t_customer"), QStringLiteral("person_name")),
                 QStringList{QStringLiteral("木村次郎")});
        QCOMPARE(listNames(), QStringList{QStringLiteral("木村次郎")});

        // Ctrl+A in the list chooses every row; declined, nothing goes.
        Db::addCustomer({QStringLiteral("青木"), QStringLiteral("アオキ")});
        w->loadList();
        w->ListViewNm->setFocus();
        ev::key(w->ListViewNm, Qt::Key_A, Qt::ControlModifier);
        asked.clear();
        ev::onNextModal([&asked](QWidget* modal) {
            asked << modal->findChild<QLabel*>(QStringLiteral("Label1"))->text();
            QTest::keyClick(modal->windowHandle(), Qt::Key_Tab); // キャンセル
            QTest::keyClick(modal->windowHandle(), Qt::Key_Return);
        });
        ev::click(w->btndel);
        QCOMPARE(asked, QStringList{QStringLiteral("青木 ほか 1 件を削除しますか？")});
        QCOMPARE(Db::customerCount(), 2);
    }

    void theMaximisedRosterShowsMoreRows()
    {
        for (int i = 0; i < 60; ++i)
            Db::addCustomer({QStringLiteral("顧客%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("ワ%1").arg(i)});
        showWindow();
        const auto rowsInView = [this] {
            int n = 0;
            for (int i = 0; i < w->ListFilter->rowCount(); ++i)
                n += w->ListViewNm->viewport()->rect().contains(rowRect(i)) ? 1 : 0;
            return n;
        };
        const int before = rowsInView();
        const QRect formBefore = w->btnadd->geometry();
        QVERIFY(w->windowFlags() & Qt::WindowMaximizeButtonHint);
        QCOMPARE(w->minimumSize(), QSize(936, 563));
        w->showMaximized();
        QTRY_VERIFY(w->height() > 563 + 100);
        QTRY_VERIFY2(rowsInView() > before,
                     qPrintable(QStringLiteral("%1 rows, %2 before").arg(rowsInView()).arg(before)));
        // The form keeps its size and keeps to the bottom.
        QCOMPARE(w->btnadd->size(), formBefore.size());
        QCOMPARE(w->height() - w->btnadd->geometry().top(), 563 - formBefore.top());
    }

    void leavingWithUnsavedChangesAsksWhatBecomesOfThem()
    {
        showWindow();
        clickRow(0); // 加藤一郎
        // Ctrl+X in a field cuts; the window stays and nothing is asked.
        w->EditName->setFocus();
        w->EditName->setSelection(2, 2);
        ev::key(w->EditName, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(w->EditName->text(), QStringLiteral("加藤"));
        QVERIFY(w->isVisible());
        QVERIFY(w->hasUnsavedChanges());

        const auto answer = [](const char* button) {
            ev::onNextModal([button](QWidget* modal) {
                QVERIFY(modal->findChild<QPushButton*>(QString::fromLatin1(button)));
                ev::click(modal->findChild<QPushButton*>(QString::fromLatin1(button)));
            });
        };
        // キャンセル stays; Ctrl+X from the list is the window's 終了.
        answer("btnStay");
        w->ListViewNm->setFocus();
        ev::key(w->ListViewNm, Qt::Key_X, Qt::ControlModifier);
        QVERIFY(w->isVisible());
        // 更新 stores the loaded customer, then the window closes.
        answer("btnStore");
        w->X1->trigger();
        QVERIFY(!w->isVisible());
        QCOMPARE(Db::column(QStringLiteral("select person_name from t_customer where rowid = ") + w->strRow,
                            QStringLiteral("person_name")),
                 QStringList{QStringLiteral("加藤")});

        // A new customer typed but not added: 破棄 closes and forgets it.
        showWindow();
        w->btnClear->click();
        w->EditName->setText(QStringLiteral("未登録"));
        answer("btnDiscard");
        w->close();
        QVERIFY(!w->isVisible());
        QVERIFY(w->EditName->text().isEmpty());
        QCOMPARE(Db::customerCount(), 4);
        // Nothing changed: no question.
        showWindow();
        w->close();
        QVERIFY(!w->isVisible());
    }

    void addChoosesTheNewCustomerEvenBehindTheSearch()
    {
        showWindow();
        w->EditSearch->setFocus();
        ev::typeText(w->EditSearch, QStringLiteral("山田"));
        w->KanaButtons->button(QStringLiteral("btnY"))->click();
        QVERIFY(w->KanaButtons->button(QStringLiteral("btnY"))->isChecked());
        QVERIFY(!w->KanaButtons->button(QStringLiteral("btn_ALL"))->isChecked());
        QCOMPARE(w->LabFilter->text(), QStringLiteral("ヤ行・「山田」 1 件"));
        w->EditName->setText(QStringLiteral("新井"));
        w->EditNmKana->setText(QStringLiteral("アライ"));
        w->btnadd->click();
        // The search and the kana row would hide it: both are cleared.
        QVERIFY(w->EditSearch->text().isEmpty());
        QVERIFY(w->KanaButtons->button(QStringLiteral("btn_ALL"))->isChecked());
        QCOMPARE(w->LabFilter->text(), QStringLiteral("全表示 5 件"));
        const QModelIndexList chosen = w->ListViewNm->selectionModel()->selectedRows();
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen.first().data().toString(), QStringLiteral("新井"));
        QCOMPARE(w->ListViewNm->currentIndex().row(), chosen.first().row());
        // 追加 again with nothing changed asks first.
        QString asked;
        answerNextQuestion(QStringLiteral("cancel"), &asked);
        w->btnadd->click();
        QCOMPARE(asked, TfrmAddress::kDuplicateQuestion);
        QCOMPARE(Db::customerCount(), 5);
        // Escape clears the kana row and the search alike.
        w->findChild<QAction*>(QStringLiteral("PM_aa"))->trigger();
        w->EditSearch->setFocus();
        ev::typeText(w->EditSearch, QStringLiteral("新"));
        QCOMPARE(w->LabFilter->text(), QStringLiteral("ア・「新」 1 件"));
        QVERIFY(w->KanaButtons->button(QStringLiteral("btnA"))->isChecked());
        ev::key(w->EditSearch, Qt::Key_Escape);
        QVERIFY(w->KanaButtons->button(QStringLiteral("btn_ALL"))->isChecked());
        QCOMPARE(w->LabFilter->text(), QStringLiteral("全表示 5 件"));
    }

    // The map's "名簿で開く": the customer chosen, scrolled to and loaded,
    // unless the form holds what was not stored.
    void showCustomerBringsUpOneCustomerAndTheListKeepsItsLayout()
    {
        for (int i = 0; i < 40; ++i)
            Db::addCustomer({QStringLiteral("顧客%1").arg(i), QStringLiteral("ワ%1").arg(i)});
        const qint64 goto_ = Db::column(QStringLiteral("select rowid from t_customer where person_name = '顧客39'"),
                                        QStringLiteral("rowid"))
                                 .value(0)
                                 .toLongLong();
        showWindow();
        w->EditSearch->setText(QStringLiteral("山田"));
        w->showCustomer(goto_);
        QCOMPARE(w->strRow, QString::number(goto_));
        QCOMPARE(w->EditName->text(), QStringLiteral("顧客39"));
        // The search that hid it is cleared.
        QVERIFY(w->EditSearch->text().isEmpty());
        QCOMPARE(w->ListViewNm->selectionModel()->selectedRows().size(), 1);
        QVERIFY(w->ListViewNm->viewport()->rect().intersects(w->ListViewNm->visualRect(w->ListViewNm->currentIndex())));
        w->EditName->setText(QStringLiteral("書きかけ"));
        w->showCustomer(Db::column(QStringLiteral("select rowid from t_customer where person_name = '木村次郎'"),
                                   QStringLiteral("rowid"))
                            .value(0)
                            .toLongLong());
        QCOMPARE(w->EditName->text(), QStringLiteral("書きかけ"));
        QCOMPARE(w->ListViewNm->selectionModel()->selectedRows().value(0).data().toString(),
                 QStringLiteral("木村次郎"));

        // Widths, the order of the columns and the sort are kept for the next run.
        w->ListViewNm->setColumnWidth(2, 240);
        w->ListViewNm->header()->moveSection(7, 1);
        w->ListViewNm->sortByColumn(2, Qt::DescendingOrder);
        w->EditName->clear();
        w->btnClear->click();
        w.reset();
        w = std::make_unique<TfrmAddress>();
        frmAddress = w.get();
        QCOMPARE(w->ListViewNm->columnWidth(2), 240);
        QCOMPARE(w->ListViewNm->header()->visualIndex(7), 1);
        QCOMPARE(w->ListViewNm->header()->sortIndicatorSection(), 2);
        QCOMPARE(w->ListViewNm->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    }

    void exitClosesTheWindow()
    {
        showWindow();
        w->X1->trigger();
        QVERIFY(!w->isVisible());
    }
};

QTEST_MAIN(TestRoster)
#include "roster_test.moc"
