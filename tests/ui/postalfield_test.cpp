// The postal code field in the roster, driven through the window system:
// keys and clicks on the window, focus that goes to a popup or another window
// and comes back, and the refusal's real message box answered with events
// sent to the box's own window.

#include "roster/frmaddress.h"
#include "ui/postaledit.h"
#include "ui/windowset.h"
#include "realevents.h"
#include "uitest.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include "customer/customerlist.h"

using uitest::Db;
namespace ev = realevents;

class TestPostalField : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Db> db;
    std::unique_ptr<TfrmAddress> w;
    QStringList boxTexts; // what the real message boxes said

    void showWindow()
    {
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    QWidget* focused() const { return QApplication::focusWidget(); }
    // The offscreen platform has no window manager to give the activation
    // back to the roster when a box closes; this does what the manager does.
    void boxHasGone()
    {
        QTRY_VERIFY(!QApplication::activeModalWidget());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    // Closes the next message box with Enter sent to its window.
    void answerBoxWithEnter()
    {
        ev::onNextModal([this](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                boxTexts << box->text();
            QTest::keyClick(modal->windowHandle(), Qt::Key_Return);
        });
    }
    // The field holds 1 3-4567 after the user erased the 2, entered by a click.
    void enterAndEraseSecondDigit()
    {
        w->MaskEditPostal->setText(QStringLiteral("123-4567"));
        ev::click(w->MaskEditPostal);
        QCOMPARE(focused(), static_cast<QWidget*>(w->MaskEditPostal));
        ev::key(w.get(), Qt::Key_Home);
        ev::key(w.get(), Qt::Key_Right);
        ev::key(w.get(), Qt::Key_Right);
        ev::key(w.get(), Qt::Key_Backspace);
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("1 3-4567"));
    }
    // Tab is refused with the field's message; Escape then restores the code.
    void tabIsRefusedAndEscapeRestores()
    {
        boxTexts.clear();
        answerBoxWithEnter();
        ev::key(w.get(), Qt::Key_Tab);
        boxHasGone();
        QCOMPARE(boxTexts, QStringList{tessolo::ui::kPostalInvalidMessage});
        QCOMPARE(focused(), static_cast<QWidget*>(w->MaskEditPostal));
        ev::key(w.get(), Qt::Key_Escape);
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("123-4567"));
    }
    QString storedPostal(const QString& row) const
    {
        return Db::column(QStringLiteral("select postal_code from t_customer where rowid = ") + row,
                          QStringLiteral("postal_code"))
            .value(0);
    }
    void loadRow(int row)
    {
        QVERIFY(row < w->ListFilter->rowCount());
        ev::click(w->ListViewNm->viewport(), Qt::LeftButton,
                  w->ListViewNm->visualRect(w->ListFilter->index(row, 0)).center());
        QCOMPARE(w->strRow, QString::number(w->ListFilter->rowidAt(row)));
    }

private slots:
    void init()
    {
        db = std::make_unique<Db>();
        QVERIFY(db->ok());
        w = std::make_unique<TfrmAddress>();
        frmAddress = w.get();
        boxTexts.clear();
    }
    void cleanup()
    {
        w.reset();
        frmAddress = nullptr;
        db.reset();
    }

    void focusBackFromAnotherWindowOrAPopupIsNoNewEntry()
    {
        Db::addPostal(QStringLiteral("1234567"), QStringLiteral("東京都"), QStringLiteral("港区"),
                      QStringLiteral("芝"));
        // An unchanged code completes only an empty address: that is what
        // shows whether a completion ran.
        const auto clearAddress = [this] {
            w->EditPref->clear();
            w->EditCity->clear();
            w->EditAddr->clear();
        };
        showWindow();
        clearAddress();

        // Away to another window and back.
        enterAndEraseSecondDigit();
        QWidget other;
        other.setWindowTitle(QStringLiteral("other"));
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QCOMPARE(focused(), static_cast<QWidget*>(w->MaskEditPostal));
        tabIsRefusedAndEscapeRestores();
        other.hide();

        // Nothing was completed on the way; the restored code leaves normally.
        QVERIFY(w->EditAddr->text().isEmpty());
        ev::click(w->EditTel);
        QCOMPARE(w->EditAddr->text(), QStringLiteral("芝"));

        // Out to the field's context menu (a right click) and back (Escape).
        clearAddress();
        enterAndEraseSecondDigit();
        ev::click(w->MaskEditPostal, Qt::RightButton);
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        QTest::keyClick(QApplication::activePopupWidget()->windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QCOMPARE(focused(), static_cast<QWidget*>(w->MaskEditPostal));
        tabIsRefusedAndEscapeRestores();

        QVERIFY(w->EditAddr->text().isEmpty());
        ev::key(w.get(), Qt::Key_Tab);
        QCOMPARE(w->EditAddr->text(), QStringLiteral("芝"));

        // Out to the menu bar with Alt and back with Escape: no refusal, no
        // completion, and the same entry goes on.
        clearAddress();
        enterAndEraseSecondDigit();
        bool refused = false; // a box would otherwise hang the test
        ev::onNextModal(
            [&](QWidget* modal) {
                refused = true;
                QTest::keyClick(modal->windowHandle(), Qt::Key_Return);
            },
            300);
        QTest::keyClick(w->windowHandle(), Qt::Key_Alt, Qt::AltModifier);
        QTest::qWait(400);
        QVERIFY(!refused);
        QCOMPARE(focused(), static_cast<QWidget*>(w->MainMenu1));
        ev::key(w.get(), Qt::Key_Escape);
        QCOMPARE(focused(), static_cast<QWidget*>(w->MaskEditPostal));
        tabIsRefusedAndEscapeRestores();
        QVERIFY(w->EditAddr->text().isEmpty());
        QTest::keyClick(w->windowHandle(), Qt::Key_Alt, Qt::AltModifier);
        QVERIFY(w->EditAddr->text().isEmpty());
        ev::key(w.get(), Qt::Key_Escape);
        ev::key(w.get(), Qt::Key_Tab);
        QCOMPARE(w->EditAddr->text(), QStringLiteral("芝"));
    }

    void passingThroughALoadedCodeKeepsTheHouseNumber()
    {
        Db::addPostal(QStringLiteral("1830022"), QStringLiteral("東京都"), QStringLiteral("府中市"),
                      QStringLiteral("宮西町"));
        Db::addPostal(QStringLiteral("1830023"), QStringLiteral("東京都"), QStringLiteral("府中市"),
                      QStringLiteral("宮町"));
        Db::addCustomer({QStringLiteral("山田太郎"),
                         QStringLiteral("ヤマダタロウ"),
                         {},
                         {},
                         {},
                         {},
                         QStringLiteral("1830022"),
                         QStringLiteral("東京都"),
                         QStringLiteral("府中市"),
                         QStringLiteral("宮西町2-15-3")});
        showWindow();
        loadRow(0);
        const QString row = w->strRow;

        // In and out with Tab, then 更新: the address is what was stored.
        ev::click(w->MaskEditPostal);
        QCOMPARE(focused(), static_cast<QWidget*>(w->MaskEditPostal));
        ev::key(w.get(), Qt::Key_Tab);
        QCOMPARE(focused(), static_cast<QWidget*>(w->EditPref));
        QCOMPARE(w->EditAddr->text(), QStringLiteral("宮西町2-15-3"));
        ev::click(w->btnup);
        QCOMPARE(Db::column(QStringLiteral("select town from t_customer where rowid = ") + row, QStringLiteral("town")),
                 QStringList{QStringLiteral("宮西町2-15-3")});

        // A new code whose town the address already begins with keeps the
        // rest; one with another town replaces it.
        // Clicks in, puts another last digit in place and tabs out.
        const auto retypeLastDigit = [this](const QString& digit) {
            ev::click(w->MaskEditPostal);
            ev::key(w.get(), Qt::Key_End);
            ev::key(w.get(), Qt::Key_Backspace);
            ev::typeText(w.get(), digit);
            ev::key(w.get(), Qt::Key_Tab);
        };
        w->EditAddr->setText(QStringLiteral("宮町1-1"));
        retypeLastDigit(QStringLiteral("3"));
        QCOMPARE(w->EditAddr->text(), QStringLiteral("宮町1-1"));
        QCOMPARE(focused(), static_cast<QWidget*>(w->EditAddr));
        retypeLastDigit(QStringLiteral("2"));
        QCOMPARE(w->EditAddr->text(), QStringLiteral("宮西町"));

        // A code not in the list leaves the three fields and says so.
        w->EditAddr->setText(QStringLiteral("宮西町2-15-3"));
        retypeLastDigit(QStringLiteral("9"));
        QCOMPARE(w->EditPref->text(), QStringLiteral("東京都"));
        QCOMPARE(w->EditAddr->text(), QStringLiteral("宮西町2-15-3"));
        QCOMPARE(w->MaskEditPostal->note(), tessolo::ui::kPostalNotFoundMessage.arg(QStringLiteral("183-0029")));
    }

    void aClickIntoAnEmptyFieldTypesFromItsStart()
    {
        showWindow();
        for (const int x : {w->MaskEditPostal->width() / 2, w->MaskEditPostal->width() - 3}) {
            w->btnClear->click();
            ev::click(w->EditTel);
            ev::click(w->MaskEditPostal, Qt::LeftButton, QPoint(x, w->MaskEditPostal->height() / 2));
            ev::typeText(w.get(), QStringLiteral("1830022"));
            QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("183-0022"));
        }
    }

    void onlyAsciiDigitsGoInAndFullWidthOnesAreConverted()
    {
        showWindow();
        ev::click(w->MaskEditPostal);
        ev::key(w.get(), Qt::Key_Home);
        ev::typeText(w.get(), QStringLiteral("１２３４"));
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("123-4   "));
        // Other scripts' digits are refused: nothing moves.
        ev::typeText(w.get(), QStringLiteral("٥५"));
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("123-4   "));
        ev::typeText(w.get(), QStringLiteral("５６７"));
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("123-4567"));

        // Pasted full-width digits arrive as 0-9 too.
        ev::key(w.get(), Qt::Key_A, Qt::ControlModifier);
        ev::key(w.get(), Qt::Key_Backspace);
        QApplication::clipboard()->setText(QStringLiteral("９８７６５４３"));
        ev::key(w.get(), Qt::Key_Home);
        ev::key(w.get(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("987-6543"));
        ev::click(w->btnadd);
        QCOMPARE(Db::column(QStringLiteral("select postal_code from t_customer"), QStringLiteral("postal_code")),
                 QStringList{QStringLiteral("9876543")});
    }

    void pastedCodesAreCleanedAsPeopleWriteThem()
    {
        showWindow();
        ev::click(w->MaskEditPostal);
        for (const QString& given : {QStringLiteral("〒215-0025"), QStringLiteral("２１５－００２５"),
                                     QStringLiteral("215 0025"), QStringLiteral("〒 215ー0025 ")}) {
            ev::key(w.get(), Qt::Key_A, Qt::ControlModifier);
            ev::key(w.get(), Qt::Key_Backspace);
            QApplication::clipboard()->setText(given);
            ev::key(w.get(), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("215-0025"));
        }
    }

    void storedCodesComeBackAsStoredUnlessEdited()
    {
        // A gap among the optional digits, and codes the CSV import stored as
        // the file had them.
        for (const char* code : {"123 4  ", "ABC1234", "12345", "1234567"})
            Db::exec(QStringLiteral("insert into t_customer (person_name, person_kana, postal_code) values ('%1', "
                                    "'%1', '%1')")
                         .arg(QString::fromLatin1(code)));
        showWindow();
        QCOMPARE(w->ListFilter->index(0, 0).data().toString(), QStringLiteral("123 4  "));

        loadRow(0);
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("123- 4  "));
        // In reading order: 123 4, 12345, 1234567, ABC1234.
        const QStringList shown = {QStringLiteral("123- 4  "), QStringLiteral("123-45  "), QStringLiteral("123-4567"),
                                   QStringLiteral("   -1234")};
        for (int row = 0; row < 4; ++row) {
            loadRow(row);
            QCOMPARE(w->MaskEditPostal->text(), shown[row]);
            const QString before = storedPostal(w->strRow);
            ev::click(w->btnup);
            QCOMPARE(storedPostal(w->strRow), before);
        }

        // Edited and then undone with Escape: still as stored.
        loadRow(3); // ABC1234
        ev::click(w->MaskEditPostal);
        ev::key(w.get(), Qt::Key_Home);
        ev::typeText(w.get(), QStringLiteral("9"));
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("9  -1234"));
        ev::key(w.get(), Qt::Key_Escape);
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("   -1234"));
        ev::click(w->btnup);
        QCOMPARE(storedPostal(w->strRow), QStringLiteral("ABC1234"));

        // Edited for good: the field's value is stored.
        loadRow(1); // 12345
        ev::click(w->MaskEditPostal);
        ev::key(w.get(), Qt::Key_Home);
        ev::typeText(w.get(), QStringLiteral("1234567"));
        QCOMPARE(w->MaskEditPostal->text(), QStringLiteral("123-4567"));
        ev::click(w->btnup);
        QCOMPARE(Db::column(QStringLiteral("select postal_code from t_customer where person_name = '12345'"),
                            QStringLiteral("postal_code")),
                 QStringList{QStringLiteral("1234567")});
    }

    void aRefusedClickIsSwallowedOnlyAfterTheBoxHasGone()
    {
        showWindow();
        const int customers = Db::customerCount();

        // The user presses on 追加, the box comes up, the user lets go of the
        // mouse over the roster (blocked by the box) and clicks the box's OK.
        enterAndEraseSecondDigit();
        bool closedByFirstClick = false;
        ev::onNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            boxTexts << box->text();
            ev::release(w->btnadd);
            ev::click(box->button(QMessageBox::Ok));
            closedByFirstClick = !box->isVisible();
            if (!closedByFirstClick) // the fault: the click was eaten
                QTest::keyClick(box->windowHandle(), Qt::Key_Return);
        });
        ev::press(w->btnadd);
        boxHasGone();
        QCOMPARE(boxTexts, QStringList{tessolo::ui::kPostalInvalidMessage});
        QVERIFY(closedByFirstClick);
        QVERIFY(!w->btnadd->isDown());
        QCOMPARE(Db::customerCount(), customers);
        QCOMPARE(focused(), static_cast<QWidget*>(w->MaskEditPostal));

        // The next click is the user's own again: it reaches the field it is aimed at.
        ev::key(w.get(), Qt::Key_Escape);
        ev::key(w.get(), Qt::Key_Tab); // leaves (and completes); the focus goes to the town field
        ev::click(w->EditTel);
        QCOMPARE(focused(), static_cast<QWidget*>(w->EditTel));

        // The box closed with the keyboard while the button is still held:
        // the rest of that press (its release) is eaten, the next click is not.
        boxTexts.clear();
        enterAndEraseSecondDigit();
        answerBoxWithEnter();
        ev::press(w->btnadd);
        boxHasGone();
        QCOMPARE(boxTexts.size(), 1);
        QVERIFY(!w->btnadd->isDown());
        ev::release(w->btnadd);
        QCOMPARE(Db::customerCount(), customers);
        ev::key(w.get(), Qt::Key_Escape);
        ev::key(w.get(), Qt::Key_Tab); // leaves (and completes); the focus goes to the town field
        ev::click(w->EditTel);
        QCOMPARE(focused(), static_cast<QWidget*>(w->EditTel));
    }
};

QTEST_MAIN(TestPostalField)
#include "postalfield_test.moc"
