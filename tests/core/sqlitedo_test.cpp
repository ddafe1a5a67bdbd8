// The database helper: where the file lies, the schema it creates, that no
// connection outlives an operation, and that a statement which did not run is
// never taken for one that did (locked, read-only or foreign files).

#include "data/datalocation.h"
#include "coretest.h"

#include "data/sqlitedo.h"
#include "customer/customer.h"

#include <QDir>
#include <QFile>

using namespace tessolo;

namespace {

template <typename F> QString messageOf(F&& f)
{
    try {
        f();
    } catch (const ESQLiteException& e) {
        return e.message();
    }
    return QString();
}

const char* const kSchema[][2] = {
    {"m_postal",
     "Create table m_postal ([gov_code] Varchar(5), [postal_code1] Varchar(5), [postal_code2] Varchar(7), "
     "[prefecture1] Text, [city1] Text, [town1] Text, [prefecture2] Text, [city2] Text, [town2] Text)"},
    {"t_customer",
     "Create table t_customer ([person_name] Text, [person_kana] Text, [company_name] Text, [company_kana] Text, "
     "[cm_position] Text, [department] Text, [postal_code] Text, [prefecture] Text, [city] Text, [town] Text, "
     "[building] Text, [tel] Text, [fax] Text, [email1] Text, [email2] Text, [url] Text, [memo] Text)"},
    {"m_our_company",
     "Create table m_our_company ([co_name] Text, [postal_code] Varchar(7), [prefecture] Text, [city] Text, "
     "[town] Text, [building] Text, [tel] Text, [fax] Text, [email] Text, [url] Text, [memo] Text)"},
};

// SQLite keeps a CREATE statement as written, except that it capitalises the
// two leading keywords.
QByteArray stored(const char* create) { return QByteArray("CREATE TABLE") + QByteArray(create).mid(12); }

// type|name|sql of every schema object, in creation order.
QByteArray schemaOf(coretest::RawDb& raw)
{
    return raw.scalar("select group_concat(type || '|' || name || '|' || sql, char(10)) "
                      "from (select * from sqlite_master order by rowid)");
}

QString insertOne(const QString& name)
{
    return customer::insertSql(coretest::customerRecord({name, QStringLiteral("カナ")}));
}

class Helper : public coretest::DbDirTest { };

} // namespace

TEST_F(Helper, FirstStartCreatesTheThreeTablesInOrderByTheirExactStatementsAndThePostalIndex)
{
    EXPECT_FALSE(QFile::exists(dbPath()));
    initDatabase();
    ASSERT_TRUE(QFile::exists(dbPath()));
    coretest::RawDb raw(dbPath());
    QByteArray expected;
    for (const auto& t : kSchema)
        expected += QByteArray("table|") + t[0] + "|" + stored(t[1]) + "\n";
    // and the index the postal lookups go by
    expected += "index|m_postal_postal_code2|CREATE INDEX m_postal_postal_code2 on m_postal (postal_code2)";
    EXPECT_EQ(schemaOf(raw), expected);
    // No pragma: the file keeps SQLite's defaults.
    EXPECT_EQ(raw.scalar("pragma journal_mode"), "delete");
    EXPECT_EQ(raw.scalar("pragma encoding"), "UTF-8");
}

TEST_F(Helper, LaterStartsCreateNothingAndTakeAnyLetterCaseAsExisting)
{
    initDatabase();
    QByteArray before, version;
    {
        coretest::RawDb raw(dbPath());
        before = schemaOf(raw);
        version = raw.scalar("pragma schema_version");
    }
    initDatabase();
    {
        coretest::RawDb raw(dbPath());
        EXPECT_EQ(schemaOf(raw), before);
        EXPECT_EQ(raw.scalar("pragma schema_version"), version);
        // A file of an older copy, without the postal index, gets it.
        raw.exec("drop index m_postal_postal_code2");
    }
    initDatabase();
    {
        coretest::RawDb raw(dbPath());
        EXPECT_EQ(schemaOf(raw), before);
    }

    // A file made elsewhere with the postal table in capitals (and other
    // columns): only existence counts, and it is left as it is, without the
    // index it cannot take.
    QFile::remove(dbPath());
    {
        coretest::RawDb raw(dbPath());
        raw.exec("create table M_POSTAL (code Text)");
    }
    initDatabase();
    coretest::RawDb raw(dbPath());
    EXPECT_EQ(schemaOf(raw),
              QByteArray("table|M_POSTAL|CREATE TABLE M_POSTAL (code Text)\n") + "table|t_customer|" +
                  stored(kSchema[1][1]) + "\ntable|m_our_company|" + stored(kSchema[2][1]));
}

TEST_F(Helper, TheFileLiesInTheBaseDirectoryEvenWhenItsNameIsJapanese)
{
    const QString base = dir() + QStringLiteral("/顧客 データ");
    ASSERT_TRUE(QDir().mkpath(base));
    tessolo::location::setDataDirectory(base);
    initDatabase();
    const QString expected = QDir::toNativeSeparators(base + QStringLiteral("/tessolo.db"));
    EXPECT_TRUE(QFile::exists(expected));
    TSQLiteDo helper;
    helper.setDBpoint(kDatabaseName);
    EXPECT_EQ(helper.DBFile, expected);
    helper.exec_sql(insertOne(QStringLiteral("髙橋")));
    EXPECT_EQ(helper.query(QStringLiteral("select * from t_customer"))->Count(), 1u);
}

TEST_F(Helper, OpeningWhereTheDirectoryIsMissingRaisesAndLeavesNoConnection)
{
    const QString base = dir() + QStringLiteral("/消えた");
    tessolo::location::setDataDirectory(base);
    TSQLiteDo helper;
    const QString file = QDir::toNativeSeparators(base + QStringLiteral("/tessolo.db"));
    EXPECT_EQ(messageOf([&] { helper.setDBpoint(kDatabaseName); }),
              QStringLiteral("Failed to open database \"%1\" : unable to open database file").arg(file));
    EXPECT_EQ(helper.SQLiteDB, nullptr);
    EXPECT_EQ(messageOf([&] { helper.initDB(kDatabaseName); }),
              QStringLiteral("Failed to open database \"%1\" : unable to open database file").arg(file));
    EXPECT_FALSE(QDir(base).exists());
}

TEST_F(Helper, AFileThatIsNotADatabaseIsReportedAndLeftUntouched)
{
    const QByteArray junk = QByteArray("氏名,住所\r\n").repeated(500);
    QFile f(dbPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(junk);
    f.close();
    EXPECT_EQ(messageOf([&] { initDatabase(); }),
              QStringLiteral("Error executing SQL.\rError [26]: File opened that is not a database file.\r"
                             "\"select [sql] from sqlite_master where [type] = 'table' and lower(name) = "
                             "'m_postal' \": file is not a database"));
    TSQLiteDo helper;
    helper.setDBpoint(kDatabaseName);
    EXPECT_FALSE(messageOf([&] { helper.exec_sql(insertOne(QStringLiteral("x"))); }).isEmpty());
    helper.closeDBpoint();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), junk);
    f.close();
    EXPECT_EQ(coretest::openDescriptorsOn(dbPath()), 0);
}

TEST_F(Helper, NoConnectionRemainsOpenAfterAnyOperation)
{
    initDatabase();
    EXPECT_EQ(coretest::openDescriptorsOn(dbPath()), 0);
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        EXPECT_GE(coretest::openDescriptorsOn(dbPath()), 1); // the check itself can see a connection
        helper.exec_sql(insertOne(QStringLiteral("a")));
        helper.closeDBpoint();
    }
    EXPECT_EQ(coretest::openDescriptorsOn(dbPath()), 0);
    {
        TSQLiteDo helper;
        helper.getDBpoint(kDatabaseName);
        auto table = helper.query(customer::kListSql);
        EXPECT_EQ(table->Count(), 1u);
    } // the helper's destructor closes what the handler left open
    EXPECT_EQ(coretest::openDescriptorsOn(dbPath()), 0);
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        EXPECT_FALSE(messageOf([&] { helper.exec_sql(QStringLiteral("insert into nosuch values (1)")); }).isEmpty());
        EXPECT_FALSE(messageOf([&] { helper.query(QStringLiteral("select nosuch from t_customer")); }).isEmpty());
        helper.beginTransaction();
        helper.exec_sql2(insertOne(QStringLiteral("b")));
    } // an uncommitted bulk load is rolled back on the way out
    EXPECT_EQ(coretest::openDescriptorsOn(dbPath()), 0);
    EXPECT_EQ(coretest::openDescriptorsOn(dbPath() + QStringLiteral("-journal")), 0);

    // Nothing holds a lock either: another process can take the file whole.
    coretest::RawDb other(dbPath());
    EXPECT_EQ(other.tryExec("BEGIN EXCLUSIVE"), SQLITE_OK);
    other.exec("ROLLBACK");
    EXPECT_EQ(other.count("t_customer"), 1);
}

TEST_F(Helper, ExecSqlRollsBackAFailingStatementAndRaisesItsError)
{
    initDatabase();
    TSQLiteDo helper;
    helper.setDBpoint(kDatabaseName);
    const QString expected = QStringLiteral("Error executing SQL.\rError [1]: SQL error or missing database.\r"
                                            "\"insert into nosuch values ('a')\": no such table: nosuch");
    EXPECT_EQ(messageOf([&] { helper.exec_sql(QStringLiteral("insert into nosuch values ('a')")); }), expected);
    EXPECT_FALSE(helper.SQLiteDB->IsTransactionOpen());
    EXPECT_NE(sqlite3_get_autocommit(helper.SQLiteDB->handle()), 0);
    // The connection goes on working, and exec_sql2 reports the same failure.
    helper.exec_sql(insertOne(QStringLiteral("after")));
    EXPECT_EQ(messageOf([&] { helper.exec_sql2(QStringLiteral("insert into nosuch values ('a')")); }), expected);
    EXPECT_EQ(helper.query(QStringLiteral("select * from t_customer"))->Count(), 1u);
}

TEST_F(Helper, ExecSqlOnAHelperThatIsNotOpenRaisesInsteadOfCrashing)
{
    TSQLiteDo helper;
    EXPECT_FALSE(messageOf([&] { helper.exec_sql(insertOne(QStringLiteral("x"))); }).isEmpty());
    EXPECT_FALSE(messageOf([&] { helper.query(customer::kListSql); }).isEmpty());
}

TEST_F(Helper, AWriteLockHeldElsewhereFailsTheStatementAtOnceAndChangesNothing)
{
    initDatabase();
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        helper.exec_sql(insertOne(QStringLiteral("before")));
    }
    const QString sql = insertOne(QStringLiteral("locked out"));
    coretest::RawDb other(dbPath());

    // RESERVED: another writer is in the middle of its transaction.
    other.exec("BEGIN IMMEDIATE");
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        EXPECT_EQ(
            messageOf([&] { helper.exec_sql(sql); }),
            UserAdvice(SQLITE_BUSY) +
                QStringLiteral("\n\nError executing SQL statement.\rError [5]: The database file is locked.\r\"") +
                sql + QStringLiteral("\": database is locked"));
        EXPECT_FALSE(helper.SQLiteDB->IsTransactionOpen());
    }
    other.exec("ROLLBACK");
    EXPECT_EQ(other.count("t_customer"), 1);

    // EXCLUSIVE: not even the schema can be read, so compiling fails.
    other.exec("BEGIN EXCLUSIVE");
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        EXPECT_EQ(messageOf([&] { helper.exec_sql(sql); }),
                  UserAdvice(SQLITE_BUSY) +
                      QStringLiteral("\n\nError executing SQL.\rError [5]: The database file is locked.\r\"") + sql +
                      QStringLiteral("\": database is locked"));
    }
    other.exec("ROLLBACK");
    EXPECT_EQ(other.count("t_customer"), 1);
    EXPECT_EQ(other.scalar("select person_name from t_customer"), "before");
}

TEST_F(Helper, ACommitThatFailsIsRolledBackAndRaised)
{
    initDatabase();
    coretest::RawDb reader(dbPath());
    TSQLiteDo helper;
    helper.setDBpoint(kDatabaseName);
    helper.exec_sql(insertOne(QStringLiteral("first")));

    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(reader.get(), "select * from t_customer", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW); // a reader holds its shared lock
    EXPECT_EQ(messageOf([&] { helper.exec_sql(insertOne(QStringLiteral("second"))); }),
              UserAdvice(SQLITE_BUSY) +
                  QStringLiteral("\n\nError executing SQL statement.\rError [5]: The database file is locked.\r"
                                 "\"COMMIT\": database is locked"));
    EXPECT_FALSE(helper.SQLiteDB->IsTransactionOpen());
    sqlite3_finalize(st);
    // The insert was undone, not left pending for a later commit.
    helper.exec_sql(insertOne(QStringLiteral("third")));
    helper.closeDBpoint();
    EXPECT_EQ(reader.scalar("select group_concat(person_name, ',') from (select * from t_customer order by rowid)"),
              "first,third");
}

TEST_F(Helper, AReadOnlyFileRefusesTheStatementAndKeepsItsContents)
{
    initDatabase();
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        helper.exec_sql(insertOne(QStringLiteral("kept")));
    }
    QFile db(dbPath());
    ASSERT_TRUE(db.open(QIODevice::ReadOnly));
    const QByteArray before = db.readAll();
    db.close();
    ASSERT_TRUE(QFile::setPermissions(dbPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    // The directory must be reachable by whoever runs the body (root gives
    // itself up for it), and not writable, so no journal can be made either.
    ASSERT_TRUE(QFile::setPermissions(dir(),
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::ExeOther));

    const QString sql = insertOne(QStringLiteral("refused"));
    const std::string answer = coretest::runUnprivileged([&] {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        std::string out = messageOf([&] { helper.exec_sql(sql); }).toStdString();
        out += "|";
        out += std::to_string(helper.query(QStringLiteral("select * from t_customer"))->Count());
        return out;
    });
    QFile::setPermissions(dir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(answer,
              (QStringLiteral("Error executing SQL statement.\rError [8]: Attempt to write a readonly "
                              "database.\r\"") +
               sql + QStringLiteral("\": attempt to write a readonly database|1"))
                  .toStdString());
    ASSERT_TRUE(db.open(QIODevice::ReadOnly));
    EXPECT_EQ(db.readAll(), before);
}

TEST_F(Helper, ABulkLoadKeepsItsRowsOnlyWhenCommitted)
{
    initDatabase();
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        helper.beginTransaction();
        EXPECT_EQ(messageOf([&] { helper.beginTransaction(); }), QStringLiteral("Transaction already open"));
        for (int i = 0; i < 3; ++i)
            helper.exec_sql2(insertOne(QString::number(i)));
        helper.closeDBpoint();
    }
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        EXPECT_EQ(helper.query(QStringLiteral("select * from t_customer"))->Count(), 0u);
        helper.beginTransaction();
        for (int i = 0; i < 3; ++i)
            helper.exec_sql2(insertOne(QString::number(i)));
        helper.commitTransaction();
        helper.beginTransaction();
        helper.exec_sql2(insertOne(QStringLiteral("undone")));
        helper.rollbackTransaction();
        EXPECT_FALSE(helper.SQLiteDB->IsTransactionOpen());
    }
    coretest::RawDb raw(dbPath());
    EXPECT_EQ(raw.count("t_customer"), 3);
}

TEST_F(Helper, PostalLookupTakesTheLastMatchingRowAndKeepsValuesWithoutOne)
{
    initDatabase();
    TSQLiteDo helper;
    helper.setDBpoint(kDatabaseName);
    helper.exec_sql(QStringLiteral("insert into m_postal values ('13101','100  ','1000001','ﾄｳｷｮｳﾄ','ﾁﾖﾀﾞｸ',"
                                   "'ﾁﾖﾀﾞ','東京都','千代田区','千代田')"));
    helper.exec_sql(QStringLiteral("insert into m_postal values ('01101','060  ','0600000','ﾎｯｶｲﾄﾞｳ','ｻｯﾎﾟﾛｼ',"
                                   "'ｲｶﾆ','北海道','札幌市中央区','以下に掲載がない場合')"));
    helper.exec_sql(QStringLiteral("insert into m_postal values ('01101','060  ','0600000','ﾎｯｶｲﾄﾞｳ','ｻｯﾎﾟﾛｼ',"
                                   "'ｷﾀ','北海道','札幌市中央区','北一条西')"));
    QString pref, city, town;
    helper.postal2address(QStringLiteral("1000001"), pref, city, town);
    EXPECT_EQ(QStringList({pref, city, town}), QStringList({"東京都", "千代田区", "千代田"}));
    helper.postal2address(QStringLiteral("0600000"), pref, city, town);
    EXPECT_EQ(QStringList({pref, city, town}), QStringList({"北海道", "札幌市中央区", "北一条西"}));
    QString p2 = QStringLiteral("keep"), c2 = QStringLiteral("keep"), t2 = QStringLiteral("keep");
    helper.postal2address(QStringLiteral("9999999"), p2, c2, t2);
    EXPECT_EQ(QStringList({p2, c2, t2}), QStringList({"keep", "keep", "keep"}));
    // A partly filled code keeps its blanks and matches nothing; a quote is data.
    helper.postal2address(QStringLiteral("100  01"), p2, c2, t2);
    helper.postal2address(QStringLiteral("1' or '1'='1"), p2, c2, t2);
    EXPECT_EQ(QStringList({p2, c2, t2}), QStringList({"keep", "keep", "keep"}));
}

TEST_F(Helper, ExecSqlInsideABulkLoadFailsWithoutEndingTheLoad)
{
    initDatabase();
    TSQLiteDo helper;
    helper.setDBpoint(kDatabaseName);
    helper.beginTransaction();
    helper.exec_sql2(insertOne(QStringLiteral("bulk row")));
    EXPECT_EQ(messageOf([&] { helper.exec_sql(insertOne(QStringLiteral("single"))); }),
              QStringLiteral("Transaction already open"));
    // The caller's transaction and its row are still there to commit.
    EXPECT_TRUE(helper.SQLiteDB->IsTransactionOpen());
    helper.commitTransaction();
    helper.closeDBpoint();
    coretest::RawDb raw(dbPath());
    EXPECT_EQ(raw.scalar("select group_concat(person_name) from t_customer"), "bulk row");
}

TEST(PostalTowns, TheListsNotesGiveNoTownAndBlocksInParenthesesAreDropped)
{
    using postal::townName;
    EXPECT_EQ(townName(QStringLiteral("以下に掲載がない場合")), QString());
    EXPECT_EQ(townName(QStringLiteral("奥尻町の次に番地がくる場合")), QString());
    EXPECT_EQ(townName(QStringLiteral("猿払村一円")), QString());
    EXPECT_EQ(townName(QStringLiteral("一円")), QStringLiteral("一円")); // a town of that name
    EXPECT_EQ(townName(QStringLiteral("大通西（１～１９丁目）")), QStringLiteral("大通西"));
    EXPECT_EQ(townName(QStringLiteral("藤野（４００、４００－２番地")), QStringLiteral("藤野"));
    EXPECT_EQ(townName(QStringLiteral("５０１番地）")), QString()); // the rest of the row before
    EXPECT_EQ(townName(QStringLiteral("宮西町")), QStringLiteral("宮西町"));
}

TEST_F(Helper, PostalLookupGivesEveryTownOfACodeTheLastAsBefore)
{
    initDatabase();
    TSQLiteDo helper;
    helper.setDBpoint(kDatabaseName);
    EXPECT_FALSE(helper.postalListLoaded());
    const auto add = [&](const char* code, const char* pref, const char* city, const char* town) {
        helper.exec_sql(QStringLiteral("insert into m_postal (postal_code2, prefecture2, city2, town2) values "
                                       "('%1','%2','%3','%4')")
                            .arg(QString::fromUtf8(code), QString::fromUtf8(pref), QString::fromUtf8(city),
                                 QString::fromUtf8(town)));
    };
    add("0110951", "秋田県", "秋田市", "土崎港相染町");
    add("0110951", "秋田県", "秋田市", "土崎港古川町（大柳）");
    add("0110951", "秋田県", "秋田市", "土崎港相染町");
    add("0110951", "秋田県", "秋田市", "寺内（蛭根）");
    add("1830000", "東京都", "府中市", "以下に掲載がない場合");
    add("3998101", "長野県", "安曇野市", "豊科（５００～５１０番地");
    add("3998101", "長野県", "安曇野市", "、６００番地）");
    EXPECT_TRUE(helper.postalListLoaded());

    using A = postal::PostalAddress;
    const QList<A> shared = helper.postalAddresses(QStringLiteral("0110951"));
    EXPECT_EQ(shared,
              QList<A>({{"秋田県", "秋田市", "土崎港古川町"},
                        {"秋田県", "秋田市", "土崎港相染町"},
                        {"秋田県", "秋田市", "寺内"}}));
    QString pref, city, town;
    helper.postal2address(QStringLiteral("0110951"), pref, city, town);
    EXPECT_EQ(town, QStringLiteral("寺内")); // the last row, as ever

    EXPECT_EQ(helper.postalAddresses(QStringLiteral("1830000")), QList<A>({{"東京都", "府中市", ""}}));
    EXPECT_EQ(helper.postalAddresses(QStringLiteral("3998101")), QList<A>({{"長野県", "安曇野市", "豊科"}}));
    EXPECT_TRUE(helper.postalAddresses(QStringLiteral("1839999")).isEmpty());
}
