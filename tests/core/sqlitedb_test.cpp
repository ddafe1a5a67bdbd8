// The SQLite access layer: its messages are shown to the user word for word,
// so every text is compared whole, carriage returns included.

#include "coretest.h"

#include "text/cp932.h"
#include "data/sqlitedb.h"
#include "data/transaction.h"

#include <QFile>
#include <sqlite3.h>

#include <chrono>
#include <thread>

using namespace tessolo;

namespace {

// The message of the ESQLiteException `f` raises ("" when it raises none).
template <typename F> QString messageOf(F&& f)
{
    try {
        f();
    } catch (const ESQLiteException& e) {
        return e.message();
    }
    return QString();
}

class SQLiteLayer : public coretest::DbDirTest {
protected:
    QString path() const { return dir() + QStringLiteral("/layer.db"); }
};

} // namespace

TEST(ErrorCodeText, GivesTheFixedDescriptionOfEveryPrimaryCode)
{
    const std::pair<int, const char*> table[] = {
        {0, "Successful result"},
        {1, "SQL error or missing database"},
        {2, "An internal logic error in SQLite"},
        {3, "Access permission denied"},
        {4, "Callback routine requested an abort"},
        {5, "The database file is locked"},
        {6, "A table in the database is locked"},
        {7, "A malloc() failed"},
        {8, "Attempt to write a readonly database"},
        {9, "Operation terminated by sqlite3_interrupt()"},
        {10, "Some kind of disk I/O error occurred"},
        {11, "The database disk image is malformed"},
        {12, "(Internal Only) Table or record not found"},
        {13, "Insertion failed because database is full"},
        {14, "Unable to open the database file"},
        {15, "Database lock protocol error"},
        {16, "Database is empty"},
        {17, "The database schema changed"},
        {18, "Too much data for one row of a table"},
        {19, "Abort due to contraint violation"},
        {20, "Data type mismatch"},
        {21, "Library used incorrectly"},
        {22, "Uses OS features not supported on host"},
        {23, "Authorization denied"},
        {24, "Auxiliary database format error"},
        {25, "2nd parameter to sqlite3_bind out of range"},
        {26, "File opened that is not a database file"},
        {100, "sqlite3_step() has another row ready"},
        {101, "sqlite3_step() has finished executing"},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(ErrorCodeText(code), QString::fromLatin1(text)) << code;
    EXPECT_EQ(ErrorCodeText(42), QStringLiteral("Unknown SQLite Error Code \"42\""));
    EXPECT_EQ(ErrorCodeText(27), QStringLiteral("Unknown SQLite Error Code \"27\""));
    EXPECT_EQ(ErrorCodeText(-1), QStringLiteral("Unknown SQLite Error Code \"-1\""));
    // Extended codes are not primary codes.
    EXPECT_EQ(ErrorCodeText(261), QStringLiteral("Unknown SQLite Error Code \"261\""));
}

TEST_F(SQLiteLayer, OpeningInADirectoryThatDoesNotExistNamesThePathAndSQLitesReason)
{
    const QString missing = dir() + QStringLiteral("/nowhere/layer.db");
    EXPECT_EQ(messageOf([&] { TSQLiteDatabase db(missing); }),
              QStringLiteral("Failed to open database \"%1\" : unable to open database file").arg(missing));
    EXPECT_FALSE(QFile::exists(missing));
}

TEST_F(SQLiteLayer, AFileThatIsNotADatabaseFailsAtItsFirstStatementAndIsLeftAlone)
{
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QByteArray junk = QByteArray("this is a memo, not a database\r\n").repeated(200);
    f.write(junk);
    f.close();

    TSQLiteDatabase db(path()); // SQLite reads nothing on open
    const QByteArray sql = "select * from t_customer";
    EXPECT_EQ(messageOf([&] { db.GetTable(sql); }),
              QStringLiteral("Error executing SQL.\rError [26]: File opened that is not a database file.\r"
                             "\"select * from t_customer\": file is not a database"));
    EXPECT_EQ(messageOf([&] { db.ExecSQL("create table x (a)"); }),
              QStringLiteral("Error executing SQL.\rError [26]: File opened that is not a database file.\r"
                             "\"create table x (a)\": file is not a database"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), junk);
}

TEST_F(SQLiteLayer, ALockHeldForAMomentIsWaitedOutALongOneStillFails)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table t (a Text)");
    // Another copy of the program holds the write lock for `ms`.
    auto holdLock = [this](int ms) {
        sqlite3* other = nullptr;
        sqlite3_open(path().toUtf8().constData(), &other);
        EXPECT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        return std::thread([other, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(other);
        });
    };
    std::thread brief = holdLock(300);
    EXPECT_EQ(messageOf([&] { db.ExecSQL("insert into t values ('saved')"); }), QString());
    brief.join();
    EXPECT_EQ(db.GetTable("select a from t")->Count(), 1u);

    std::thread longer = holdLock(3500); // well past the two seconds a statement waits
    EXPECT_TRUE(
        messageOf([&] { db.ExecSQL("insert into t values ('late')"); }).contains(QStringLiteral("database is locked")));
    longer.join();
}

TEST_F(SQLiteLayer, ExecSQLRunsOnlyTheFirstOfTwoStatements)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table t (a Text)");
    db.ExecSQL("insert into t values ('one'); insert into t values ('two')");
    auto table = db.GetTable("select a from t");
    ASSERT_EQ(table->Count(), 1u);
    EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("a")), QStringLiteral("one"));
}

TEST_F(SQLiteLayer, ExecSQLOfAQueryThatReturnsARowFails)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table t (a Text)");
    db.ExecSQL("insert into t values ('x')");
    const QString message = messageOf([&] { db.ExecSQL("select a from t"); });
    // The step answers "row ready", which is not "done"; after the reset
    // SQLite reports no error, so the operation text stands alone.
    EXPECT_EQ(message, QStringLiteral("Error executing SQL statement"));
    // A query without rows is done at once and passes.
    EXPECT_EQ(messageOf([&] { db.ExecSQL("select a from t where 0"); }), QString());
}

TEST_F(SQLiteLayer, ASyntaxErrorCarriesCodeDescriptionStatementAndSQLitesMessage)
{
    TSQLiteDatabase db(path());
    EXPECT_EQ(messageOf([&] { db.ExecSQL("selec 1"); }),
              QStringLiteral("Error executing SQL.\rError [1]: SQL error or missing database.\r"
                             "\"selec 1\": near \"selec\": syntax error"));
    EXPECT_EQ(messageOf([&] { db.GetTable("select * from nosuch"); }),
              QStringLiteral("Error executing SQL.\rError [1]: SQL error or missing database.\r"
                             "\"select * from nosuch\": no such table: nosuch"));
    // The connection stays usable after a failure.
    db.ExecSQL("create table t (a)");
    EXPECT_TRUE(db.TableExists(QStringLiteral("t")));
}

TEST_F(SQLiteLayer, AMessageAboutAJapaneseNameShowsTheNameReadably)
{
    // SQLite quotes the statement's own bytes (code page 932) in its message;
    // read as UTF-8 they would turn into replacement characters.
    TSQLiteDatabase db(path());
    const QByteArray sql = cp932::encode(u"insert into 顧客 values ('髙橋')");
    EXPECT_EQ(messageOf([&] { db.ExecSQL(sql); }),
              QStringLiteral("Error executing SQL.\rError [1]: SQL error or missing database.\r"
                             "\"insert into 顧客 values ('髙橋')\": no such table: 顧客"));
}

TEST_F(SQLiteLayer, AnEmptyStatementCannotBePrepared)
{
    TSQLiteDatabase db(path());
    EXPECT_EQ(messageOf([&] { db.ExecSQL(""); }), QStringLiteral("Could not prepare SQL statement"));
    EXPECT_EQ(messageOf([&] { db.ExecSQL("  -- only a comment"); }), QStringLiteral("Could not prepare SQL statement"));
    EXPECT_EQ(messageOf([&] { db.GetTable(" "); }), QStringLiteral("Could not prepare SQL statement"));
}

TEST_F(SQLiteLayer, AQueryWithoutRowsHasNoColumnsAndSaysSoWithTheNameAsWritten)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table t (prefecture2 Text)");
    auto table = db.GetTable("select * from t");
    EXPECT_EQ(table->Count(), 0u);
    EXPECT_EQ(table->ColCount(), 0u);
    EXPECT_FALSE(table->MoveFirst());
    EXPECT_TRUE(table->Eof());
    EXPECT_FALSE(table->Next());
    EXPECT_EQ(messageOf([&] { table->NamedFieldAsString(QStringLiteral("PreFecture2")); }),
              QStringLiteral("Field PreFecture2 Not found. Empty dataset"));
}

TEST_F(SQLiteLayer, ColumnsAreFoundWhateverTheirLetterCaseAndUnknownOnesAreNamed)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table m (prefecture2 Text, city2 Text)");
    db.ExecSQL(cp932::encode(u"insert into m values ('東京都', '千代田区')"));
    auto table = db.GetTable(cp932::encode(u"select prefecture2, city2, '値' as 列名 from m"));
    ASSERT_TRUE(table->MoveFirst());
    EXPECT_EQ(table->Columns(),
              QStringList({QStringLiteral("PREFECTURE2"), QStringLiteral("CITY2"), QStringLiteral("列名")}));
    EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("PREFECTURE2")), QStringLiteral("東京都"));
    EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("City2")), QStringLiteral("千代田区"));
    EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("列名")), QStringLiteral("値"));
    EXPECT_EQ(messageOf([&] { table->NamedFieldAsString(QStringLiteral("town2")); }),
              QStringLiteral("Field not found in dataset: town2"));
    ASSERT_TRUE(table->Next());
    EXPECT_TRUE(table->Eof());
    EXPECT_FALSE(table->Next());
    EXPECT_EQ(table->Row(), 1u);
    EXPECT_EQ(messageOf([&] { table->NamedFieldAsString(QStringLiteral("city2")); }),
              QStringLiteral("Table is at End of File"));
}

TEST_F(SQLiteLayer, RowidAndAllColumnsReadAsTextByTheirTypes)
{
    TSQLiteDatabase db(path());
    // SQLite (3.37 on) hands back the standard names INT, INTEGER, REAL, TEXT
    // and BLOB in capitals whatever their declared case; other names stay as
    // written, and those are compared with their case.
    db.ExecSQL("create table t (name Text, code Varchar(7), qty INTEGER, n numeric, price REAL, flag BOOLEAN, "
               "raw BLOB)");
    db.ExecSQL("insert into t values ('a', '0123', 42, 7, 2.5, 1, x'4142')");
    db.ExecSQL("insert into t values (NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    db.ExecSQL("insert into t values ('c', 99, '17', '0012', 3, 0, x'')");
    auto table = db.GetTable("select rowid, * from t order by rowid");
    ASSERT_EQ(table->Count(), 3u);
    ASSERT_EQ(table->ColCount(), 8u);
    EXPECT_EQ(table->ColumnTypeAt(0), ColumnType::Integer); // rowid takes its first value's class
    EXPECT_EQ(table->ColumnTypeAt(1), ColumnType::Text);
    EXPECT_EQ(table->ColumnTypeAt(2), ColumnType::Text);    // Varchar(7)
    EXPECT_EQ(table->ColumnTypeAt(3), ColumnType::Integer); // INTEGER
    EXPECT_EQ(table->ColumnTypeAt(4), ColumnType::Text);    // lower-case numeric is compared exactly
    EXPECT_EQ(table->ColumnTypeAt(5), ColumnType::Float);
    EXPECT_EQ(table->ColumnTypeAt(6), ColumnType::Integer); // BOOLEAN
    EXPECT_EQ(table->ColumnTypeAt(7), ColumnType::Blob);

    const char* cols[] = {"rowid", "name", "code", "qty", "n", "price", "flag", "raw"};
    auto row = [&] {
        QStringList out;
        for (const char* c : cols)
            out << table->NamedFieldAsString(QString::fromLatin1(c));
        return out;
    };
    ASSERT_TRUE(table->MoveFirst());
    EXPECT_EQ(row(), QStringList({"1", "a", "0123", "42", "7", "2.5", "1", "AB"}));
    table->Next();
    // NULL: text reads empty, numbers read 0.
    EXPECT_EQ(row(), QStringList({"2", "", "", "0", "", "0", "0", ""}));
    table->Next();
    // Numeric affinity stores '0012' as 12; an INTEGER column converts '17'.
    EXPECT_EQ(row(), QStringList({"3", "c", "99", "17", "12", "3", "0", ""}));
}

TEST_F(SQLiteLayer, EachTextCellDecodesOnItsOwnWhateverItsNeighbours)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table t (a Text, b Text, n INTEGER, c Text, d Text)");
    // A lone lead byte ends the first cell; a bad byte starts the last one.
    db.ExecSQL("insert into t values (x'8e8181', '" + cp932::encode(u"髙橋") + "', 5, NULL, x'fd41')");
    auto table = db.GetTable("select * from t");
    ASSERT_TRUE(table->MoveFirst());
    EXPECT_EQ(table->NamedFieldAsString("a"), QStringLiteral("\u6C0F\uFFFD")); // 氏 then the cut-off lead
    EXPECT_EQ(table->NamedFieldAsString("b"), QStringLiteral("髙橋"));
    EXPECT_EQ(table->NamedFieldAsString("n"), QStringLiteral("5"));
    EXPECT_EQ(table->NamedFieldAsString("c"), QString());
    EXPECT_EQ(table->NamedFieldAsString("d"), QStringLiteral("\uFFFDA"));
}

TEST_F(SQLiteLayer, ExpressionColumnsTakeTheStorageClassOfTheFirstRow)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table t (v)");
    db.ExecSQL("insert into t values (5)");
    db.ExecSQL("insert into t values ('text')");
    db.ExecSQL("insert into t values (2.75)");
    auto table = db.GetTable("select v, v || '' as s, null as z, count(*) over () as c from t order by rowid");
    ASSERT_EQ(table->Count(), 3u);
    EXPECT_EQ(table->ColumnTypeAt(0), ColumnType::Integer);
    EXPECT_EQ(table->ColumnTypeAt(1), ColumnType::Text);
    EXPECT_EQ(table->ColumnTypeAt(2), ColumnType::Null);
    EXPECT_EQ(table->ColumnTypeAt(3), ColumnType::Integer);
    QStringList v, s;
    for (table->MoveFirst(); !table->Eof(); table->Next()) {
        v << table->NamedFieldAsString(QStringLiteral("v"));
        s << table->NamedFieldAsString(QStringLiteral("s"));
        EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("z")), QString());
        EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("c")), QStringLiteral("3"));
    }
    // Later rows are read in the first row's type with SQLite's conversions.
    EXPECT_EQ(v, QStringList({"5", "0", "2"}));
    EXPECT_EQ(s, QStringList({"5", "text", "2.75"}));

    auto floats = db.GetTable("select v * 1.0 as f from t where typeof(v) <> 'text' order by rowid");
    EXPECT_EQ(floats->ColumnTypeAt(0), ColumnType::Float);
    floats->MoveFirst();
    EXPECT_EQ(floats->NamedFieldAsString(QStringLiteral("f")), QStringLiteral("5"));
    floats->Next();
    EXPECT_EQ(floats->NamedFieldAsString(QStringLiteral("f")), QStringLiteral("2.75"));
}

TEST_F(SQLiteLayer, TableExistsIgnoresLetterCase)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table M_POSTAL (a)");
    EXPECT_TRUE(db.TableExists(QStringLiteral("m_postal")));
    EXPECT_TRUE(db.TableExists(QStringLiteral("M_Postal")));
    EXPECT_FALSE(db.TableExists(QStringLiteral("t_customer")));
    // A name with a quote is a name, not a piece of the query.
    EXPECT_FALSE(db.TableExists(QStringLiteral("x' or '1'='1")));
    db.ExecSQL("create view v as select 1");
    EXPECT_FALSE(db.TableExists(QStringLiteral("v")));
}

TEST_F(SQLiteLayer, BeginningATransactionTwiceFailsAndKeepsTheFirstOpen)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table t (a)");
    db.BeginTransaction();
    db.ExecSQL("insert into t values (1)");
    EXPECT_EQ(messageOf([&] { db.BeginTransaction(); }), QStringLiteral("Transaction already open"));
    EXPECT_TRUE(db.IsTransactionOpen());
    EXPECT_EQ(sqlite3_get_autocommit(db.handle()), 0);
    db.Commit();
    EXPECT_FALSE(db.IsTransactionOpen());
    EXPECT_NE(sqlite3_get_autocommit(db.handle()), 0);
    coretest::RawDb raw(path());
    EXPECT_EQ(raw.count("t"), 1);
}

TEST_F(SQLiteLayer, ReleasingAConnectionWithAnOpenTransactionRollsItBack)
{
    {
        TSQLiteDatabase db(path());
        db.ExecSQL("create table t (a)");
        db.ExecSQL("insert into t values ('kept')");
        db.BeginTransaction();
        db.ExecSQL("insert into t values ('lost')");
    }
    coretest::RawDb raw(path());
    EXPECT_EQ(raw.count("t"), 1);
    EXPECT_EQ(raw.scalar("select a from t"), "kept");
}

TEST_F(SQLiteLayer, RollbackUndoesAndClearsTheFlag)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table t (a)");
    db.BeginTransaction();
    db.ExecSQL("insert into t values (1)");
    db.Rollback();
    EXPECT_FALSE(db.IsTransactionOpen());
    EXPECT_EQ(db.GetTable("select * from t")->Count(), 0u);
    // Without a transaction, COMMIT fails with SQLite's own words.
    EXPECT_EQ(messageOf([&] { db.Commit(); }),
              QStringLiteral("Error executing SQL statement.\rError [1]: SQL error or missing database.\r"
                             "\"COMMIT\": cannot commit - no transaction is active"));
}

TEST_F(SQLiteLayer, ACommitThatFailsKeepsTheTransactionOpenUntilRelease)
{
    {
        TSQLiteDatabase setup(path());
        setup.ExecSQL("create table t (a)");
        setup.ExecSQL("insert into t values ('old')");
    }
    coretest::RawDb reader(path());
    {
        TSQLiteDatabase db(path());
        db.BeginTransaction();
        db.ExecSQL("insert into t values ('new')");

        // Another process is in the middle of reading: it holds a shared lock,
        // so the commit cannot take the exclusive lock it needs.
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(reader.get(), "select a from t", -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);

        EXPECT_EQ(messageOf([&] { db.Commit(); }),
                  UserAdvice(SQLITE_BUSY) +
                      QStringLiteral("\n\nError executing SQL statement.\rError [5]: The database file is locked.\r"
                                     "\"COMMIT\": database is locked"));
        EXPECT_TRUE(db.IsTransactionOpen());
        EXPECT_EQ(sqlite3_get_autocommit(db.handle()), 0);
        sqlite3_finalize(st);
    } // release rolls back
    EXPECT_EQ(reader.count("t"), 1);
    EXPECT_EQ(reader.scalar("select group_concat(a) from t"), "old");
}

TEST_F(SQLiteLayer, ALockHeldByAnotherConnectionFailsAtOnce)
{
    {
        TSQLiteDatabase setup(path());
        setup.ExecSQL("create table t (a)");
    }
    TSQLiteDatabase db(path());
    EXPECT_EQ(db.GetTable("select * from t")->Count(), 0u); // schema read before the lock
    coretest::RawDb other(path());
    other.exec("BEGIN EXCLUSIVE");
    EXPECT_EQ(messageOf([&] { db.ExecSQL("insert into t values (1)"); }),
              UserAdvice(SQLITE_BUSY) +
                  QStringLiteral("\n\nError executing SQL statement.\rError [5]: The database file is locked.\r"
                                 "\"insert into t values (1)\": database is locked"));
    // A query meeting the lock while it steps.
    EXPECT_EQ(messageOf([&] { db.GetTable("select * from t"); }), QStringLiteral("Could not prepare SQL statement"));
    // A connection that has not read the schema yet meets it while compiling.
    TSQLiteDatabase late(path());
    EXPECT_EQ(messageOf([&] { late.GetTable("select * from t"); }),
              UserAdvice(SQLITE_BUSY) +
                  QStringLiteral("\n\nError executing SQL.\rError [5]: The database file is locked.\r"
                                 "\"select * from t\": database is locked"));
    other.exec("ROLLBACK");
    EXPECT_EQ(db.GetTable("select * from t")->Count(), 0u);
    EXPECT_EQ(late.GetTable("select * from t")->Count(), 0u);
}

TEST_F(SQLiteLayer, ATransactionLeftByAnExceptionRollsBackAndOneCommittedStays)
{
    TSQLiteDatabase db(path());
    db.ExecSQL("create table t (v text)");
    const auto count = [&db] {
        return db.GetTable("select count(*) as n from t")->NamedFieldAsString(QStringLiteral("n")).toInt();
    };
    try {
        TTransaction transaction(db);
        db.ExecSQL("insert into t values ('a')");
        db.ExecSQL("insert into no_such_table values ('b')");
        transaction.commit();
    } catch (const ESQLiteException&) { }
    EXPECT_EQ(count(), 0);
    EXPECT_FALSE(db.IsTransactionOpen());
    {
        TTransaction transaction(db);
        db.ExecSQL("insert into t values ('c')");
        transaction.commit();
    }
    EXPECT_EQ(count(), 1);
    // A scope left early without commit, no exception: rolled back too.
    {
        TTransaction transaction(db);
        db.ExecSQL("insert into t values ('d')");
    }
    EXPECT_EQ(count(), 1);
}
