// The roster window on an office's server with another PC working beside
// it: the server's customers listed in reading order, a stale 更新 refused
// with the other PC's row intact and the fields as typed, the other PC's new
// customer shown without a click, commands on several chosen customers and
// the picker on the server's rows, and the commands that still work on the
// file alone refused instead of touching a file the office does not see.

#include "storetest.h"

#include "app/frmmapbrows.h"
#include "app/mapserver.h"
#include "app/webmap.h"
#include "atena/frmatena.h"
#include "company/frmourcompany.h"
#include "csvimport/csvimportrun.h"
#include "csvimport/duplicates.h"
#include "customer/customerexport.h"
#include "customer/customerlist.h"
#include "customer/memofields.h"
#include "data/pgstore.h"
#include "picker/frmclntsrc.h"
#include "roster/frmaddress.h"
#include "roster/groupseditor.h"
#include "tests/ui/realevents.h"
#include "tests/ui/uitest.h"
#include "text/cp932.h"
#include "ui/okrightdlg2.h"
#include "ui/windowset.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <optional>

using namespace tessolo::store;
using storetest::customerValues;
namespace col = tessolo::customer::col;

namespace {

QStringList listNames(const TfrmAddress& w)
{
    QStringList out;
    for (int row = 0; row < w.ListFilter->rowCount(); ++row)
        out << w.ListFilter->index(row, 0).data().toString();
    return out;
}

void clickRow(TfrmAddress& w, int row)
{
    const QModelIndex index = w.ListFilter->index(row, 0);
    realevents::click(w.ListViewNm->viewport(), Qt::LeftButton, w.ListViewNm->visualRect(index).center());
}

// The windows' store for the test's length.
struct CurrentStore {
    explicit CurrentStore(const QString& uri) { setCurrent(std::make_unique<TPgStore>(uri)); }
    ~CurrentStore() { setCurrent(nullptr); }
};

// The roster window shown, with the question dialog it asks through and
// the error display's messages; the dialog is handed back on every path,
// a failed assertion included.
struct OpenRoster {
    uitest::Errors errors;
    TOKRightDlg2 dlg;
    TfrmAddress w;
    OpenRoster()
    {
        OKRightDlg2 = &dlg;
        w.show();
    }
    ~OpenRoster() { OKRightDlg2 = nullptr; }
};

} // namespace

// A server database of the test's own with the windows working on it,
// another PC's client beside them, and the file beside the program, which
// must stay empty.
class RosterOnServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        STORETEST_NEED_SERVER(db);
        windows.emplace(db->uri());
        otherPc = std::make_unique<TPgStore>(db->uri());
    }

    std::unique_ptr<storetest::ScratchDatabase> db;
    uitest::Db localFile;
    std::optional<CurrentStore> windows;
    std::unique_ptr<TPgStore> otherPc;
};

TEST_F(RosterOnServer, AStaleUpdateIsRefusedAndAnotherPcsChangeShows)
{
    otherPc->insertCustomer(customerValues(QStringLiteral("A"), QStringLiteral("ヤマダ")));
    otherPc->insertCustomer(customerValues(QStringLiteral("B"), QStringLiteral("かとう")));

    OpenRoster roster;
    TfrmAddress& w = roster.w;
    uitest::Errors& errors = roster.errors;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_EQ(listNames(w), (QStringList{QStringLiteral("person_nameB"), QStringLiteral("person_nameA")}));

    clickRow(w, 1);
    ASSERT_EQ(w.EditName->text(), QStringLiteral("person_nameA"));
    const CustomerRow seen = *otherPc->customer(otherPc->customers().last().key);
    otherPc->updateCustomer(seen, customerValues(QStringLiteral("other"), QStringLiteral("ヤマダ")));

    w.EditName->setText(QStringLiteral("typed here"));
    realevents::click(w.btnup);
    EXPECT_EQ(errors.messages, QStringList{QStringLiteral("この顧客は他で変更または削除されました。")});
    EXPECT_EQ(w.EditName->text(), QStringLiteral("typed here"));
    EXPECT_EQ(otherPc->customer(seen.key)->values, customerValues(QStringLiteral("other"), QStringLiteral("ヤマダ")));

    // Within two seconds, with no click here.
    otherPc->insertCustomer(customerValues(QStringLiteral("C"), QStringLiteral("アオキ")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.ListFilter->rowCount() == 3; }, 2000));
    EXPECT_EQ(listNames(w).value(0), QStringLiteral("person_nameC"));

    // Loaded anew, the same 更新 goes through.
    clickRow(w, 2);
    ASSERT_EQ(w.EditName->text(), QStringLiteral("person_nameother"));
    w.EditName->setText(QStringLiteral("typed here"));
    errors.messages.clear();
    realevents::click(w.btnup);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(otherPc->customer(seen.key)->values[col::PersonName], QStringLiteral("typed here"));

    // 追加 stores on the server and chooses the new customer.
    w.btnClear->click();
    w.EditName->setText(QStringLiteral("新規"));
    w.EditNmKana->setText(QStringLiteral("シンキ"));
    realevents::click(w.btnadd);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(otherPc->customers().size(), 4);
    EXPECT_EQ(w.ListFilter->rowCount(), 4);

    // 削除 of the loaded customer, after the question, goes for every PC.
    const int rowB = int(listNames(w).indexOf(QStringLiteral("person_nameB")));
    ASSERT_GE(rowB, 0);
    clickRow(w, rowB);
    ASSERT_EQ(w.EditName->text(), QStringLiteral("person_nameB"));
    realevents::onNextModal([](QWidget* modal) { QTest::keyClick(modal->windowHandle(), Qt::Key_Return); });
    realevents::click(w.btndel);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(otherPc->customers().size(), 3);
    EXPECT_FALSE(listNames(w).contains(QStringLiteral("person_nameB")));

    // A command that works on the file alone says so; the file stays empty.
    w.actRestore->trigger();
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_TRUE(errors.messages.first().contains(QStringLiteral("復元")));
    EXPECT_EQ(uitest::Db::customerCount(), 0);
}

// Commands on several chosen customers work on the server's rows: a group
// given to two of them, then both deleted after one question; the picker
// lists and searches the server's customers.
TEST_F(RosterOnServer, ChosenCustomersAndThePickerWorkOnTheServer)
{
    otherPc->insertCustomer(customerValues(QStringLiteral("A"), QStringLiteral("ヤマダ")));
    otherPc->insertCustomer(customerValues(QStringLiteral("B"), QStringLiteral("カトウ")));
    otherPc->insertCustomer(customerValues(QStringLiteral("C"), QStringLiteral("アオキ")));

    TfrmClntsrc picker;
    picker.show();
    EXPECT_EQ(picker.ListViewNm->topLevelItemCount(), 3);
    picker.EditNm->setText(QStringLiteral("カ"));
    picker.btnNm->click();
    ASSERT_EQ(picker.ListViewNm->topLevelItemCount(), 1);
    EXPECT_EQ(picker.ListViewNm->topLevelItem(0)->text(0), QStringLiteral("person_nameB"));
    picker.close();

    OpenRoster roster;
    TfrmAddress& w = roster.w;
    uitest::Errors& errors = roster.errors;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const auto chooseFirstTwo = [&] {
        w.ListViewNm->selectionModel()->select(QItemSelection(w.ListFilter->index(0, 0), w.ListFilter->index(1, 0)),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    chooseFirstTwo(); // アオキ, カトウ
    emit w.GroupFilter->addRequested(QStringLiteral("展示会"));
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('|')).toStdString();
    QStringList inGroup;
    for (const CustomerRow& r : otherPc->customers()) {
        if (tessolo::customer::memo::parse(r.values[col::Memo]).groups.contains(QStringLiteral("展示会")))
            inGroup << r.values[col::PersonName];
    }
    EXPECT_EQ(inGroup, (QStringList{QStringLiteral("person_nameC"), QStringLiteral("person_nameB")}));

    chooseFirstTwo();
    realevents::onNextModal([](QWidget* modal) { QTest::keyClick(modal->windowHandle(), Qt::Key_Return); });
    realevents::click(w.btndel);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(otherPc->customers().size(), 1);
    EXPECT_EQ(otherPc->customers().first().values[col::PersonName], QStringLiteral("person_nameA"));
    EXPECT_EQ(listNames(w), QStringList{QStringLiteral("person_nameA")});
    EXPECT_EQ(uitest::Db::customerCount(), 0);
}

// 全顧客位置表示 on a server marks the server's customers as it marks the
// file's: each with its rowid and fields, which the area list, colouring and
// 名簿で開く rest on. A page that records the calls stands in for the map.
TEST_F(RosterOnServer, TheMapMarksTheServersCustomersByRowid)
{
    CustomerValues yamada{};
    yamada[col::PersonName] = QStringLiteral("山田太郎");
    yamada[col::PersonKana] = QStringLiteral("ヤマダタロウ");
    yamada[col::CompanyName] = QStringLiteral("山田商店");
    yamada[col::Prefecture] = QStringLiteral("東京都");
    yamada[col::City] = QStringLiteral("千代田区");
    yamada[col::Town] = QStringLiteral("丸の内1-1");
    const qint64 key = otherPc->insertCustomer(yamada).key;

    QTemporaryDir velmo;
    {
        QFile page(velmo.filePath(QStringLiteral("tessolo.html")));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<!doctype html><html><head><meta charset=\"utf-8\"></head><body><script>"
                   "window.calls = [];"
                   "function search_geo2() { window.calls.push(Array.prototype.slice.call(arguments)); }"
                   "</script></body></html>");
    }
    uitest::Errors errors;
    TfrmMapbrows w;
    w.mapServer()->setRoot(velmo.path());
    QSignalSpy loaded(w.WebMap1, &QWebEngineView::loadFinished);
    w.show();
    ASSERT_TRUE(loaded.wait(20000));
    QTest::mouseClick(w.btnClients, Qt::LeftButton);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('|')).toStdString();

    QVariant recorded;
    bool done = false;
    w.WebMap1->page()->runJavaScript(QStringLiteral("JSON.stringify(window.calls)"), [&](const QVariant& v) {
        recorded = v;
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    const QJsonArray calls = QJsonDocument::fromJson(recorded.toString().toUtf8()).array();
    ASSERT_EQ(calls.size(), 1);
    const QJsonArray args = calls.at(0).toArray();
    ASSERT_EQ(args.size(), 4);
    EXPECT_EQ(args.at(0).toString(), QStringLiteral("'東京都千代田区丸の内1-1'"));
    EXPECT_EQ(args.at(1).toString(), QStringLiteral("山田太郎::山田商店"));
    EXPECT_EQ(args.at(2).toString(), QString::number(key));
    EXPECT_EQ(QJsonDocument::fromJson(args.at(3).toString().toUtf8()).object().value(QStringLiteral("co")).toString(),
              QStringLiteral("山田商店"));
}

// What the roster hands on by rowid (住所データ出力, 宛名印刷, 地図に表示) reads
// the server's customers, never those of the file beside the program.
TEST_F(RosterOnServer, ExportAndMailingReadTheServersCustomers)
{
    uitest::Db::addCustomer({QStringLiteral("ファイルの顧客"), QStringLiteral("ファイル")});
    const qint64 a = otherPc->insertCustomer(customerValues(QStringLiteral("A"), QStringLiteral("ヤマダ"))).key;
    const qint64 b = otherPc->insertCustomer(customerValues(QStringLiteral("B"), QStringLiteral("カトウ"))).key;
    SiteValues site;
    site[tessolo::ourcompany::col::CoName] = QStringLiteral("本社");
    otherPc->insertSite(site);

    const auto stored = tessolo::customer::recordsOf({b, a, b, 1});
    ASSERT_EQ(stored.size(), 2u); // in the order given, each once; rowid 1 only in the file
    EXPECT_EQ(stored[0].record[col::PersonName], QStringLiteral("person_nameB"));
    EXPECT_EQ(stored[1].record[col::PersonName], QStringLiteral("person_nameA"));

    QTemporaryDir out;
    const QString csv = out.filePath(QStringLiteral("out.csv"));
    tessolo::customerexport::write(csv, QList<qint64>{a, b}, tessolo::customerexport::Encoding::Cp932);
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = tessolo::cp932::decode(f.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("person_nameA")) && text.contains(QStringLiteral("person_nameB")));
    EXPECT_FALSE(text.contains(QStringLiteral("ファイルの顧客")));

    TfrmAtena atena;
    atena.setCustomers({a, b});
    EXPECT_EQ(atena.customerRowids(), (QList<qint64>{a, b}));
    EXPECT_GE(atena.cmbSender->findText(QStringLiteral("本社")), 0);
}

// A CSV import on a server: duplicates of the server's customers found
// before anything is stored, the rest stored on the server, the file beside
// the program untouched.
TEST_F(RosterOnServer, AnImportGoesToTheServerWithItsDuplicatesFound)
{
    CustomerValues yamada{};
    yamada[col::PersonName] = QStringLiteral("山田太郎");
    yamada[col::PersonKana] = QStringLiteral("ヤマダタロウ");
    yamada[col::Tel] = QStringLiteral("03-1234-5678");
    otherPc->insertCustomer(yamada);

    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("list.csv"));
    {
        QFile f(csv);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(tessolo::cp932::encode(QStringLiteral("山田太郎,ﾔﾏﾀﾞﾀﾛｳ,03-1234-5678\r\n"
                                                      "佐藤花子,ｻﾄｳﾊﾅｺ,06-1111-2222\r\n"
                                                      "鈴木一郎,ｽｽﾞｷｲﾁﾛｳ,011-333-4444\r\n")));
    }
    tessolo::csvimport::ColumnMap map;
    map[col::PersonName].first = 0;
    map[col::PersonKana].first = 1;
    map[col::Tel].first = 2;
    qint64 inRoster = -1;
    const tessolo::csvimport::Result result =
        tessolo::csvimport::run(csv, map, {}, false, [&inRoster](const tessolo::csvimport::Review& found) {
            inRoster = found.inRoster;
            return true; // leave the duplicates out
        });
    EXPECT_EQ(inRoster, 1);
    EXPECT_EQ(result.rows, 2);
    EXPECT_EQ(result.skipped, 1);
    QStringList names;
    for (const CustomerRow& r : otherPc->customers())
        names << r.values[col::PersonName];
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("佐藤花子"), QStringLiteral("山田太郎"), QStringLiteral("鈴木一郎")}));
    EXPECT_EQ(uitest::Db::customerCount(), 0);
}

// The own company's sites on a server: listed and loaded from it, a new one
// stored there, a stale 更新 refused with the other PC's site intact.
TEST_F(RosterOnServer, OwnCompanySitesLiveOnTheServer)
{
    SiteValues head{};
    head[tessolo::ourcompany::col::CoName] = QStringLiteral("本社");
    otherPc->insertSite(head);

    uitest::Errors errors;
    TfrmOurcompany w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ASSERT_EQ(w.ListViewCo->topLevelItemCount(), 1);
    EXPECT_EQ(w.EditCompany->text(), QStringLiteral("本社"));

    const SiteRow seen = otherPc->sites().first();
    SiteValues renamed = seen.values;
    renamed[tessolo::ourcompany::col::CoName] = QStringLiteral("東京本社");
    otherPc->updateSite(seen, renamed);
    w.EditCompany->setText(QStringLiteral("本店"));
    realevents::click(w.btnup);
    EXPECT_EQ(errors.messages, QStringList{QStringLiteral("この自社情報は他で変更または削除されました。")});
    EXPECT_EQ(otherPc->sites().first().values[tessolo::ourcompany::col::CoName], QStringLiteral("東京本社"));

    errors.messages.clear();
    w.EditCompany->setText(QStringLiteral("大阪支店"));
    realevents::click(w.btnadd);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(otherPc->sites().size(), 2);
    EXPECT_EQ(otherPc->sites().last().values[tessolo::ourcompany::col::CoName], QStringLiteral("大阪支店"));
    EXPECT_EQ(w.ListViewCo->topLevelItemCount(), 2);
}

int main(int argc, char** argv)
{
    // Listing the tests runs this too, where no display is set.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The map's page runs in Qt WebEngine, which as root (CI) starts only
    // without its sandbox; ctest's environment list does not reach the
    // tests gtest_discover_tests makes.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
