// The store on the SQLite file beside the same on a PostgreSQL server over
// loopback, in one run: the roster's whole list (10,000 and, as the map's
// marks read it, 20,000 customers), a postal lookup in the national list,
// a 10,000-line bulk insert in one transaction, and the same lines as a
// CSV import (read, built, encoded and stored as 住所データ取込 does). The server is the one named
// by TESSOLO_PG_TEST_URI (tools/pg-test-cluster.sh run sets it); without it
// the server's benchmarks are skipped with that reason.
//
//   tools/pg-test-cluster.sh run build/bench/bench_store

#include "csvimport/csvimportrun.h"
#include "data/datalocation.h"
#include "data/pgconnection.h"
#include "data/pgstore.h"
#include "data/sqlitedo.h"
#include "data/sqlitestore.h"
#include "text/cp932.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

using namespace tessolo::store;

namespace {

// The shared folder as configured, or as TESSOLO_SHARED_DIR names it.
QString listPath()
{
    const QString dir = qEnvironmentVariable("TESSOLO_SHARED_DIR", QStringLiteral(TESSOLO_SHARED_DIR));
    return dir + QStringLiteral("/postal/ken_all.csv");
}

const QStringList kKana = {QStringLiteral("ア"), QStringLiteral("カ"), QStringLiteral("サ"), QStringLiteral("タ"),
                           QStringLiteral("ナ"), QStringLiteral("ハ"), QStringLiteral("マ"), QStringLiteral("ヤ"),
                           QStringLiteral("ラ"), QStringLiteral("ワ"), QStringLiteral("き"), QStringLiteral("す")};

QList<CustomerValues> madeUpCustomers(int count)
{
    QList<CustomerValues> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        CustomerValues v;
        v[0] = QStringLiteral("顧客%1").arg(i);
        v[1] = kKana[i % kKana.size()] + kKana[(i / 7) % kKana.size()] + kKana[(i / 53) % kKana.size()];
        v[2] = QStringLiteral("株式会社テスト%1").arg(i % 700);
        v[6] = QStringLiteral("%1").arg(1000000 + i * 7 % 8999999);
        v[7] = QStringLiteral("東京都");
        v[8] = QStringLiteral("千代田区");
        v[9] = QStringLiteral("丸の内%1丁目").arg(i % 9 + 1);
        v[11] = QStringLiteral("03-%1").arg(i);
        v[16] = QStringLiteral("備考\r\n二行目");
        rows << v;
    }
    return rows;
}

// A fresh store of each kind for one benchmark: a file in a temporary
// folder, or a server database of its own (dropped afterwards).
class Fixture {
public:
    explicit Fixture(bool server)
    {
        if (!server) {
            auto file = std::make_unique<TSqliteStore>(m_dir.path() + QStringLiteral("/tessolo.db"));
            file->ensureSchema();
            m_store = std::move(file);
            return;
        }
        m_serverUri = qEnvironmentVariable("TESSOLO_PG_TEST_URI");
        if (m_serverUri.isEmpty())
            return;
        static int counter = 0;
        m_name = QStringLiteral("tessolo_bench_%1").arg(++counter);
        TPgConnection admin(m_serverUri);
        admin.exec("drop database if exists " + m_name.toUtf8());
        admin.exec("create database " + m_name.toUtf8());
        m_uri = m_serverUri;
        m_uri.replace(m_uri.lastIndexOf(QLatin1Char('/')), m_uri.size(), QLatin1Char('/') + m_name);
        m_store = std::make_unique<TPgStore>(m_uri);
    }
    ~Fixture()
    {
        m_store.reset();
        if (!m_name.isEmpty()) {
            TPgConnection admin(m_serverUri);
            admin.exec("drop database if exists " + m_name.toUtf8() + " with (force)");
        }
    }
    TStore* store() const { return m_store.get(); }
    // The server's database, for a second connection; empty for the file.
    const QString& uri() const { return m_uri; }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_serverUri;
    QString m_name;
    QString m_uri;
    std::unique_ptr<TStore> m_store;
};

bool ready(benchmark::State& state, const Fixture& f)
{
    if (!f.store()) {
        state.SkipWithError("no server: TESSOLO_PG_TEST_URI is not set (tools/pg-test-cluster.sh run …)");
        return false;
    }
    return true;
}

void BM_ListCustomers(benchmark::State& state)
{
    const Fixture f(state.range(0) == 1);
    if (!ready(state, f))
        return;
    f.store()->insertCustomers(madeUpCustomers(int(state.range(1))));
    for (auto _ : state)
        benchmark::DoNotOptimize(f.store()->customers().size());
    state.SetItemsProcessed(state.iterations() * state.range(1));
}

void BM_BulkInsert(benchmark::State& state)
{
    const Fixture f(state.range(0) == 1);
    if (!ready(state, f))
        return;
    const QList<CustomerValues> rows = madeUpCustomers(int(state.range(1)));
    for (auto _ : state)
        f.store()->insertCustomers(rows);
    state.SetItemsProcessed(state.iterations() * state.range(1));
}

QList<PostalValues> nationalList()
{
    QFile file(listPath());
    QList<PostalValues> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        if (raw.trimmed().isEmpty())
            continue;
        const QStringList fields = tessolo::cp932::decode(raw.trimmed()).split(QLatin1Char(','));
        PostalValues v;
        for (int i = 0; i < kPostalColumnCount && i < fields.size(); ++i) {
            QString f = fields[i];
            if (f.startsWith(QLatin1Char('"')) && f.endsWith(QLatin1Char('"')) && f.size() >= 2)
                f = f.mid(1, f.size() - 2);
            v[i] = f;
        }
        lines << v;
    }
    return lines;
}

PostalSource sourceOf(const QList<PostalValues>& lines)
{
    auto at = std::make_shared<qsizetype>(0);
    return [&lines, at](PostalValues& next) {
        if (*at >= lines.size())
            return false;
        next = lines[(*at)++];
        return true;
    };
}

void BM_PostalLookup(benchmark::State& state)
{
    const Fixture f(state.range(0) == 1);
    if (!ready(state, f))
        return;
    static const QList<PostalValues> lines = nationalList();
    if (lines.isEmpty()) {
        state.SkipWithError("the national postal list is not in the shared folder");
        return;
    }
    f.store()->loadPostalList(PostalKind::Addresses, sourceOf(lines));
    qsizetype i = 0;
    for (auto _ : state) {
        const QString& code = lines[(i++ * 7919) % lines.size()][2];
        benchmark::DoNotOptimize(f.store()->postalAddresses(code).size());
    }
}

void BM_PostalListLoad(benchmark::State& state)
{
    const Fixture f(state.range(0) == 1);
    if (!ready(state, f))
        return;
    static const QList<PostalValues> lines = nationalList();
    for (auto _ : state)
        benchmark::DoNotOptimize(f.store()->loadPostalList(PostalKind::Addresses, sourceOf(lines)));
    state.SetItemsProcessed(state.iterations() * lines.size());
}

// The windows' import into the store they use: the file as every run
// without a server has it, or the server as a PC set to one has it.
void BM_CsvImport(benchmark::State& state)
{
    const Fixture f(state.range(0) == 1);
    if (!ready(state, f))
        return;
    const QString csv = f.folder() + QStringLiteral("/customers.csv");
    {
        QFile out(csv);
        out.open(QIODevice::WriteOnly);
        for (const CustomerValues& v : madeUpCustomers(10000)) {
            QStringList fields;
            for (const QString& value : v)
                fields << QLatin1Char('"') + QString(value).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                        QLatin1Char('"');
            out.write(tessolo::cp932::encode(fields.join(QLatin1Char(',')) + QStringLiteral("\r\n")));
        }
    }
    tessolo::csvimport::ColumnMap map;
    for (int k = 0; k < tessolo::csvimport::kFieldCount; ++k)
        map[k].first = k;
    tessolo::location::setDataDirectory(f.folder());
    if (f.uri().isEmpty())
        tessolo::TSQLiteDo().initDB(tessolo::kDatabaseName);
    else
        setCurrent(std::make_unique<TPgStore>(f.uri()));
    qint64 rows = 0;
    for (auto _ : state)
        rows = tessolo::csvimport::run(csv, map).rows;
    setCurrent(nullptr);
    tessolo::location::setDataDirectory(QString());
    if (rows != 10000)
        state.SkipWithError("not every line was imported");
}

// Argument 0: 0 the file, 1 the server.
BENCHMARK(BM_ListCustomers)
    ->ArgNames({"server", "customers"})
    ->Args({0, 10000})
    ->Args({1, 10000})
    ->Args({0, 20000})
    ->Args({1, 20000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulkInsert)
    ->ArgNames({"server", "lines"})
    ->Args({0, 10000})
    ->Args({1, 10000})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvImport)->ArgNames({"server"})->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostalLookup)->ArgNames({"server"})->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PostalListLoad)->ArgNames({"server"})->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
