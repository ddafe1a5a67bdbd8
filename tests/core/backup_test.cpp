// Copies of the database: which copies the rotation keeps, that a damaged
// copy or a file of another program is refused with the data unchanged, and
// that another program's write is waited for and then reported, never copied
// half-way.

#include "coretest.h"

#include "data/backup.h"
#include "data/sqlitedb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

using namespace tessolo;
namespace bk = tessolo::backup;

namespace {

class BackupTest : public coretest::DbDirTest {
protected:
    void SetUp() override
    {
        DbDirTest::SetUp();
        initDatabase();
        coretest::RawDb db(dbPath());
        db.exec("insert into t_customer (person_name) values ('a'), ('b'), ('c')");
    }
    QString folder() const { return bk::folderOf(dbPath()); }
    QStringList names() const
    {
        QStringList n = QDir(folder()).entryList(QDir::Files);
        n.sort();
        return n;
    }
    qint64 customers() { return coretest::RawDb(dbPath()).count("t_customer"); }

    template <typename F> static QString refusal(F&& f)
    {
        try {
            f();
        } catch (const bk::EBackupError& e) {
            return e.message();
        }
        return QString();
    }
};

QString name(const char* stamp) { return QStringLiteral("tessolo-%1.db").arg(QLatin1String(stamp)); }

TEST_F(BackupTest, RotationKeepsTheLastTenAndTheNewestOfEachOfTwelveMonths)
{
    QDir().mkpath(folder());
    QStringList all;
    // Twelve copies this month, several a day.
    for (const char* s : {"20261201-090000", "20261201-180000", "20261202-090000", "20261203-090000", "20261204-090000",
                          "20261205-090000", "20261205-093000-2", "20261206-090000", "20261207-090000",
                          "20261208-090000", "20261209-080000", "20261209-083000"})
        all << name(s);
    // One on the 15th of each month from January 2025 to November 2026.
    for (QDate d(2025, 1, 15); d < QDate(2026, 12, 1); d = d.addMonths(1))
        all << name(qPrintable(d.toString(QStringLiteral("yyyyMMdd-120000"))));
    // And a second one in some months, older or newer than the 15th.
    for (const char* s :
         {"20261130-120000", "20260601-120000", "20260301-120000", "20251228-120000", "20250601-120000"})
        all << name(s);
    ASSERT_EQ(all.size(), 40);
    for (const QString& n : all)
        QFile(QDir(folder()).filePath(n)).open(QIODevice::WriteOnly);
    // Files that are not copies are never touched.
    for (const char* other : {"notes.txt", "tessolo-2020.db", "tessolo.db"})
        QFile(QDir(folder()).filePath(QLatin1String(other))).open(QIODevice::WriteOnly);

    bk::rotate(folder(), QDate(2026, 12, 9));

    QStringList expected;
    for (const char* s :
         {"20260115-120000",   "20260215-120000", "20260315-120000", "20260415-120000", "20260515-120000",
          "20260615-120000",   "20260715-120000", "20260815-120000", "20260915-120000", "20261015-120000",
          "20261130-120000",   "20261202-090000", "20261203-090000", "20261204-090000", "20261205-090000",
          "20261205-093000-2", "20261206-090000", "20261207-090000", "20261208-090000", "20261209-080000",
          "20261209-083000"})
        expected << name(s);
    expected << QStringLiteral("notes.txt") << QStringLiteral("tessolo-2020.db") << QStringLiteral("tessolo.db");
    expected.sort();
    EXPECT_EQ(names(), expected);
}

TEST_F(BackupTest, CopyIsWholeListedNewestFirstAndRestores)
{
    const QString first = bk::makeCopy(dbPath(), QDateTime(QDate(2026, 12, 9), QTime(21, 30, 5)));
    EXPECT_EQ(QFileInfo(first).fileName(), QStringLiteral("tessolo-20261209-213005.db"));
    coretest::RawDb(dbPath()).exec("delete from t_customer where person_name <> 'a'");
    const QString second = bk::makeCopy(dbPath(), QDateTime(QDate(2026, 12, 9), QTime(21, 30, 5)));
    EXPECT_EQ(QFileInfo(second).fileName(), QStringLiteral("tessolo-20261209-213005-2.db"));
    EXPECT_EQ(names(), QStringList({QFileInfo(second).fileName(), QFileInfo(first).fileName()})); // sorted

    const QList<bk::CopyInfo> copies = bk::listCopies(dbPath());
    ASSERT_EQ(copies.size(), 2);
    EXPECT_EQ(copies[0].path, second);
    EXPECT_EQ(copies[0].customers, 1);
    EXPECT_EQ(copies[1].customers, 3);
    EXPECT_TRUE(copies[1].usable()) << copies[1].problem.toStdString();
    EXPECT_EQ(copies[1].size, QFileInfo(first).size());
    EXPECT_TRUE(bk::hasCopyFrom(dbPath(), QDate(2026, 12, 9)));
    EXPECT_FALSE(bk::hasCopyFrom(dbPath(), QDate(2026, 12, 10)));

    bk::restore(first, dbPath());
    EXPECT_EQ(customers(), 3);
}

TEST_F(BackupTest, DamagedCopyIsRefusedAndTheDataStays)
{
    const QString copy = bk::makeCopy(dbPath(), QDateTime(QDate(2026, 12, 1), QTime(9, 0)));
    // A copy cut short, as a disk that filled up would leave it.
    {
        coretest::RawDb db(copy);
        db.exec("insert into t_customer (memo) select hex(randomblob(2000)) from t_customer, t_customer, t_customer");
    }
    QFile f(copy);
    ASSERT_TRUE(f.resize(f.size() / 2));
    coretest::RawDb(dbPath()).exec("insert into t_customer (person_name) values ('d')");

    const bk::CopyInfo info = bk::inspect(copy);
    EXPECT_FALSE(info.usable());
    const QString message = refusal([&] { bk::restore(copy, dbPath()); });
    EXPECT_TRUE(message.contains(QStringLiteral("壊れています")) || message.contains(QStringLiteral("読めません")))
        << message.toStdString();
    EXPECT_EQ(customers(), 4);
}

TEST_F(BackupTest, FileOfAnotherProgramIsRefusedAndTheDataStays)
{
    const QString text = dir() + QStringLiteral("/notes.db");
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("顧客一覧\r\n山田,太郎\r\n");
    f.close();
    EXPECT_TRUE(refusal([&] { bk::restore(text, dbPath()); }).contains(QStringLiteral("データベースとして読めません")));

    const QString other = dir() + QStringLiteral("/other.db");
    {
        coretest::RawDb db(other);
        db.exec("create table t_customer (person_name text, person_kana text)");
        db.exec("create table m_postal (gov_code text)");
    }
    EXPECT_EQ(refusal([&] { bk::restore(other, dbPath()); }),
              QStringLiteral("「%1」は Tessolo のデータではありません（t_customer 表に company_name 列がありません）。")
                  .arg(other));
    EXPECT_EQ(customers(), 3);
}

TEST_F(BackupTest, AnotherProgramsWriteIsWaitedForThenReported)
{
    const QString copy = bk::makeCopy(dbPath(), QDateTime(QDate(2026, 12, 1), QTime(9, 0)));
    coretest::RawDb writer(dbPath());
    writer.exec("begin exclusive; insert into t_customer (person_name) values ('half')");
    const QString target = dir() + QStringLiteral("/copy.db");
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(refusal([&] { bk::copyDatabase(dbPath(), target, 300); }).contains(QStringLiteral("書き込み中")));
    EXPECT_GE(t.elapsed(), 300);
    EXPECT_TRUE(QDir(dir()).entryList({QStringLiteral("copy.db*")}, QDir::Files).isEmpty());

    EXPECT_TRUE(refusal([&] { bk::restore(copy, dbPath(), 300); }).contains(QStringLiteral("使用中")));
    writer.exec("rollback");
    EXPECT_EQ(customers(), 3);
}

// A file brought from elsewhere carries rows only: whatever else it holds
// never reaches the live file, and what cannot be read as this program's
// tables is refused without touching it.
TEST_F(BackupTest, HostileFileGivesOnlyTheThreeTablesOrARefusal)
{
    const QString hostile = dir() + QStringLiteral("/hostile.db");
    {
        coretest::RawDb db(hostile);
        db.exec("pragma journal_mode = wal");
        TSQLiteDatabase schema(hostile);
        TSQLiteDo::createMissingTables(schema);
        db.exec("insert into t_customer (person_name, email1) values ('x', 'x@example.jp'), ('y', '')");
        db.exec("create trigger keep before delete on t_customer begin select raise(ignore); end");
        db.exec("create trigger mail after insert on t_customer begin "
                "update t_customer set email1 = 'evil@example.com' where rowid = new.rowid; end");
        db.exec("create table extra (a); create index by_name on t_customer (person_name)");
        db.exec("create view v as select * from t_customer");
    }
    // The file as handed over: a WAL file closed cleanly has no -wal beside it.
    const QStringList besideBefore = QDir(dir()).entryList({QStringLiteral("hostile.db*")}, QDir::Files);

    bk::restore(hostile, dbPath());

    coretest::RawDb live(dbPath());
    EXPECT_EQ(live.scalar("select group_concat(type || ':' || name, ' ') from "
                          "(select type, name from sqlite_master order by name)"),
              QByteArray("table:m_our_company table:m_postal index:m_postal_postal_code2 table:t_customer"));
    EXPECT_EQ(customers(), 2);
    // Deleting works and a new customer keeps its own address.
    live.exec("delete from t_customer where person_name = 'x'");
    live.exec("insert into t_customer (person_name, email1) values ('z', 'z@example.jp')");
    EXPECT_EQ(live.scalar("select group_concat(email1, ',') from t_customer where email1 <> ''"),
              QByteArray("z@example.jp"));
    EXPECT_EQ(live.scalar("pragma journal_mode"), QByteArray("delete"));
    EXPECT_EQ(QDir(dir()).entryList({QStringLiteral("hostile.db*")}, QDir::Files), besideBefore);
    // Nothing is left of the fresh file the rows went through.
    EXPECT_TRUE(QDir(folder()).entryList({QStringLiteral("tessolo-restore*")}, QDir::Files).isEmpty());
}

TEST_F(BackupTest, ViewsAndOtherEncodingsAreRefusedQuickly)
{
    struct Case {
        const char* file;
        const char* setup;
        const char* said;
    };
    const Case cases[] = {
        {"loop.db",
         "create view t_customer as with recursive n(i) as (select 1 union all select i + 1 from n) "
         "select i as person_name from n",
         "t_customer が表ではありません"},
        {"postalview.db", "drop table m_postal; create view m_postal as select * from t_customer",
         "m_postal が表ではありません"},
        {"utf16.db", nullptr, "UTF-8 ではありません"},
    };
    for (const Case& c : cases) {
        const QString path = dir() + QLatin1Char('/') + QLatin1String(c.file);
        {
            coretest::RawDb db(path);
            if (!c.setup)
                db.exec("pragma encoding = 'UTF-16le'");
            db.exec("create table m_our_company (co_name text)");
            if (c.setup && QByteArray(c.setup).startsWith("create view t_customer")) {
                db.exec(c.setup);
                db.exec("create table m_postal (x)");
            } else {
                TSQLiteDatabase schema(path);
                db.exec("drop table m_our_company");
                TSQLiteDo::createMissingTables(schema);
                if (c.setup)
                    db.exec(c.setup);
            }
        }
        QElapsedTimer t;
        t.start();
        const QString message = refusal([&] { bk::restore(path, dbPath()); });
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.said))) << c.file << ": " << message.toStdString();
        EXPECT_LT(t.elapsed(), 5000) << c.file;
        EXPECT_EQ(customers(), 3) << c.file;
    }
}

// A cancelled read ends the run with the data as it was.
TEST_F(BackupTest, RestoreCanBeCancelled)
{
    const QString copy = bk::makeCopy(dbPath(), QDateTime(QDate(2026, 12, 1), QTime(9, 0)));
    coretest::RawDb(dbPath()).exec("delete from t_customer");
    int calls = 0;
    EXPECT_THROW(bk::restore(copy, dbPath(), bk::kBusyWaitMs, [&](qint64, qint64) { return ++calls < 1; }), EAbort);
    EXPECT_GT(calls, 0);
    EXPECT_EQ(customers(), 0);
}

// The postal list goes into a copy only when it changed since the copy
// before; a copy without it keeps the live list when put back.
TEST_F(BackupTest, CopiesLeaveOutAnUnchangedPostalListAndRestoreKeepsTheLiveOne)
{
    {
        coretest::RawDb db(dbPath());
        db.exec("insert into m_postal (postal_code2, prefecture2) with recursive n(i) as (select 1 union all "
                "select i + 1 from n where i < 3000) select printf('%07d', i), '東京都' from n");
    }
    const QString first = bk::makeCopy(dbPath(), QDateTime(QDate(2026, 12, 1), QTime(9, 0)), bk::Reason::Start);
    coretest::RawDb(dbPath()).exec("insert into t_customer (person_name) values ('d')");
    const QString second = bk::makeCopy(dbPath(), QDateTime(QDate(2026, 12, 1), QTime(9, 5)), bk::Reason::BeforeImport);
    EXPECT_EQ(coretest::RawDb(first).count("m_postal"), 3000);
    EXPECT_EQ(coretest::RawDb(second).count("m_postal"), 0);
    EXPECT_LT(QFileInfo(second).size() * 4, QFileInfo(first).size());
    coretest::RawDb(dbPath()).exec("delete from m_postal where rowid > 1000");
    const QString third = bk::makeCopy(dbPath(), QDateTime(QDate(2026, 12, 1), QTime(9, 10)), bk::Reason::Manual);
    EXPECT_EQ(coretest::RawDb(third).count("m_postal"), 1000);

    const QList<bk::CopyInfo> copies = bk::listCopies(dbPath());
    ASSERT_EQ(copies.size(), 3);
    EXPECT_EQ(copies[0].reason, bk::Reason::Manual);
    EXPECT_EQ(copies[1].reason, bk::Reason::BeforeImport);
    EXPECT_EQ(bk::reasonText(copies[2].reason), QStringLiteral("起動時"));
    EXPECT_FALSE(copies[1].hasPostalList);

    bk::restore(second, dbPath());
    EXPECT_EQ(customers(), 4);
    EXPECT_EQ(coretest::RawDb(dbPath()).count("m_postal"), 1000);
}

TEST_F(BackupTest, TheDaysFirstCopyOutlivesTheRotation)
{
    QStringList names;
    names << name("20261209-070000-start");
    for (int i = 0; i < 15; ++i)
        names << name(qPrintable(QStringLiteral("20261209-%1-import").arg(100000 + i * 100)));
    const QStringList expired = bk::expiredCopies(names, QDate(2026, 12, 9));
    EXPECT_EQ(expired.size(), 5) << expired.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(expired.contains(name("20261209-070000-start")));
}

} // namespace
