// Statement texts are a file-format contract (whole rows by position, no
// column list), so they are compared whole; values with quotes in them must
// be stored exactly as typed and do nothing else.

#include "coretest.h"

#include "customer/ourcompany.h"
#include "postal/postalcode.h"
#include "data/sqltext.h"
#include "customer/customer.h"

using namespace tessolo;

namespace {

customer::Record numberedCustomer()
{
    customer::Record r;
    for (int i = 0; i < customer::kColumnCount; ++i)
        r[size_t(i)] = QStringLiteral("v%1").arg(i + 1);
    return r;
}

ourcompany::Record numberedSite()
{
    ourcompany::Record r;
    for (int i = 0; i < ourcompany::kColumnCount; ++i)
        r[size_t(i)] = QStringLiteral("s%1").arg(i + 1);
    return r;
}

const QString kHostile = QStringLiteral("O'Brien'); delete from t_customer; --");

class Statements : public coretest::DbDirTest {
protected:
    void SetUp() override
    {
        coretest::DbDirTest::SetUp();
        initDatabase();
    }
    qint64 rows(const char* table)
    {
        coretest::RawDb raw(dbPath());
        return raw.count(table);
    }
    void exec(const QString& sql)
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        helper.exec_sql(sql);
    }
    QStringList row(const QString& sql, const QStringList& columns)
    {
        TSQLiteDo helper;
        helper.getDBpoint(kDatabaseName);
        auto table = helper.query(sql);
        QStringList out;
        if (table->MoveFirst()) {
            for (const QString& c : columns)
                out << table->NamedFieldAsString(c);
        }
        return out;
    }
};

} // namespace

TEST(PostalCode, FieldTextToStoredAndBack)
{
    EXPECT_EQ(postal::toStored(QStringLiteral("123-4567")), QStringLiteral("1234567"));
    EXPECT_EQ(postal::toStored(QStringLiteral("   -    ")), QString());
    EXPECT_TRUE(postal::toStored(QStringLiteral("   -    ")).isEmpty());
    // A partly filled code keeps its blanks; only the empty form is emptied.
    EXPECT_EQ(postal::toStored(QStringLiteral("123-45  ")), QStringLiteral("12345  "));
    EXPECT_EQ(postal::toStored(QStringLiteral("123-    ")), QStringLiteral("123    "));
    EXPECT_EQ(postal::toStored(QStringLiteral("1-2-3")), QStringLiteral("123"));

    EXPECT_EQ(postal::postal2mask(QStringLiteral("1234567")), QStringLiteral("123-4567"));
    EXPECT_EQ(postal::postal2mask(QString()), QStringLiteral("-"));
    EXPECT_EQ(postal::postal2mask(QStringLiteral("12")), QStringLiteral("12-"));
    EXPECT_EQ(postal::postal2mask(QStringLiteral("12345")), QStringLiteral("123-45"));
    EXPECT_EQ(postal::postal2mask(QStringLiteral("123456789")), QStringLiteral("123-4567"));
    EXPECT_EQ(postal::postal2mask(postal::toStored(QStringLiteral("060-0042"))), QStringLiteral("060-0042"));
}

TEST(PostalCode, TheSpellingsOfSpreadsheetsAndPeopleAreCleanedToSevenDigits)
{
    const std::pair<const char16_t*, const char16_t*> table[] = {
        {u"〒215-0025", u"2150025"},
        {u"２１５－００２５", u"2150025"},
        {u"215 0025", u"2150025"},
        {u"215‐0025", u"2150025"},
        {u"215ー0025", u"2150025"},
        {u"215−0025", u"2150025"},
        {u"〒 ２１５ー００２５ ", u"2150025"},
        {u"2150025", u"2150025"},
        {u"782122", u"782122"},
        {u"", u""},
        {u"ABC-1234", u"ABC1234"},
    };
    for (const auto& [given, stored] : table) {
        EXPECT_EQ(postal::cleaned(QString::fromUtf16(given)), QString::fromUtf16(stored))
            << QString::fromUtf16(given).toStdString();
    }
    EXPECT_TRUE(postal::isSevenDigits(QStringLiteral("0600001")));
    EXPECT_FALSE(postal::isSevenDigits(QStringLiteral("782122")));
    EXPECT_FALSE(postal::isSevenDigits(QStringLiteral("〒215002")));
    EXPECT_FALSE(postal::isSevenDigits(QStringLiteral("２１５００２５")));
}

TEST(CustomerStatements, TheExactTexts)
{
    const auto r = numberedCustomer();
    EXPECT_EQ(customer::insertSql(r),
              QStringLiteral("insert into t_customer values ('v1','v2','v3','v4','v5','v6','v7','v8','v9','v10',"
                             "'v11','v12','v13','v14','v15','v16','v17')"));
    EXPECT_EQ(customer::updateSql(r, QStringLiteral("12")),
              QStringLiteral("update t_customer set person_name='v1',person_kana='v2',company_name='v3',"
                             "company_kana='v4',cm_position='v5',department='v6',postal_code='v7',prefecture='v8',"
                             "city='v9',town='v10',building='v11',tel='v12',fax='v13',email1='v14',email2='v15',"
                             "url='v16',memo='v17' where rowid=12"));
    EXPECT_EQ(customer::deleteSql(QStringLiteral("12")), QStringLiteral("delete from t_customer where rowid = 12;"));
    EXPECT_EQ(customer::selectOneSql(QStringLiteral("7")),
              QStringLiteral("select rowid, * from t_customer where rowid = 7;"));
    EXPECT_EQ(customer::kListSql, QStringLiteral("select rowid, * from t_customer order by person_kana collate kana"));
    EXPECT_EQ(customer::insertSql(customer::Record{}),
              QStringLiteral("insert into t_customer values ('','','','','','','','','','','','','','','','','')"));
}

TEST(OurCompanyStatements, TheExactTexts)
{
    const auto r = numberedSite();
    EXPECT_EQ(ourcompany::insertSql(r),
              QStringLiteral("insert into m_our_company values ('s1','s2','s3','s4','s5','s6','s7','s8','s9','s10',"
                             "'s11');"));
    EXPECT_EQ(
        ourcompany::updateSql(r, QStringLiteral("3")),
        QStringLiteral("update m_our_company set co_name='s1',postal_code='s2',prefecture='s3',city='s4',"
                       "town='s5',building='s6',tel='s7',fax='s8',email='s9',url='s10',memo='s11' where rowid=3"));
    EXPECT_EQ(ourcompany::deleteSql(QStringLiteral("3")), QStringLiteral("delete from m_our_company where rowid = 3;"));
    EXPECT_EQ(ourcompany::selectOneSql(QStringLiteral("3")),
              QStringLiteral("select rowid, * from m_our_company where rowid = 3;"));
    EXPECT_EQ(ourcompany::kSitesSql, QStringLiteral("select rowid, * from m_our_company"));
    EXPECT_EQ(ourcompany::kListSql, QStringLiteral("select rowid, * from m_our_company order by rowid"));
}

TEST(SqlText, QuotesAreDoubledInsideTheLiteral)
{
    EXPECT_EQ(sqltext::literal(u"O'Brien"), QStringLiteral("'O''Brien'"));
    EXPECT_EQ(sqltext::literal(u""), QStringLiteral("''"));
    EXPECT_EQ(sqltext::literal(u"''"), QStringLiteral("''''''"));
    EXPECT_EQ(sqltext::insertValues(u"m_postal", {QStringLiteral("a"), QStringLiteral("b'c")}),
              QStringLiteral("insert into m_postal values ('a','b''c')"));
}

TEST_F(Statements, ACustomerRoundTripsThroughInsertUpdateAndDelete)
{
    customer::Record r = numberedCustomer();
    r[0] = QStringLiteral("髙橋 一郎");
    r[1] = QStringLiteral("タカハシ　イチロウ");
    r[6] = postal::toStored(QStringLiteral("123-4567"));
    r[16] = QStringLiteral("一行目\r\n二行目\n三行目");
    exec(customer::insertSql(r));
    exec(customer::insertSql(customer::Record{})); // every control empty

    const QStringList cols(customer::kColumns.begin(), customer::kColumns.end());
    EXPECT_EQ(row(customer::selectOneSql(QStringLiteral("1")), cols), QStringList(r.begin(), r.end()));
    EXPECT_EQ(row(customer::selectOneSql(QStringLiteral("2")), cols), QStringList(17, QString()));
    EXPECT_EQ(postal::postal2mask(row(customer::selectOneSql(QStringLiteral("1")), {"postal_code"}).first()),
              QStringLiteral("123-4567"));
    // The empty reading sorts first.
    EXPECT_EQ(row(customer::kListSql, {"rowid"}), QStringList({"2"}));

    customer::Record changed = numberedCustomer();
    exec(customer::updateSql(changed, QStringLiteral("1")));
    EXPECT_EQ(row(customer::selectOneSql(QStringLiteral("1")), cols), QStringList(changed.begin(), changed.end()));
    EXPECT_EQ(row(customer::selectOneSql(QStringLiteral("2")), cols), QStringList(17, QString()));

    exec(customer::deleteSql(QStringLiteral("2")));
    EXPECT_EQ(rows("t_customer"), 1);
    EXPECT_EQ(row(customer::kListSql, {"rowid"}), QStringList({"1"}));
}

TEST_F(Statements, AHostileValueIsStoredAsTypedAndDoesNothingElse)
{
    exec(customer::insertSql(customer::Record{QStringLiteral("keep me")}));
    customer::Record r;
    r.fill(kHostile);
    exec(customer::insertSql(r));
    EXPECT_EQ(rows("t_customer"), 2);
    const QStringList cols(customer::kColumns.begin(), customer::kColumns.end());
    EXPECT_EQ(row(customer::selectOneSql(QStringLiteral("2")), cols), QStringList(17, kHostile));

    // Unquoted, this memo would end the literal and retarget the update to row 1.
    customer::Record u = customer::Record{QStringLiteral("second")};
    u[16] = QStringLiteral("' where rowid=1; --");
    exec(customer::updateSql(u, QStringLiteral("2")));
    EXPECT_EQ(row(customer::selectOneSql(QStringLiteral("1")), {"person_name", "memo"}), QStringList({"keep me", ""}));
    EXPECT_EQ(row(customer::selectOneSql(QStringLiteral("2")), {"person_name", "memo"}),
              QStringList({"second", "' where rowid=1; --"}));
    EXPECT_EQ(rows("t_customer"), 2);
}

TEST_F(Statements, AHostileSiteIsStoredAsTypedAndDoesNothingElse)
{
    exec(customer::insertSql(customer::Record{QStringLiteral("a customer")}));
    exec(ourcompany::insertSql(ourcompany::Record{QStringLiteral("本社")}));
    ourcompany::Record r;
    r.fill(kHostile);
    exec(ourcompany::insertSql(r));
    EXPECT_EQ(rows("m_our_company"), 2);
    EXPECT_EQ(rows("t_customer"), 1);
    const QStringList cols(ourcompany::kColumns.begin(), ourcompany::kColumns.end());
    EXPECT_EQ(row(ourcompany::selectOneSql(QStringLiteral("2")), cols), QStringList(11, kHostile));

    ourcompany::Record u = numberedSite();
    u[0] = QStringLiteral("'; delete from m_our_company; --");
    exec(ourcompany::updateSql(u, QStringLiteral("1")));
    EXPECT_EQ(row(ourcompany::selectOneSql(QStringLiteral("1")), cols), QStringList(u.begin(), u.end()));
    EXPECT_EQ(rows("m_our_company"), 2);
    exec(ourcompany::deleteSql(QStringLiteral("2")));
    EXPECT_EQ(row(ourcompany::kListSql, {"co_name"}), QStringList({u[0]}));
}

TEST_F(Statements, APostalRowWithQuotesIsInsertedAsOneRowExactly)
{
    const QStringList fields = {QStringLiteral("01101"),   QStringLiteral("060  "),  QStringLiteral("0600000"),
                                QStringLiteral("ﾎｯｶｲﾄﾞｳ"), QStringLiteral("ｻｯﾎﾟﾛｼ"), kHostile,
                                QStringLiteral("北海道"),  QStringLiteral("札幌市"), QStringLiteral("O'Hare')--")};
    exec(sqltext::insertValues(u"m_postal", fields));
    EXPECT_EQ(rows("m_postal"), 1);
    EXPECT_EQ(row(QStringLiteral("select * from m_postal"),
                  {"gov_code", "postal_code1", "postal_code2", "prefecture1", "city1", "town1", "prefecture2", "city2",
                   "town2"}),
              fields);
    QString p, c, t;
    TSQLiteDo helper;
    helper.setDBpoint(kDatabaseName);
    helper.postal2address(QStringLiteral("0600000"), p, c, t);
    EXPECT_EQ(t, QStringLiteral("O'Hare')--"));
}
