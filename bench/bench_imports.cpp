// The bulk loads and the postal lookup beside their bare baselines, measured
// in one run: the national list imported by Tessolo and by Debian's sqlite3
// shell, postal2address beside the same query through the C API, and a
// customer CSV file beside one prepared statement inserting the same rows.

#include "bench/postallist.h"
#include "data/datalocation.h"
#include "csvimport/csvimportrun.h"
#include "csvimport/duplicates.h"
#include "csvimport/xlsxread.h"
#include "customer/customerexport.h"
#include "text/commatext.h"
#include "text/cp932.h"
#include "postal/postalupdate.h"
#include "data/sqlitedo.h"
#include "text/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

using namespace tessolo;
using namespace benchwork;

namespace {

// A file of `count` made-up lines in code page 932, written once a run.
QString madeUpFile(const QString& name, int count, const std::function<QString(int)>& line)
{
    static QHash<QString, QString> made;
    if (const auto it = made.constFind(name); it != made.constEnd())
        return *it;
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += cp932::encode(line(i));
    return made[name] = writeWorkFile(name, out);
}

// ---------------------------------------------------------------- postal list

void BM_PostalUpdate_Tessolo(benchmark::State& state) { coreUpdate(state); }
void BM_PostalUpdate_SqliteShell(benchmark::State& state) { shellUpdate(state); }

// ---------------------------------------------------------------- lookup

struct LookupTable {
    QString dir;
    QStringList codes; // 100 codes picked at random from the table
};

const LookupTable& lookupTable()
{
    static LookupTable t;
    if (!t.dir.isEmpty())
        return t;
    freshDatabase(QStringLiteral("lookup"));
    t.dir = work().filePath(QStringLiteral("lookup"));
    postalupdate::run(kList);
    TSQLiteDo db;
    db.setDBpoint(kDatabaseName);
    auto all = db.query(QStringLiteral("select postal_code2 from m_postal"));
    QStringList codes;
    for (all->MoveFirst(); !all->Eof(); all->Next())
        codes << all->NamedFieldAsString(QStringLiteral("postal_code2"));
    auto* rng = QRandomGenerator::global();
    for (int i = 0; i < 100; ++i)
        t.codes << codes.at(rng->bounded(int(codes.size())));
    return t;
}

// The postal lookup as the windows run it, on the database in `dir`, over
// the codes in turn.
void lookUp(benchmark::State& state, const QString& dir, const QStringList& codes)
{
    tessolo::location::setDataDirectory(dir);
    TSQLiteDo db;
    db.setDBpoint(kDatabaseName);
    int i = 0;
    for (auto _ : state) {
        QString p, c, town;
        db.postal2address(codes.at(i++ % codes.size()), p, c, town);
        benchmark::DoNotOptimize(town);
    }
}

void BM_Postal2Address_Tessolo(benchmark::State& state)
{
    if (!haveList(state))
        return;
    const LookupTable& t = lookupTable();
    lookUp(state, t.dir, t.codes);
}

void BM_Postal2Address_BareC(benchmark::State& state)
{
    if (!haveList(state))
        return;
    const LookupTable& t = lookupTable();
    sqlite3* db = nullptr;
    sqlite3_open((t.dir + QStringLiteral("/tessolo.db")).toUtf8().constData(), &db);
    int i = 0;
    for (auto _ : state) {
        const QByteArray sql = "select prefecture2, city2, town2 from m_postal where postal_code2 = '" +
            t.codes.at(i++ % t.codes.size()).toLatin1() + "'";
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            benchmark::DoNotOptimize(sqlite3_column_text(st, 2));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
}

// The same lookups once the business list is loaded beside the addresses:
// 120,000 made-up businesses in the published layout (13 fields, the code in
// the 8th), so every lookup reads about twice the rows.
constexpr int kBusinesses = 120000;

QString businessList()
{
    return madeUpFile(QStringLiteral("jigyosyo.csv"), kBusinesses, [](int i) {
        return QStringLiteral("13101,\"ﾀﾞｲﾋｮｳｼﾞｷﾞｮｳｼｮ %1\",\"代表事業所　%1\",\"東京都\",\"千代田区\","
                              "\"丸の内\",\"１丁目%1\",\"%2\",\"100  \",\"銀座\",0,0,0\r\n")
            .arg(i)
            .arg(1000000 + i * 7 % 9000000, 7, 10, QLatin1Char('0'));
    });
}

void BM_Postal2Address_WithBusinesses(benchmark::State& state)
{
    if (!haveList(state))
        return;
    const LookupTable& t = lookupTable();
    static QString dir;
    if (dir.isEmpty()) {
        freshDatabase(QStringLiteral("lookup2"));
        dir = work().filePath(QStringLiteral("lookup2"));
        postalupdate::run(kList);
        if (postalupdate::run(businessList()).kind != postalupdate::ListKind::Businesses) {
            state.SkipWithError("the business list was not told by its shape");
            return;
        }
    }
    lookUp(state, dir, t.codes);
}

// ---------------------------------------------------------------- customer CSV

constexpr int kCustomerLines = 10000;

QString customerFile()
{
    return madeUpFile(QStringLiteral("customers.csv"), kCustomerLines, [](int i) {
        return QStringLiteral("山田 %1,ﾔﾏﾀﾞ ﾀﾛｳ,株式会社%1,ｶﾌﾞｼｷｶﾞｲｼｬ,課長,営業部,123-4567,東京都,千代田区,"
                              "千代田1-1,ビル%1,03-1234-5678,03-1234-5679,a%1@example.jp,b%1@example.jp,"
                              "example.jp,\"備考, %1\"\r\n")
            .arg(i);
    });
}

csvimport::ColumnMap everyColumn()
{
    csvimport::ColumnMap map;
    for (int k = 0; k < csvimport::kFieldCount; ++k)
        map[k].first = k;
    return map;
}

void BM_CsvImport_Tessolo(benchmark::State& state)
{
    const QString file = customerFile();
    for (auto _ : state) {
        state.PauseTiming();
        freshDatabase(QStringLiteral("csv"));
        state.ResumeTiming();
        csvimport::run(file, everyColumn());
    }
}

void BM_CsvImport_PreparedStatement(benchmark::State& state)
{
    // The rows the import stores, prepared before the clock runs.
    const QString file = customerFile();
    std::vector<QList<QByteArray>> rows;
    {
        freshDatabase(QStringLiteral("csvref"));
        csvimport::run(file, everyColumn());
        sqlite3* db = nullptr;
        sqlite3_open(work().filePath(QStringLiteral("csvref/tessolo.db")).toUtf8().constData(), &db);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "select * from t_customer", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            QList<QByteArray> r;
            for (int c = 0; c < 17; ++c)
                r << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, c)), sqlite3_column_bytes(st, c));
            rows.push_back(r);
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    for (auto _ : state) {
        state.PauseTiming();
        const QString path = freshDatabase(QStringLiteral("csvbare"));
        state.ResumeTiming();
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, "BEGIN TRANSACTION", nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "insert into t_customer values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr);
        for (const auto& r : rows) {
            for (int c = 0; c < 17; ++c)
                sqlite3_bind_text(st, c + 1, r[c].constData(), int(r[c].size()), SQLITE_STATIC);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    state.counters["rows"] = double(rows.size());
}

// The same file with prefecture and city given as one address to split
// (columns 7 and 8 joined as 住所（一括）), the town as before.
void BM_CsvImport_WholeAddress(benchmark::State& state)
{
    const QString file = customerFile();
    csvimport::ColumnMap map = everyColumn();
    map[7].first.reset();
    map[8].first.reset();
    map[csvimport::kWholeAddress] = {7, 8};
    csvimport::Result r;
    for (auto _ : state) {
        state.PauseTiming();
        freshDatabase(QStringLiteral("csvwhole"));
        state.ResumeTiming();
        r = csvimport::run(file, map);
    }
    if (r.unsplitAddresses != 0)
        state.SkipWithError("an address was not split");
}

// The import of the same 10,000 lines once more, into the roster that holds
// them: without the check, with it (every line found, all kept, as
// "すべて取り込む"), and with them left out. The first two differ by what
// the check adds to an import.
void importAgain(benchmark::State& state, int answer)
{
    const QString file = customerFile();
    qint64 found = -1;
    csvimport::DuplicatesFn ask;
    if (answer >= 0)
        ask = [&found, answer](const csvimport::Duplicates& d) {
            found = d.inRoster;
            return answer == 1;
        };
    for (auto _ : state) {
        state.PauseTiming();
        freshDatabase(QStringLiteral("csvagain"));
        csvimport::run(file, everyColumn());
        state.ResumeTiming();
        csvimport::run(file, everyColumn(), {}, false, ask);
    }
    if (answer >= 0 && found != kCustomerLines)
        state.SkipWithError("the run did not find every line in the roster");
}

// The national postal list in a database of its own, copied for each run.
const QString& databaseWithList()
{
    static QString withList;
    if (withList.isEmpty()) {
        freshDatabase(QStringLiteral("withlist"));
        postalupdate::run(kList);
        withList = work().filePath(QStringLiteral("withlist/tessolo.db"));
    }
    return withList;
}

// What a user's import costs now: the window's preview (the encoding
// detected, the first lines read), then the run with the check, its
// question answered "すべて取り込む", into a database holding the national
// postal list, so that every postal code is looked up.
void previewAndChecked(benchmark::State& state, const QString& file)
{
    qint64 flagged = -1;
    for (auto _ : state) {
        state.PauseTiming();
        const QString dir = work().filePath(QStringLiteral("checked"));
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        QFile::copy(databaseWithList(), dir + QStringLiteral("/tessolo.db"));
        tessolo::location::setDataDirectory(dir);
        state.ResumeTiming();
        const csvimport::Preview p = csvimport::preview(file);
        benchmark::DoNotOptimize(p.rows.size());
        csvimport::Options options;
        options.encoding = p.encoding; // as the window passes what it showed
        csvimport::run(
            file, everyColumn(), {}, false,
            [&flagged](const csvimport::Review& r) {
                flagged = r.check.lines.size();
                return false;
            },
            options);
    }
    if (flagged > 0)
        state.SkipWithError("lines with a listed postal code were flagged");
}

// Every line with the same code. Compare with BM_CsvImport_Tessolo.
void BM_CsvImport_PreviewAndChecked(benchmark::State& state)
{
    if (!haveList(state))
        return;
    previewAndChecked(state, madeUpFile(QStringLiteral("customers-postal.csv"), kCustomerLines, [](int i) {
                          return QStringLiteral(
                                     "山田 %1,ﾔﾏﾀﾞ ﾀﾛｳ,株式会社%1,ｶﾌﾞｼｷｶﾞｲｼｬ,課長,営業部,〒100-0001,東京都,千代田区,"
                                     "千代田1-1,ビル%1,03-1234-5678,03-1234-5679,a%1@example.jp,b%1@example.jp,"
                                     "example.jp,\"備考, %1\"\r\n")
                              .arg(i);
                      }));
}

// A list as customers' lists are: a different code on nearly every line,
// each with the prefecture and city the postal list gives it.
void BM_CsvImport_PreviewAndChecked_ManyCodes(benchmark::State& state)
{
    if (!haveList(state))
        return;
    struct Place {
        QString code, prefecture, city;
    };
    static QList<Place> places;
    if (places.isEmpty()) {
        tessolo::location::setDataDirectory(QFileInfo(databaseWithList()).path());
        TSQLiteDo db;
        db.setDBpoint(kDatabaseName);
        auto rows = db.query(QStringLiteral("select postal_code2, prefecture2, city2 from m_postal "
                                            "where prefecture1 <> '' group by postal_code2 limit %1")
                                 .arg(kCustomerLines));
        for (rows->MoveFirst(); !rows->Eof(); rows->Next())
            places.append({rows->NamedFieldAsString(QStringLiteral("postal_code2")),
                           rows->NamedFieldAsString(QStringLiteral("prefecture2")),
                           rows->NamedFieldAsString(QStringLiteral("city2"))});
    }
    previewAndChecked(state, madeUpFile(QStringLiteral("customers-codes.csv"), kCustomerLines, [](int i) {
                          const Place& at = places.at(i % places.size());
                          return QStringLiteral("山田 %1,ﾔﾏﾀﾞ ﾀﾛｳ,株式会社%1,ｶﾌﾞｼｷｶﾞｲｼｬ,課長,営業部,〒%2-%3,%4,%5,"
                                                "1-1,ビル%1,03-1234-5678,03-1234-5679,a%1@example.jp,"
                                                "b%1@example.jp,example.jp,\"備考, %1\"\r\n")
                              .arg(i)
                              .arg(at.code.left(3), at.code.mid(3), at.prefecture, at.city);
                      }));
    state.counters["codes"] = double(std::min<qsizetype>(places.size(), kCustomerLines));
}

// An Excel workbook of 10,000 customers: its first sheet read whole (what
// the preview and the run each do), and imported.
QString workbook()
{
    static QString path;
    if (path.isEmpty()) {
        std::vector<customer::Record> records;
        for (int i = 0; i < kCustomerLines; ++i) {
            customer::Record r;
            const QStringList v =
                QStringLiteral("山田 %1|ヤマダ タロウ|株式会社%1|カブシキガイシャ|課長|営業部|0600001|北海道|"
                               "札幌市中央区|北一条西1-1|ビル%1|03-1234-5678|03-1234-5679|"
                               "a%1@example.jp|b%1@example.jp|example.jp|備考 %1")
                    .arg(i)
                    .split(QLatin1Char('|'));
            std::copy(v.begin(), v.end(), r.begin());
            records.push_back(r);
        }
        path = work().filePath(QStringLiteral("customers.xlsx"));
        customerexport::writeRecords(path, records, customerexport::Encoding::Xlsx);
    }
    return path;
}

void BM_XlsxRead(benchmark::State& state)
{
    const QString file = workbook();
    qsizetype rows = 0;
    for (auto _ : state)
        rows = xlsx::readFirstSheet(file).size();
    state.counters["rows"] = double(rows);
}

void BM_XlsxImport(benchmark::State& state)
{
    const QString file = workbook();
    csvimport::Result r;
    for (auto _ : state) {
        state.PauseTiming();
        freshDatabase(QStringLiteral("xlsx"));
        state.ResumeTiming();
        r = csvimport::run(file, everyColumn(), {}, true);
    }
    state.counters["rows"] = double(r.rows);
}

void BM_CsvImportAgain_Unchecked(benchmark::State& state) { importAgain(state, -1); }
void BM_CsvImportAgain_CheckedKeepingAll(benchmark::State& state) { importAgain(state, 0); }
void BM_CsvImportAgain_CheckedLeavingOut(benchmark::State& state) { importAgain(state, 1); }

double worst(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

// One lookup per repetition: the median and the worst of 100.
void oneLookupARepetition(benchmark::internal::Benchmark* b)
{
    b->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(100)
        ->ComputeStatistics("worst", worst)
        ->ReportAggregatesOnly(true)
        ->UseRealTime();
}

} // namespace

BENCHMARK(BM_PostalUpdate_Tessolo)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PostalUpdate_SqliteShell)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Postal2Address_Tessolo)->Apply(oneLookupARepetition);
BENCHMARK(BM_Postal2Address_WithBusinesses)->Apply(oneLookupARepetition);
BENCHMARK(BM_Postal2Address_BareC)->Apply(oneLookupARepetition);
BENCHMARK(BM_CsvImport_Tessolo)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CsvImport_PreparedStatement)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CsvImport_WholeAddress)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CsvImport_PreviewAndChecked)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CsvImport_PreviewAndChecked_ManyCodes)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_XlsxRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_XlsxImport)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CsvImportAgain_Unchecked)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CsvImportAgain_CheckedKeepingAll)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_CsvImportAgain_CheckedLeavingOut)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

BENCHMARK_MAIN();
