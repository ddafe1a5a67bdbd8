// 10,000 customers written to a CSV file, beside reading them with the
// roster's list query (every column read by name, as the export reads
// them). The export should cost no more than twice the reading.

#include "data/sqlitedo.h"
#include "roster/customer.h"
#include "roster/customerexport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kCustomers = 10000;

void createCustomers()
{
    static const char16_t* const kana[] = {u"ヤマダ", u"カトウ", u"ササキ", u"タナカ", u"ナカムラ",
                                           u"ハヤシ", u"マツモト", u"ヨシダ", u"ワタナベ", u"ゴトウ"};
    tessolo::TSQLiteDo db;
    db.setDBpoint(tessolo::kDatabaseName);
    db.beginTransaction();
    for (int i = 0; i < kCustomers; ++i) {
        tessolo::customer::Record r;
        r[0] = QStringLiteral("顧客%1").arg(i);
        r[1] = QString::fromUtf16(kana[i % 10]) + QStringLiteral("%1").arg(i);
        r[2] = QStringLiteral("株式会社テスト%1").arg(i % 97);
        r[3] = QStringLiteral("カブシキガイシャテスト");
        r[4] = QStringLiteral("課長");
        r[5] = QStringLiteral("営業部");
        r[6] = QStringLiteral("1000001");
        r[7] = QStringLiteral("東京都");
        r[8] = QStringLiteral("千代田区");
        r[9] = QStringLiteral("千代田1-1");
        r[10] = QStringLiteral("テストビル%1階").arg(i % 9 + 1);
        r[11] = QStringLiteral("03-1234-%1").arg(i % 10000, 4, 10, QLatin1Char('0'));
        r[13] = QStringLiteral("user%1@example.jp").arg(i);
        r[15] = QStringLiteral("www.example.jp");
        r[16] = QStringLiteral("初回訪問 \"%1\"\n担当: 佐藤").arg(i);
        db.exec_sql2(tessolo::customer::insertSql(r));
    }
    db.commitTransaction();
}

void BM_ListQueryAllColumns(benchmark::State& state)
{
    for (auto _ : state) {
        tessolo::TSQLiteDo db;
        db.getDBpoint(tessolo::kDatabaseName);
        auto t = db.query(tessolo::customer::kListSql);
        qsizetype chars = 0;
        for (t->MoveFirst(); !t->Eof(); t->Next())
            for (const QString& c : tessolo::customer::kColumns)
                chars += t->NamedFieldAsString(c).size();
        benchmark::DoNotOptimize(chars);
    }
    state.SetItemsProcessed(state.iterations() * kCustomers);
}

void BM_Export(benchmark::State& state)
{
    const auto encoding = state.range(0) == 0 ? tessolo::customerexport::Encoding::Cp932
                                              : tessolo::customerexport::Encoding::Utf8Bom;
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
    QTemporaryDir dir;
    tessolo::TSQLiteDo::setBaseDirectoryForTesting(dir.path());
    {
        tessolo::TSQLiteDo h;
        h.initDB(tessolo::kDatabaseName);
    }
    createCustomers();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tessolo::TSQLiteDo::setBaseDirectoryForTesting(QString());
    return 0;
}
