// The roster's list model and its filter against the database's own answers:
// the kana rows and the orders must be those the kana collation and glob give
// in SQL, since the export, 宛名 and the map take the list's order as shown.

#include "coretest.h"

#include "customer/customer.h"
#include "customer/customerexport.h"
#include "customer/customerlist.h"
#include "customer/kanafilter.h"
#include "text/cp932.h"
#include "text/kanacodes.h"

#include <QFile>

using namespace tessolo;
namespace c = tessolo::customer;

namespace {

class CustomerListTest : public coretest::DbDirTest {
protected:
    void SetUp() override
    {
        DbDirTest::SetUp();
        initDatabase();
    }

    static qint64 add(const QString& name, const QString& reading, const QString& company = {},
                      const QString& postal = {}, const QString& tel = {})
    {
        c::Record r;
        r[c::col::PersonName] = name;
        r[c::col::PersonKana] = reading;
        r[c::col::CompanyName] = company;
        r[c::col::PostalCode] = postal;
        r[c::col::Tel] = tel;
        TSQLiteDo db;
        db.setDBpoint(kDatabaseName);
        db.exec_sql(c::insertSql(r));
        const auto t = db.query(QStringLiteral("select last_insert_rowid() as id"));
        t->MoveFirst();
        return t->NamedFieldAsString(QStringLiteral("id")).toLongLong();
    }

    static QList<qint64> sqlRowids(const QString& sql)
    {
        QList<qint64> out;
        TSQLiteDo db;
        db.getDBpoint(kDatabaseName);
        const auto t = db.query(sql);
        for (t->MoveFirst(); !t->Eof(); t->Next())
            out << t->NamedFieldAsString(QStringLiteral("rowid")).toLongLong();
        return out;
    }

    void load()
    {
        TSQLiteDo db;
        model.load(db.getDBpoint(kDatabaseName));
    }

    c::TCustomerListModel model;
    c::TCustomerFilter filter{&model};
};

// Readings as people type them: katakana from the input method, hiragana by
// hand, voiced and small kana, and some no row names.
void addMixedReadings()
{
    const char16_t* readings[] = {u"いとう", u"イトウ", u"ササキ", u"しょうじ", u"ショウジ",   u"かとう",
                                  u"ガトウ", u"ぱく",   u"ハヤシ", u"わたなべ", u"ンジャイ",   u"ヴァン",
                                  u"ABC",    u"",       u"ｱｲ",     u"ゃまだ",   u"コウムテン", u"こうむ"};
    const char16_t* companies[] = {u"伊藤工務店", u"イトウ商事", u"佐々木工務店", u"東海林工務店", u"しょうじ",
                                   u"加藤",       u"がとう",     u"朴工務店",     u"林",           u"渡辺",
                                   u"ンジャイ社", u"ヴァン",     u"ABC",          u"名無し",       u"ｱｲ",
                                   u"山田",       u"工務店",     u"こうむ"};
    int i = 0;
    for (const char16_t* r : readings) {
        c::Record rec;
        rec[c::col::PersonName] = QStringLiteral("顧客%1").arg(i);
        rec[c::col::PersonKana] = QString::fromUtf16(r);
        rec[c::col::CompanyName] = QString::fromUtf16(companies[i]);
        TSQLiteDo::execute(c::insertSql(rec));
        ++i;
    }
}

TEST_F(CustomerListTest, KanaRowsAndReadingOrderAreThoseOfTheStatements)
{
    addMixedReadings();
    load();
    for (int code = 0; code < int(kana::codes().size()); ++code) {
        filter.setKanaCode(code);
        EXPECT_EQ(filter.rowids(), sqlRowids(kana::queryText(code))) << "kana code " << code;
    }
}

TEST_F(CustomerListTest, EveryHeadingSortsAsTheKanaCollationDoes)
{
    addMixedReadings();
    load();
    filter.sort(c::listcol::CompanyName, Qt::AscendingOrder);
    EXPECT_EQ(filter.rowids(),
              sqlRowids(QStringLiteral("select rowid from t_customer order by company_name collate "
                                       "kana, person_kana collate kana, rowid")));
    filter.sort(c::listcol::CompanyName, Qt::DescendingOrder);
    EXPECT_EQ(filter.rowids(),
              sqlRowids(QStringLiteral("select rowid from t_customer order by company_name collate "
                                       "kana desc, person_kana collate kana desc, rowid desc")));
    filter.sort(c::listcol::PersonKana, Qt::AscendingOrder);
    EXPECT_EQ(filter.rowids(), sqlRowids(c::kListSql));
    // A search keeps the order it narrows: hiragana and katakana readings
    // interleaved as the collation has them.
    filter.setSearch(QStringLiteral("工務店"));
    EXPECT_EQ(filter.rowids(),
              sqlRowids(QStringLiteral("select rowid from t_customer where company_name in ('伊藤工務店', "
                                       "'佐々木工務店', '東海林工務店', '朴工務店', '工務店') "
                                       "order by person_kana collate kana")));
    EXPECT_EQ(filter.rowCount(), 5);
}

TEST_F(CustomerListTest, SearchFindsPostalCodesWithOrWithoutHyphenAlongsideOtherTests)
{
    const qint64 a = add(QStringLiteral("青木"), QStringLiteral("アオキ"), {}, QStringLiteral("1500001"));
    const qint64 b = add(QStringLiteral("池田"), QStringLiteral("イケダ"), {}, QStringLiteral("1500002"),
                         QStringLiteral("03-9999-0013"));
    const qint64 k = add(QStringLiteral("木下"), QStringLiteral("キノシタ"), {}, QStringLiteral("9800001"));
    load();
    EXPECT_EQ(model.at(model.rowOf(a)).shown(c::listcol::Postal), QStringLiteral("150-0001"));
    for (const char* typed : {"150-0001", "1500001", "〒150-0001", "１５０－０００１"}) {
        filter.setSearch(QString::fromUtf8(typed));
        EXPECT_EQ(filter.rowids(), QList<qint64>{a}) << typed;
    }
    filter.setSearch(QStringLiteral("150-000"));
    EXPECT_EQ(filter.rowids(), (QList<qint64>{a, b}));
    filter.setKanaCode(1); // ア行
    EXPECT_EQ(filter.rowids(), (QList<qint64>{a, b}));
    filter.setTest(QStringLiteral("group"),
                   [b](const c::TCustomerListModel& m, int row) { return m.rowidAt(row) == b; });
    EXPECT_EQ(filter.rowids(), QList<qint64>{b});
    EXPECT_FALSE(filter.accepts(a));
    filter.setTest(QStringLiteral("group"), {});
    filter.setSearch(QString());
    filter.setKanaCode(0);
    EXPECT_EQ(filter.rowids(), (QList<qint64>{a, b, k}));
    EXPECT_EQ(filter.rowOf(k), 2);
}

TEST_F(CustomerListTest, ChosenCustomersAreWrittenInTheOrderGiven)
{
    const qint64 a = add(QStringLiteral("青木"), QStringLiteral("アオキ"));
    const qint64 b = add(QStringLiteral("池田"), QStringLiteral("イケダ"));
    const qint64 k = add(QStringLiteral("木下"), QStringLiteral("キノシタ"));
    TSQLiteDo::execute(c::deleteSql(QString::number(b)));
    const QString file = dir() + QStringLiteral("/out.csv");
    // Not the reading order, a deleted one among them, one twice.
    const auto result = customerexport::write(file, QList<qint64>{k, b, a, k}, customerexport::Encoding::Cp932);
    EXPECT_EQ(result.customers, 2);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = cp932::decode(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("\"木下\"")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("\"青木\"")));
}

} // namespace
