// The 宛名 window as its user meets it before anything is printed: who a
// 送付しない group holds back, who needs a look, a recipient left out by
// unticking, the question that comes before printing those still ticked
// (a real message box, answered through the window system), and 名簿で開く.

#include "atena/frmatena.h"
#include "customer/memofields.h"
#include "data/fieldtable.h"
#include "tests/ui/realevents.h"
#include "tests/ui/uitest.h"

#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace col = tessolo::customer::col;
namespace ev = realevents;

namespace {

qint64 addCustomer(const QString& name, const QString& postal, const QString& town, const QString& memo = {})
{
    tessolo::customer::Record r;
    r[col::PersonName] = name;
    r[col::PostalCode] = postal;
    if (!town.isEmpty()) {
        r[col::Prefecture] = QStringLiteral("東京都");
        r[col::City] = QStringLiteral("千代田区");
        r[col::Town] = town;
    }
    r[col::Memo] = memo;
    uitest::Db::exec(tessolo::customer::insertSql(r));
    return uitest::Db::column(QStringLiteral("select max(rowid) as id from t_customer"), QStringLiteral("id"))
        .value(0)
        .toLongLong();
}

QListWidgetItem* itemOf(QListWidget* list, qint64 rowid)
{
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(Qt::UserRole).toLongLong() == rowid)
            return list->item(i);
    }
    return nullptr;
}

QList<qint64> rowidsOf(const QList<tessolo::atena::Recipient>& list)
{
    QList<qint64> out;
    for (const auto& r : list)
        out << r.rowid;
    return out;
}

// Pages in a PDF Qt wrote (its page objects are not compressed).
int pdfPages(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    return int(QString::fromLatin1(f.readAll()).count(page));
}

// Answers the next message box with `button`, and keeps its text.
void answerQuestion(QMessageBox::StandardButton button, QString* text)
{
    ev::onNext<QMessageBox>([button, text](QMessageBox* box) {
        *text = box->text();
        box->button(button)->click();
    });
}

} // namespace

class AtenaWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The held groups live in the user's settings: the test's own.
        QStandardPaths::setTestModeEnabled(true);
        QSettings s(QStringLiteral("Tessolo"), QStringLiteral("Tessolo"));
        s.clear();
    }

    void heldProblemsLeftOutAndOpened()
    {
        uitest::Db db;
        uitest::Db::addPostal(QStringLiteral("1000001"), QStringLiteral("東京都"), QStringLiteral("千代田区"),
                              QStringLiteral("千代田"));
        const qint64 fine = addCustomer(QStringLiteral("山田"), QStringLiteral("100-0001"), QStringLiteral("千代田1"));
        const qint64 mourning =
            addCustomer(QStringLiteral("佐藤"), QStringLiteral("1000001"), QStringLiteral("千代田2"),
                        tessolo::customer::memo::withGroups({}, {QStringLiteral("喪中")}, {}));
        const qint64 sixDigits =
            addCustomer(QStringLiteral("鈴木"), QStringLiteral("100000"), QStringLiteral("千代田3"));
        const qint64 unknown =
            addCustomer(QStringLiteral("高橋"), QStringLiteral("〒999-9999"), QStringLiteral("千代田4"));
        const qint64 homeless = addCustomer(QStringLiteral("田中"), QStringLiteral("1000001"), QString());

        TfrmAtena w;
        w.setCustomers({fine, mourning, sixDigits, unknown, homeless});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QCOMPARE(w.lblHeld->text(), QStringLiteral("喪中 1 件を除きました"));
        // Needing a look, in the order handed over; one without any address
        // starts unticked, as it would print a blank card.
        QCOMPARE(w.lstProblems->count(), 3);
        QVERIFY(
            itemOf(w.lstProblems, sixDigits)->text().contains(QStringLiteral("「100000」が7桁の数字ではありません")));
        QVERIFY(
            itemOf(w.lstProblems, unknown)->text().contains(QStringLiteral("9999999 が郵便番号データにありません")));
        QVERIFY(itemOf(w.lstProblems, homeless)->text().contains(QStringLiteral("住所がありません")));
        QCOMPARE(itemOf(w.lstProblems, sixDigits)->checkState(), Qt::Checked);
        QCOMPARE(itemOf(w.lstProblems, homeless)->checkState(), Qt::Unchecked);
        QCOMPARE(rowidsOf(w.printed()), (QList<qint64>{fine, sixDigits, unknown}));
        QVERIFY(w.lblCount->text().startsWith(QStringLiteral("3 件")));

        // Space on the focused row unticks it, as a user would.
        w.lstProblems->setFocus();
        w.lstProblems->setCurrentItem(itemOf(w.lstProblems, unknown));
        ev::key(w.lstProblems, Qt::Key_Space);
        QCOMPARE(itemOf(w.lstProblems, unknown)->checkState(), Qt::Unchecked);
        QCOMPARE(rowidsOf(w.printed()), (QList<qint64>{fine, sixDigits}));
        QVERIFY(w.lblCount->text().startsWith(QStringLiteral("2 件")));

        // One still ticked needs a look: the question comes first, and いいえ
        // prints nothing.
        QTemporaryDir out;
        const QString pdf = out.filePath(QStringLiteral("cards.pdf"));
        QString question;
        answerQuestion(QMessageBox::No, &question);
        ev::click(w.btnPdf);
        QVERIFY(question.contains(QStringLiteral("確認が必要な宛先が 1 件あります")));
        QVERIFY(!QFile::exists(pdf));

        // はい: the save dialog, then a card for each of the two.
        question.clear();
        answerQuestion(QMessageBox::Yes, &question);
        ev::onNext<QFileDialog>(
            [pdf](QFileDialog* save) {
                // Typed into the name field, as a user does, and Enter.
                ev::key(save, Qt::Key_A, Qt::ControlModifier);
                ev::typeText(save, pdf);
                ev::key(save, Qt::Key_Return);
            },
            20000);
        ev::click(w.btnPdf);
        QVERIFY(!question.isEmpty());
        QTRY_COMPARE(pdfPages(pdf), 2);

        // 名簿で開く closes the window with the customer to mend.
        w.lstProblems->setCurrentItem(itemOf(w.lstProblems, sixDigits));
        ev::click(w.btnOpenProblem);
        QCOMPARE(w.openRowid, sixDigits);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(!w.isVisible());
    }
};

QTEST_MAIN(AtenaWindowTest)
#include "atenawindow_test.moc"
