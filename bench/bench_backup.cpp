// A dated copy of a full database (10,000 customers and the national postal
// list), as taken before each bulk change: the copy with its sync, check-free,
// and the check that the restore window reads from a copy.

#include "benchcustomers.h"
#include "data/backup.h"
#include "data/sqlitedb.h"
#include "postal/postalupdate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <benchmark/benchmark.h>
#include <memory>
#include <sys/resource.h>

namespace {

const QString kList = QStringLiteral(TESSOLO_SHARED_DIR "/postal/ken_all.csv");

// 10,000 customers with every field and the national list, in a fresh
// database that lives as long as the returned object.
std::unique_ptr<benchcustomers::Database> fullDatabase(benchmark::State& state)
{
    if (!QFile::exists(kList)) {
        state.SkipWithError("the national list is absent");
        return nullptr;
    }
    auto db = std::make_unique<benchcustomers::Database>();
    benchcustomers::create(10000, true);
    tessolo::postalupdate::run(kList);
    return db;
}

void BM_BackupFullDatabase(benchmark::State& state)
{
    const auto db = fullDatabase(state);
    if (!db)
        return;
    const QString source = tessolo::backup::databasePath();
    QString copy;
    int sequence = 0;
    for (auto _ : state)
        copy = tessolo::backup::makeCopy(source, QDateTime::currentDateTime().addSecs(++sequence));
    state.counters["db_MB"] = double(QFileInfo(source).size()) / 1e6;
    state.counters["copy_MB"] = double(QFileInfo(copy).size()) / 1e6;
}
BENCHMARK(BM_BackupFullDatabase)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_InspectFullCopy(benchmark::State& state)
{
    const auto db = fullDatabase(state);
    if (!db)
        return;
    const QString copy = tessolo::backup::makeCopy(tessolo::backup::databasePath());
    for (auto _ : state)
        benchmark::DoNotOptimize(tessolo::backup::inspect(copy).customers);
}
BENCHMARK(BM_InspectFullCopy)->Unit(benchmark::kMillisecond)->Iterations(5);

// The rotation's worth of copies of a small roster with the whole postal
// list: the list goes only into a copy whose list differs from the one
// before, so twenty copies cost little more than one.
void BM_TwentyCopiesOfASmallRoster(benchmark::State& state)
{
    if (!QFile::exists(kList)) {
        state.SkipWithError("the national list is absent");
        return;
    }
    qint64 total = 0;
    qint64 peakKb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        benchcustomers::Database db;
        benchcustomers::create(1000, true);
        tessolo::postalupdate::run(kList);
        const QString source = tessolo::backup::databasePath();
        state.ResumeTiming();
        QString copy;
        for (int i = 0; i < 20; ++i)
            copy = tessolo::backup::makeCopy(source, QDateTime::currentDateTime().addSecs(i));
        state.PauseTiming();
        total = 0;
        const QDir folder(tessolo::backup::folderOf(source));
        for (const QFileInfo& f : folder.entryInfoList(QDir::Files))
            total += f.size();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        peakKb = usage.ru_maxrss;
        state.ResumeTiming();
    }
    state.counters["twenty_copies_MB"] = double(total) / 1e6;
    state.counters["peak_rss_MB"] = double(peakKb) / 1e3;
}
BENCHMARK(BM_TwentyCopiesOfASmallRoster)->Unit(benchmark::kMillisecond)->Iterations(1);

// A large roster (customers with long memos, about 400 MB): the copy streams
// rows, so the memory it adds stays small whatever the file's size.
// TESSOLO_BENCH_LARGE_ROWS sets another number of customers (750000: 1 GB).
void BM_BackupLargeRoster(benchmark::State& state)
{
    benchcustomers::Database db;
    const QString source = tessolo::backup::databasePath();
    {
        const int rows = qEnvironmentVariableIntValue("TESSOLO_BENCH_LARGE_ROWS") > 0
            ? qEnvironmentVariableIntValue("TESSOLO_BENCH_LARGE_ROWS")
            : 300000;
        tessolo::TSQLiteDatabase raw(source);
        raw.ExecSQL(QStringLiteral("insert into t_customer (person_name, memo) with recursive n(i) as (select 1 union "
                                   "all select i + 1 from n where i < %1) select 'c' || i, hex(randomblob(500)) from n")
                        .arg(rows)
                        .toUtf8());
    }
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    QString copy;
    int sequence = 0;
    for (auto _ : state)
        copy = tessolo::backup::makeCopy(source, QDateTime::currentDateTime().addSecs(++sequence));
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    state.counters["db_MB"] = double(QFileInfo(source).size()) / 1e6;
    state.counters["copy_MB"] = double(QFileInfo(copy).size()) / 1e6;
    state.counters["peak_rss_growth_MB"] = double(after.ru_maxrss - before.ru_maxrss) / 1e3;
}
BENCHMARK(BM_BackupLargeRoster)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
