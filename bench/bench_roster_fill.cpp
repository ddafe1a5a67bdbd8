// The roster's list filled with 10,000 customers, beside the bare query that
// feeds it (the same statement, every row read by name as the fill reads it).
// The fill should cost no more than the query again.

#include "benchcustomers.h"
#include "ui/okrightdlg2.h"
#include "data/sqlitedo.h"
#include "roster/customer.h"
#include "roster/frmaddress.h"
#include "ui/windowset.h"

#include <QApplication>
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

BENCHMARK(BM_BareQuery)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RosterFill)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchcustomers::Database db;
    benchcustomers::create(kCustomers);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
