// 10,000 customers written to a CSV file, beside reading them with the
// roster's list query (every column read by name, as the export reads
// them). The export should cost no more than twice the reading.

#include "benchcustomers.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"
#include "customer/customerexport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kCustomers = 10000;

void BM_ListQueryAllColumns(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(benchcustomers::readList(tessolo::customer::kColumns));
    state.SetItemsProcessed(state.iterations() * kCustomers);
}

void BM_Export(benchmark::State& state)
{
    const auto encoding =
        state.range(0) == 0 ? tessolo::customerexport::Encoding::Cp932 : tessolo::customerexport::Encoding::Utf8Bom;
    state.SetLabel(state.range(0) == 0 ? "cp932" : "utf-8");
    QTemporaryDir out;
    const QString file = out.path() + QStringLiteral("/export.csv");
    qint64 written = 0;
    for (auto _ : state)
        written = tessolo::customerexport::write(file, tessolo::customer::kListSql, encoding).customers;
    if (written != kCustomers)
        state.SkipWithError("not every customer was written");
    state.counters["bytes"] = double(QFileInfo(file).size());
    state.SetItemsProcessed(state.iterations() * kCustomers);
}

BENCHMARK(BM_ListQueryAllColumns)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Export)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchcustomers::Database db;
    benchcustomers::create(kCustomers, true);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
