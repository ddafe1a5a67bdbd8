// The own-company window driven through its controls: add, update, delete and
// clear, the silent aborts, and failures that keep the fields.

#include "ui/memoedit.h"
#include "ui/okrightdlg2.h"
#include "company/frmourcompany.h"
#include "importtestutil.h"
#include "ui/errordisplay.h"
#include "ui/imemode.h"
#include "ui/postaledit.h"
#include "ui/storablecheck.h"
#include "ui/windowset.h"
#include "tests/ui/realevents.h"
#include "tests/testevents.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace tessolo;
namespace ev = realevents;

class TestOurCompanyWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<importtest::Db> db;
    std::unique_ptr<TfrmOurcompany> w;
    std::unique_ptr<TOKRightDlg2> confirm;
    QStringList errors;
    const QString kSites = QStringLiteral("select rowid, * from m_our_company order by rowid");

    void showWindow()
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    QStringList listed() const
    {
        QStringList out;
        for (int i = 0; i < w->ListViewCo->topLevelItemCount(); ++i)
            out << w->ListViewCo->topLevelItem(i)->text(0) + '|' + w->ListViewCo->topLevelItem(i)->text(1);
        return out;
    }
    // Answers the confirmation question that the next click raises.
    void answer(bool ok)
    {
        QTimer::singleShot(0, this, [this, ok] { (ok ? confirm->OKBtn : confirm->btncancel)->click(); });
    }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

private slots:
    void init()
    {
        db = std::make_unique<importtest::Db>();
        confirm = std::make_unique<TOKRightDlg2>();
        OKRightDlg2 = confirm.get();
        w = std::make_unique<TfrmOurcompany>();
        errors.clear();
        QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::errorRaised,
                         [this](const QString& m) { errors << m; });
    }
    void cleanup()
    {
        w.reset();
        OKRightDlg2 = nullptr;
        confirm.reset();
        db.reset();
        QObject::disconnect(&testEvents(), &tessolo::ui::TAppEvents::errorRaised, nullptr, nullptr);
    }

    void firstShowingOfAnEmptyTableIsEmpty()
    {
        showWindow();
        QVERIFY(listed().isEmpty());
        QVERIFY(w->EditCompany->text().isEmpty());
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("   -    "));
        QVERIFY(w->strRow.isEmpty());
    }

    // Each field's label and input mode, and the list's headings, as the
    // window had them before they were taken from the field table.
    void everyFieldKeepsItsLabelAndInputMode()
    {
        using ui::ImeMode;
        const struct {
            QWidget* control;
            const char* label;
            ImeMode mode;
        } want[] = {
            {w->EditCompany, "会社名", ImeMode::Hiragana},
            {w->EditTel, "TEL", ImeMode::Off},
            {w->EditFax, "FAX", ImeMode::Off},
            {w->MaskEditPostal, "郵便番号", ImeMode::Off},
            {w->EditPref, "都道府県", ImeMode::Hiragana},
            {w->EditCity, "市区町村", ImeMode::Hiragana},
            {w->EditAddr, "住所", ImeMode::Hiragana},
            {w->EditBuild, "ビル、マンション名等", ImeMode::Hiragana},
            {w->EditEmail1, "e-mail", ImeMode::Off},
            {w->EditUrl, "URL", ImeMode::Off},
            {w->Memo1, "備考", ImeMode::Hiragana},
        };
        for (const auto& f : want) {
            QString label;
            for (QLabel* l : w->findChildren<QLabel*>()) {
                if (l->buddy() == f.control)
                    label = l->text();
            }
            QCOMPARE(label, QString::fromUtf8(f.label));
            QVERIFY2(ui::imeMode(f.control) == f.mode, qPrintable(f.control->objectName()));
        }
        QCOMPARE(w->ListViewCo->headerItem()->text(0), QStringLiteral("会社名"));
        QCOMPARE(w->ListViewCo->headerItem()->text(1), QStringLiteral("rowid"));
    }

    void showingLoadsTheLastSiteAndListsAll()
    {
        db->exec(QStringLiteral(
            "insert into m_our_company values ('本社','1000001','東京都','千代田区','千代田','','','','','','')"));
        db->exec(QStringLiteral(
            "insert into m_our_company values ('支店','5300001','大阪府','大阪市北区','梅田','','','','','','a\nb')"));
        showWindow();
        QCOMPARE(listed(), QStringList({QStringLiteral("本社|1"), QStringLiteral("支店|2")}));
        QCOMPARE(w->EditCompany->text(), QStringLiteral("支店"));
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("530-0001"));
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("a\nb"));
        QCOMPARE(w->strRow, QStringLiteral("2"));

        // A click loads that site.
        QTreeWidgetItem* first = w->ListViewCo->topLevelItem(0);
        QTest::mouseClick(w->ListViewCo->viewport(), Qt::LeftButton, {}, w->ListViewCo->visualItemRect(first).center());
        QCOMPARE(w->strRow, QStringLiteral("1"));
        QCOMPARE(w->EditAddr->text(), QStringLiteral("千代田"));
        QVERIFY(errors.isEmpty());
    }

    void addUpdateDeleteAndClear()
    {
        showWindow();
        w->EditCompany->setText(QStringLiteral("O'Brien 商会"));
        w->MaskEditPostal->setText(QStringLiteral("123-4567"));
        w->EditPref->setText(QStringLiteral("東京都"));
        click(w->btnadd);
        QCOMPARE(db->rows(QStringLiteral("select co_name, postal_code, prefecture from m_our_company")),
                 QStringList{QStringLiteral("O'Brien 商会|1234567|東京都")});
        QCOMPARE(listed(), QStringList{QStringLiteral("O'Brien 商会|1")});
        QVERIFY(w->strRow.isEmpty()); // Add leaves strRow alone

        // Update with nothing loaded: silent, nothing changes.
        w->EditCompany->setText(QStringLiteral("変更"));
        click(w->btnup);
        QVERIFY(errors.isEmpty());
        QCOMPARE(db->rows(QStringLiteral("select co_name from m_our_company")),
                 QStringList{QStringLiteral("O'Brien 商会")});

        w->strRow = QStringLiteral("1");
        w->MaskEditPostal->setText(QStringLiteral("   -    "));
        click(w->btnup);
        QCOMPARE(db->rows(QStringLiteral("select co_name, postal_code from m_our_company")),
                 QStringList{QStringLiteral("変更|")});
        QCOMPARE(w->EditCompany->text(), QStringLiteral("変更"));

        // Declined: the site, the fields and strRow stay.
        answer(false);
        click(w->btndel);
        QCOMPARE(db->count(QStringLiteral("m_our_company")), 1);
        QCOMPARE(w->strRow, QStringLiteral("1"));
        QCOMPARE(w->EditCompany->text(), QStringLiteral("変更"));

        answer(true);
        click(w->btndel);
        QCOMPARE(db->count(QStringLiteral("m_our_company")), 0);
        QVERIFY(listed().isEmpty());
        QVERIFY(w->strRow.isEmpty());
        QVERIFY(w->EditCompany->text().isEmpty());
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("   -    "));

        // Confirmed with nothing loaded: asked, then nothing.
        db->exec(QStringLiteral("insert into m_our_company (co_name) values ('x')"));
        answer(true);
        click(w->btndel);
        QCOMPARE(db->count(QStringLiteral("m_our_company")), 1);

        w->EditTel->setText(QStringLiteral("03"));
        w->strRow = QStringLiteral("2");
        click(w->btnclear);
        QVERIFY(w->EditTel->text().isEmpty());
        QVERIFY(w->strRow.isEmpty());
        QVERIFY(errors.isEmpty());
    }

    void failingStatementsShowTheMessageAndKeepTheFields()
    {
        showWindow();
        w->EditCompany->setText(QStringLiteral("本社"));
        {
            importtest::ExclusiveLock lock(db->dbPath());
            QVERIFY(lock.held());
            click(w->btnadd);
        }
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(QStringLiteral("The database file is locked")), qPrintable(errors.first()));
        QCOMPARE(w->EditCompany->text(), QStringLiteral("本社"));
        QCOMPARE(db->count(QStringLiteral("m_our_company")), 0);
    }

    void enterWalksTheChainAndPressesTheFocusedButton()
    {
        showWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        ev::click(w->EditCompany);
        ev::typeText(w.get(), QStringLiteral("本社"));
        const QList<QWidget*> chain = {w->EditTel,  w->EditFax,   w->MaskEditPostal, w->EditPref, w->EditCity,
                                       w->EditAddr, w->EditBuild, w->EditEmail1,     w->EditUrl,  w->Memo1};
        for (QWidget* next : chain) {
            ev::key(w.get(), Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        ev::key(w.get(), Qt::Key_Return);
        ev::typeText(w.get(), QStringLiteral("x"));
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("\nx"));
        QCOMPARE(w->EditCompany->text(), QStringLiteral("本社")); // Enter never reached a field

        ev::key(w.get(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->btnadd));
        ev::key(w.get(), Qt::Key_Return); // 追加
        QCOMPARE(listed(), QStringList{QStringLiteral("本社|1")});
        ev::key(w.get(), Qt::Key_Tab);
        ev::key(w.get(), Qt::Key_Tab);
        ev::key(w.get(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->btnclear));
        ev::key(w.get(), Qt::Key_Return); // クリア
        QVERIFY(w->EditCompany->text().isEmpty());
        QVERIFY(w->Memo1->toPlainText().isEmpty());
        QCOMPARE(db->count(QStringLiteral("m_our_company")), 1);
        QVERIFY(errors.isEmpty());
    }

    // The confirmation dialog as the user answers it with the keyboard; 削除
    // is pressed with Enter, and each answer goes to the dialog's own window.
    void confirmationAnsweredWithTheKeyboard()
    {
        db->exec(QStringLiteral("insert into m_our_company (co_name) values ('本社')"));
        db->exec(QStringLiteral("insert into m_our_company (co_name) values ('支店')"));
        showWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QCOMPARE(w->strRow, QStringLiteral("2")); // the last site is loaded
        auto pressDelete = [this](std::function<void(QWindow*)> answerWith) {
            QString asked;
            bool stillOpenAfterEscape = false;
            ev::onNextModal([&](QWidget* modal) {
                QCOMPARE(modal, static_cast<QWidget*>(confirm.get()));
                asked = confirm->Label1->text();
                QTest::keyClick(modal->windowHandle(), Qt::Key_Escape);
                stillOpenAfterEscape = confirm->isVisible();
                answerWith(modal->windowHandle());
            });
            w->btndel->setFocus(Qt::TabFocusReason);
            ev::key(w.get(), Qt::Key_Return);
            QCOMPARE(asked, QStringLiteral("削除しますか？"));
            QVERIFY(stillOpenAfterEscape); // Escape is no answer
            QTRY_VERIFY(!confirm->isVisible());
            w->activateWindow(); // what a window manager does when the dialog goes
            QVERIFY(QTest::qWaitForWindowActive(w.get()));
        };

        // Tab to キャンセル, then Enter: declined.
        pressDelete([](QWindow* dlg) {
            QTest::keyClick(dlg, Qt::Key_Tab);
            QTest::keyClick(dlg, Qt::Key_Return);
        });
        QCOMPARE(confirm->i_cancel, 1);
        QCOMPARE(db->count(QStringLiteral("m_our_company")), 2);

        // Enter at once: OK holds the focus, the site goes.
        pressDelete([](QWindow* dlg) { QTest::keyClick(dlg, Qt::Key_Return); });
        QCOMPARE(confirm->i_cancel, 0);
        QCOMPARE(listed(), QStringList{QStringLiteral("本社|1")});

        // The close box after a confirmed question declines: no stale 0.
        ev::click(w->ListViewCo->viewport(), Qt::LeftButton,
                  w->ListViewCo->visualItemRect(w->ListViewCo->topLevelItem(0)).center());
        QCOMPARE(w->strRow, QStringLiteral("1"));
        pressDelete([](QWindow* dlg) { dlg->close(); });
        QCOMPARE(confirm->i_cancel, 1);
        QCOMPARE(db->count(QStringLiteral("m_our_company")), 1);
        QCOMPARE(w->EditCompany->text(), QStringLiteral("本社"));
    }

    void memoAndUnencodableCharactersAsInTheRoster()
    {
        db->exec(QStringLiteral("insert into m_our_company values ('本社','ABC1234','','','','','','','','','a' || "
                                "char(13, 10) || 'b')"));
        const QString sql = QStringLiteral("select postal_code, memo from m_our_company");
        const QStringList stored = db->rows(sql);
        showWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        ev::click(w->btnup);
        QCOMPARE(db->rows(sql), stored); // postal code and CR LF as stored

        ev::click(w->EditBuild);
        ev::typeText(w.get(), QStringLiteral("𠮷ビル"));
        QString said;
        ev::onNextModal([&](QWidget* modal) {
            said = qobject_cast<QMessageBox*>(modal)->text();
            QTest::keyClick(modal->windowHandle(), Qt::Key_Escape);
        });
        ev::click(w->btnadd);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY2(said.contains(QStringLiteral("ビル、マンション名等: 𠮷")), qPrintable(said));
        QCOMPARE(db->count(QStringLiteral("m_our_company")), 1);
    }

    void leavingThePostalFieldCompletesTheAddress()
    {
        db->exec(QStringLiteral("insert into m_postal values ('13101','100  "
                                "','1000001','ﾄｳｷｮｳﾄ','ﾁﾖﾀﾞｸ','ﾁﾖﾀﾞ','東京都','千代田区','千代田')"));
        showWindow();
        w->activateWindow();
        w->MaskEditPostal->setFocus();
        QTRY_VERIFY(w->MaskEditPostal->hasFocus());
        w->MaskEditPostal->setText(QStringLiteral("100-0001"));
        QTest::keyClick(w->MaskEditPostal, Qt::Key_Return);
        QTRY_COMPARE(w->EditPref->text(), QStringLiteral("東京都"));
        QCOMPARE(w->EditCity->text(), QStringLiteral("千代田区"));
        QCOMPARE(w->EditAddr->text(), QStringLiteral("千代田"));
        QVERIFY(w->EditAddr->hasFocus());
    }
};

QTEST_MAIN(TestOurCompanyWindow)
#include "ourcompanywindow_test.moc"
