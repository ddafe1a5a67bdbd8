// The roster window on a server with another PC working beside it: a stale
// 更新 is refused with the other PC's row intact and the fields as typed, and
// the other PC's new customer shows in the list without a click.

#include "storetest.h"

#include "../ui/uitest.h"
#include "data/pgstore.h"
#include "roster/frmaddress.h"
#include "ui/okrightdlg2.h"
#include "ui/windowset.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace tessolo::store;
using storetest::customerValues;

namespace {

QStringList listNames(const TfrmAddress& w)
{
    QStringList out;
    for (int i = 0; i < w.ListViewNm->topLevelItemCount(); ++i)
        out << w.ListViewNm->topLevelItem(i)->text(0);
    return out;
}

void clickRow(TfrmAddress& w, int row)
{
    QTreeWidgetItem* item = w.ListViewNm->topLevelItem(row);
    ASSERT_NE(item, nullptr);
    QTest::mouseClick(w.ListViewNm->viewport(), Qt::LeftButton, {}, w.ListViewNm->visualItemRect(item).center());
}

// The windows' store for the test's length.
struct CurrentStore {
    explicit CurrentStore(const QString& uri) { setCurrent(std::make_unique<PgStore>(uri)); }
    ~CurrentStore() { setCurrent(nullptr); }
};

} // namespace

TEST(RosterOnServer, AStaleUpdateIsRefusedAndAnotherPcsChangeShows)
{
    std::unique_ptr<storetest::ScratchDatabase> db;
    STORETEST_NEED_SERVER(db);
    const CurrentStore windows(db->uri());
    PgStore otherPc(db->uri());
    otherPc.insertCustomer(customerValues(QStringLiteral("A"), QStringLiteral("ヤマダ")));
    otherPc.insertCustomer(customerValues(QStringLiteral("B"), QStringLiteral("かとう")));

    uitest::Errors errors;
    TOKRightDlg2 dlg;
    OKRightDlg2 = &dlg;
    TfrmAddress w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_EQ(listNames(w), (QStringList{QStringLiteral("person_nameB"), QStringLiteral("person_nameA")}));

    clickRow(w, 1);
    ASSERT_EQ(w.EditName->text(), QStringLiteral("person_nameA"));
    const CustomerRow seen = otherPc.customers().last();
    otherPc.updateCustomer(seen, customerValues(QStringLiteral("other"), QStringLiteral("ヤマダ")));

    w.EditName->setText(QStringLiteral("typed here"));
    w.btnup->click();
    EXPECT_EQ(errors.messages, QStringList{QStringLiteral("この顧客は他で変更または削除されました。")});
    EXPECT_EQ(w.EditName->text(), QStringLiteral("typed here"));
    EXPECT_EQ(otherPc.customer(seen.key)->values, customerValues(QStringLiteral("other"), QStringLiteral("ヤマダ")));

    // Within two seconds, with no click here.
    otherPc.insertCustomer(customerValues(QStringLiteral("C"), QStringLiteral("アオキ")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.ListViewNm->topLevelItemCount() == 3; }, 2000));
    EXPECT_EQ(listNames(w).first(), QStringLiteral("person_nameC"));

    // Loaded anew, the same 更新 goes through.
    clickRow(w, 2);
    ASSERT_EQ(w.EditName->text(), QStringLiteral("person_nameother"));
    w.EditName->setText(QStringLiteral("typed here"));
    w.btnup->click();
    EXPECT_EQ(otherPc.customer(seen.key)->values[tessolo::customer::col::PersonName], QStringLiteral("typed here"));
    OKRightDlg2 = nullptr;
}

int main(int argc, char** argv)
{
    // Listing the tests runs this too, where no display is set.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
