// The roster's list with many customers (TESSOLO_BENCH_CUSTOMERS, 100,000
// unless set), beside the bare query that feeds it (the same statement,
// every shown column of every row read by name): the baseline of the run.
// On a server (when one is named) the window's opening is timed too.
// Wanted, for 100,000 customers: the window open within 1 s, a keystroke in
// the search field within 100 ms, a click on a heading within 300 ms; for
// 10,000 a third of that.

#include "benchcustomers.h"
#include "customer/customer.h"
#include "customer/customerlist.h"
#include "data/datalocation.h"
#include "data/pgconnection.h"
#include "data/pgstore.h"
#include "data/sqlitedo.h"
#include "data/storetransfer.h"
#include "roster/frmaddress.h"
#include "ui/okrightdlg2.h"
#include "ui/windowset.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSettings>
#include <QTreeView>
#include <benchmark/benchmark.h>

namespace {

int customers()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("TESSOLO_BENCH_CUSTOMERS", &ok);
    return ok && n > 0 ? n : 100000;
}

void BM_BareQuery(benchmark::State& state)
{
    static const QString cols[] = {
        QStringLiteral("person_name"), QStringLiteral("person_kana"), QStringLiteral("company_name"),
        QStringLiteral("department"),  QStringLiteral("cm_position"), QStringLiteral("prefecture"),
        QStringLiteral("city"),        QStringLiteral("town"),        QStringLiteral("postal_code"),
        QStringLiteral("tel"),         QStringLiteral("rowid")};
    for (auto _ : state)
        benchmark::DoNotOptimize(benchcustomers::readList(cols));
    state.SetItemsProcessed(state.iterations() * customers());
}

// The window made, shown (which reads the list) and painted, as the map
// window's menu opens it.
void BM_RosterOpen(benchmark::State& state)
{
    int shown = 0;
    for (auto _ : state) {
        TfrmAddress roster;
        roster.show();
        QApplication::processEvents();
        shown = roster.ListFilter->rowCount();
        state.PauseTiming();
        roster.hide();
        state.ResumeTiming();
    }
    if (shown != customers())
        state.SkipWithError("the list does not hold every customer");
    state.SetItemsProcessed(state.iterations() * customers());
}

// The same on an office's server (TESSOLO_PG_TEST_URI, as the store's
// benchmarks take it): the file's customers moved into a database of the
// run's own, which the roster then reads.
void BM_RosterOpen_Server(benchmark::State& state)
{
    const QString serverUri = qEnvironmentVariable("TESSOLO_PG_TEST_URI");
    if (serverUri.isEmpty()) {
        state.SkipWithError("no server: TESSOLO_PG_TEST_URI is not set (tools/pg-test-cluster.sh run …)");
        return;
    }
    const QByteArray name = "tessolo_bench_roster";
    const auto dropDatabase = [&] {
        tessolo::store::TPgConnection(serverUri).exec("drop database if exists " + name + " with (force)");
    };
    dropDatabase();
    tessolo::store::TPgConnection(serverUri).exec("create database " + name);
    QString uri = serverUri;
    uri.replace(uri.lastIndexOf(QLatin1Char('/')), uri.size(), QLatin1Char('/') + QString::fromLatin1(name));
    {
        auto server = std::make_unique<tessolo::store::TPgStore>(uri);
        tessolo::store::importFile(*server, tessolo::location::databaseFile(), tessolo::store::ImportMode::IntoEmpty);
        tessolo::store::setCurrent(std::move(server));
    }
    BM_RosterOpen(state);
    tessolo::store::setCurrent(nullptr);
    dropDatabase();
}

// The list read again, as after 追加 or 更新.
void BM_RosterFill(benchmark::State& state)
{
    TfrmAddress roster;
    roster.show();
    QApplication::processEvents();
    for (auto _ : state) {
        roster.loadList();
        QApplication::processEvents(); // the list is laid out and painted
    }
    if (roster.ListFilter->rowCount() != customers())
        state.SkipWithError("the list does not hold every customer");
    state.SetItemsProcessed(state.iterations() * customers());
}

// One keystroke in the search field: the list narrowed (or widened back)
// and painted. The worst case is a text every customer holds, so that the
// whole list is rebuilt; a narrow one leaves a handful of lines.
void searchKeystrokes(benchmark::State& state, const QStringList& typed, int expected)
{
    TfrmAddress roster;
    roster.show();
    QApplication::processEvents();
    int i = 0;
    for (auto _ : state) {
        roster.EditSearch->setText(typed.at(i++ % typed.size()));
        QApplication::processEvents();
    }
    if (expected >= 0 && roster.ListFilter->rowCount() != expected)
        state.SkipWithError("the search did not narrow the list as expected");
    state.SetItemsProcessed(state.iterations() * customers());
}

void BM_SearchKeystroke_AllMatch(benchmark::State& state)
{
    searchKeystrokes(state, {QStringLiteral("顧"), QStringLiteral("顧客")}, customers());
}

void BM_SearchKeystroke_Narrow(benchmark::State& state)
{
    // Readings ヤマダ120, ヤマダ1200 … and then fewer.
    searchKeystrokes(state, {QStringLiteral("やまだ12"), QStringLiteral("やまだ123")}, -1);
}

void BM_SearchKeystroke_Telephone(benchmark::State& state)
{
    searchKeystrokes(state, {QStringLiteral("0312340"), QStringLiteral("03-1234-0123")}, -1);
}

void BM_SearchKeystroke_Postal(benchmark::State& state)
{
    searchKeystrokes(state, {QStringLiteral("100-000"), QStringLiteral("1000001")}, customers());
}

// A click on the 会社名 heading: the first after the list was read (the
// column's order is made then), and the clicks after it (up, down).
void BM_SortFirstClick(benchmark::State& state)
{
    TfrmAddress roster;
    roster.show();
    QApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        roster.ListViewNm->sortByColumn(tessolo::customer::listcol::PersonKana, Qt::AscendingOrder);
        roster.loadList();
        QApplication::processEvents();
        state.ResumeTiming();
        roster.ListViewNm->sortByColumn(tessolo::customer::listcol::CompanyName, Qt::AscendingOrder);
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * customers());
}

void BM_SortAgain(benchmark::State& state)
{
    TfrmAddress roster;
    roster.show();
    QApplication::processEvents();
    roster.ListViewNm->sortByColumn(tessolo::customer::listcol::CompanyName, Qt::AscendingOrder);
    int i = 0;
    for (auto _ : state) {
        roster.ListViewNm->sortByColumn(tessolo::customer::listcol::CompanyName,
                                        (i++ % 2) ? Qt::AscendingOrder : Qt::DescendingOrder);
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * customers());
}

BENCHMARK(BM_BareQuery)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RosterOpen)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RosterOpen_Server)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RosterFill)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchKeystroke_AllMatch)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchKeystroke_Narrow)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchKeystroke_Telephone)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchKeystroke_Postal)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SortFirstClick)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SortAgain)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QSettings().remove(QStringLiteral("roster")); // the list as first installed
    benchcustomers::Database db;
    benchcustomers::create(customers(), true); // every field: the search reads them all

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
