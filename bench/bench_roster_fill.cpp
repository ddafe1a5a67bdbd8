// The roster's list filled with 10,000 customers, beside the bare query that
// feeds it (the same statement, every row read by name as the fill reads it).
// The fill should cost no more than the query again. A keystroke in the
// search field should update the list within 100 ms.

#include "benchcustomers.h"
#include "ui/okrightdlg2.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"
#include "roster/frmaddress.h"
#include "ui/windowset.h"

#include <QApplication>
#include <QLineEdit>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

namespace {

constexpr int kCustomers = 10000;

void BM_BareQuery(benchmark::State& state)
{
    static const QString cols[] = {
        QStringLiteral("person_name"), QStringLiteral("person_kana"), QStringLiteral("company_name"),
        QStringLiteral("department"),  QStringLiteral("cm_position"), QStringLiteral("prefecture"),
        QStringLiteral("city"),        QStringLiteral("rowid")};
    for (auto _ : state)
        benchmark::DoNotOptimize(benchcustomers::readList(cols));
    state.SetItemsProcessed(state.iterations() * kCustomers);
}

void BM_RosterFill(benchmark::State& state)
{
    TfrmAddress roster;
    roster.show();
    QApplication::processEvents();
    for (auto _ : state) {
        roster.loadList();
        QApplication::processEvents(); // the list is laid out and painted
    }
    if (roster.ListViewNm->topLevelItemCount() != kCustomers)
        state.SkipWithError("the list does not hold every customer");
    state.SetItemsProcessed(state.iterations() * kCustomers);
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
    if (expected >= 0 && roster.ListViewNm->topLevelItemCount() != expected)
        state.SkipWithError("the search did not narrow the list as expected");
    state.SetItemsProcessed(state.iterations() * kCustomers);
}

void BM_SearchKeystroke_AllMatch(benchmark::State& state)
{
    searchKeystrokes(state, {QStringLiteral("顧"), QStringLiteral("顧客")}, kCustomers);
}

void BM_SearchKeystroke_Narrow(benchmark::State& state)
{
    // Readings ヤマダ120, ヤマダ1200 … and then ヤマダ1230 alone.
    searchKeystrokes(state, {QStringLiteral("やまだ12"), QStringLiteral("やまだ123")}, -1);
}

void BM_SearchKeystroke_Telephone(benchmark::State& state)
{
    // A thousand numbers 03-1234-0xxx, then the one of customer 123.
    searchKeystrokes(state, {QStringLiteral("0312340"), QStringLiteral("03-1234-0123")}, -1);
}

BENCHMARK(BM_BareQuery)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RosterFill)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchKeystroke_AllMatch)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchKeystroke_Narrow)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchKeystroke_Telephone)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchcustomers::Database db;
    benchcustomers::create(kCustomers, true); // every field: the search reads them all

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
