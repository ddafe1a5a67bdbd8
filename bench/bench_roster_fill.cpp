// The roster's list filled with 10,000 customers, beside the bare query that
// feeds it (the same statement, every row read by name as the fill reads it).
// The fill should cost no more than the query again.

#include "ui/okrightdlg2.h"
#include "data/sqlitedo.h"
#include "roster/customer.h"
#include "roster/frmaddress.h"
#include "ui/windowset.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidget>
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
        r[4] = QStringLiteral("課長");
        r[5] = QStringLiteral("営業部");
        r[6] = QStringLiteral("1000001");
        r[7] = QStringLiteral("東京都");
        r[8] = QStringLiteral("千代田区");
        r[9] = QStringLiteral("千代田1-1");
        db.exec_sql2(tessolo::customer::insertSql(r));
    }
    db.commitTransaction();
}

void BM_BareQuery(benchmark::State& state)
{
    static const QString cols[] = {
        QStringLiteral("person_name"), QStringLiteral("person_kana"), QStringLiteral("company_name"),
        QStringLiteral("department"),  QStringLiteral("cm_position"), QStringLiteral("prefecture"),
        QStringLiteral("city"),        QStringLiteral("rowid")};
    for (auto _ : state) {
        tessolo::TSQLiteDo db;
        db.getDBpoint(tessolo::kDatabaseName);
        auto t = db.query(tessolo::customer::kListSql);
        qsizetype chars = 0;
        for (t->MoveFirst(); !t->Eof(); t->Next())
            for (const QString& c : cols)
                chars += t->NamedFieldAsString(c).size();
        benchmark::DoNotOptimize(chars);
    }
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
