// Core hot paths, each beside a baseline measured in the same run:
//  - widening 10,000 half-width readings (as a CSV import of that size does),
//    beside QString::toUpper and a plain copy loop over the same strings;
//  - splitting 124,000 lines shaped like the national postal list, beside
//    QByteArray::split(',') on the same lines;
//  - reading 10,000 customers' eight list columns through GetTable and
//    NamedFieldAsString, beside the same query stepped with the C API.

#include "text/commatext.h"
#include "text/cp932.h"
#include "data/sqlitedb.h"
#include "customer/customer.h"
#include "text/zenkaku.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

using namespace tessolo;

namespace {

const QStringList& halfWidthReadings()
{
    static const QStringList readings = [] {
        // Letters that take marks are common in names; mix them in.
        const QString letters = QStringLiteral("ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜｦﾝｯｬｭｮｰ");
        QRandomGenerator rng(932);
        QStringList out;
        for (int i = 0; i < 10000; ++i) {
            QString s;
            const int n = 3 + rng.bounded(8);
            for (int k = 0; k < n; ++k) {
                s += letters[rng.bounded(int(letters.size()))];
                const int r = rng.bounded(10);
                if (r == 0)
                    s += QChar(0xFF9E);
                else if (r == 1)
                    s += QChar(0xFF9F);
                else if (r == 2)
                    s += QLatin1Char(' ');
            }
            out << s;
        }
        return out;
    }();
    return readings;
}

void BM_ToZenkaku(benchmark::State& state)
{
    const QStringList& in = halfWidthReadings();
    const TCnvk2K conv;
    for (auto _ : state) {
        for (const QString& s : in)
            benchmark::DoNotOptimize(conv.ToZenkaku(s));
    }
    state.SetItemsProcessed(state.iterations() * in.size());
}
BENCHMARK(BM_ToZenkaku)->Unit(benchmark::kMicrosecond);

void BM_ToZenkakuBaseline_ToUpper(benchmark::State& state)
{
    const QStringList& in = halfWidthReadings();
    for (auto _ : state) {
        for (const QString& s : in)
            benchmark::DoNotOptimize(s.toUpper());
    }
    state.SetItemsProcessed(state.iterations() * in.size());
}
BENCHMARK(BM_ToZenkakuBaseline_ToUpper)->Unit(benchmark::kMicrosecond);

void BM_ToZenkakuBaseline_CopyLoop(benchmark::State& state)
{
    const QStringList& in = halfWidthReadings();
    for (auto _ : state) {
        for (const QString& s : in) {
            QString out;
            out.reserve(s.size());
            for (QChar c : s)
                out += c;
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * in.size());
}
BENCHMARK(BM_ToZenkakuBaseline_CopyLoop)->Unit(benchmark::kMicrosecond);

// 124,000 lines in the national list's shape, as bytes and decoded.
struct PostalLines {
    QList<QByteArray> bytes;
    QStringList text;
};

const PostalLines& postalLines()
{
    static const PostalLines lines = [] {
        PostalLines p;
        const QString towns[] = {QStringLiteral("以下に掲載がない場合"), QStringLiteral("北十条西"),
                                 QStringLiteral("大通西（１〜１９丁目）"), QStringLiteral("旭ケ丘")};
        const QString kanaTowns[] = {QStringLiteral("ｲｶﾆｹｲｻｲｶﾞﾅｲﾊﾞｱｲ"), QStringLiteral("ｷﾀ10ｼﾞｮｳﾆｼ"),
                                     QStringLiteral("ｵｵﾄﾞｵﾘﾆｼ(1-19ﾁｮｳﾒ)"), QStringLiteral("ｱｻﾋｶﾞｵｶ")};
        for (int i = 0; i < 124000; ++i) {
            const QString line = QStringLiteral("%1,\"%2  \",\"%3\",\"ﾎｯｶｲﾄﾞｳ\",\"ｻｯﾎﾟﾛｼｷﾀｸ\",\"%4\",\"北海道\","
                                                "\"札幌市北区\",\"%5\",0,0,%6,0,0,0")
                                     .arg(1101 + i % 900, 5, 10, QLatin1Char('0'))
                                     .arg(i % 1000, 3, 10, QLatin1Char('0'))
                                     .arg(i * 7 % 10000000, 7, 10, QLatin1Char('0'))
                                     .arg(kanaTowns[i % 4], towns[i % 4])
                                     .arg(i % 2);
            p.text << line;
            p.bytes << cp932::encode(line);
        }
        return p;
    }();
    return lines;
}

void BM_SplitCommaText(benchmark::State& state)
{
    const QStringList& lines = postalLines().text;
    for (auto _ : state) {
        for (const QString& l : lines)
            benchmark::DoNotOptimize(splitCommaText(l));
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
}
BENCHMARK(BM_SplitCommaText)->Unit(benchmark::kMillisecond);

void BM_SplitBaseline_QByteArraySplit(benchmark::State& state)
{
    const QList<QByteArray>& lines = postalLines().bytes;
    for (auto _ : state) {
        for (const QByteArray& l : lines)
            benchmark::DoNotOptimize(l.split(','));
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
}
BENCHMARK(BM_SplitBaseline_QByteArraySplit)->Unit(benchmark::kMillisecond);

void BM_DecodeAndSplit(benchmark::State& state)
{
    const QList<QByteArray>& lines = postalLines().bytes;
    for (auto _ : state) {
        for (const QByteArray& l : lines)
            benchmark::DoNotOptimize(splitCommaText(cp932::decode(l)));
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
}
BENCHMARK(BM_DecodeAndSplit)->Unit(benchmark::kMillisecond);

// A database of 10,000 customers, made once for the run.
class CustomerDb {
public:
    CustomerDb()
    {
        path = dir.path() + QStringLiteral("/tessolo.db");
        TSQLiteDatabase db(path);
        db.ExecSQL("Create table t_customer ([person_name] Text, [person_kana] Text, [company_name] Text, "
                   "[company_kana] Text, [cm_position] Text, [department] Text, [postal_code] Text, "
                   "[prefecture] Text, [city] Text, [town] Text, [building] Text, [tel] Text, [fax] Text, "
                   "[email1] Text, [email2] Text, [url] Text, [memo] Text)");
        db.BeginTransaction();
        const QStringList& kana = halfWidthReadings();
        const TCnvk2K conv;
        for (int i = 0; i < 10000; ++i) {
            customer::Record r;
            r[0] = QStringLiteral("髙橋 太郎%1").arg(i);
            r[1] = conv.ToZenkaku(kana[i]);
            r[2] = QStringLiteral("株式会社テッソロ%1").arg(i % 300);
            r[3] = QStringLiteral("テッソロ");
            r[4] = QStringLiteral("課長");
            r[5] = QStringLiteral("営業部");
            r[6] = QStringLiteral("0600042");
            r[7] = QStringLiteral("北海道");
            r[8] = QStringLiteral("札幌市中央区");
            r[9] = QStringLiteral("大通西１丁目");
            r[16] = QStringLiteral("メモ");
            db.ExecSQL(cp932::encode(customer::insertSql(r)));
        }
        db.Commit();
    }
    QTemporaryDir dir;
    QString path;
};

CustomerDb& customers()
{
    static CustomerDb db;
    return db;
}

const char* const kListColumns[] = {"person_name", "person_kana", "company_name", "department",
                                    "cm_position", "prefecture",  "city",         "rowid"};

void BM_GetTableNamedFields(benchmark::State& state)
{
    TSQLiteDatabase db(customers().path);
    const QByteArray sql = cp932::encode(customer::kListSql);
    QString names[8];
    for (int i = 0; i < 8; ++i)
        names[i] = QString::fromLatin1(kListColumns[i]);
    qint64 rows = 0;
    for (auto _ : state) {
        auto table = db.GetTable(sql);
        if (table->MoveFirst()) {
            while (!table->Eof()) {
                for (const QString& n : names)
                    benchmark::DoNotOptimize(table->NamedFieldAsString(n));
                table->Next();
                ++rows;
            }
        }
    }
    state.SetItemsProcessed(rows);
}
BENCHMARK(BM_GetTableNamedFields)->Unit(benchmark::kMillisecond);

void BM_GetTableBaseline_CApi(benchmark::State& state)
{
    TSQLiteDatabase db(customers().path);
    const QByteArray sql = cp932::encode(customer::kListSql);
    qint64 rows = 0;
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &st, nullptr);
        // Column positions of the eight list columns in "select rowid, *".
        const int cols[] = {1, 2, 3, 6, 5, 8, 9, 0};
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c : cols) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                benchmark::DoNotOptimize(cp932::decode(QByteArrayView(t, sqlite3_column_bytes(st, c))));
            }
            ++rows;
        }
        sqlite3_finalize(st);
    }
    state.SetItemsProcessed(rows);
}
BENCHMARK(BM_GetTableBaseline_CApi)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
