// Copies of the database: which copies the rotation keeps, that a damaged
// copy or a file of another program is refused with the data unchanged, and
// that another program's write is waited for and then reported, never copied
// half-way.

#include "coretest.h"

#include "data/backup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

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

    template <typename F>
    static QString refusal(F&& f)
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
    for (const char* s : {"20261201-090000", "20261201-180000", "20261202-090000", "20261203-090000",
                          "20261204-090000", "20261205-090000", "20261205-093000-2", "20261206-090000",
                          "20261207-090000", "20261208-090000", "20261209-080000", "20261209-083000"})
        all << name(s);
    // One on the 15th of each month from January 2025 to November 2026.
    for (QDate d(2025, 1, 15); d < QDate(2026, 12, 1); d = d.addMonths(1))
        all << name(qPrintable(d.toString(QStringLiteral("yyyyMMdd-120000"))));
    // And a second one in some months, older or newer than the 15th.
    for (const char* s : {"20261130-120000", "20260601-120000", "20260301-120000", "20251228-120000", "20250601-120000"})
        all << name(s);
    ASSERT_EQ(all.size(), 40);
    for (const QString& n : all)
        QFile(QDir(folder()).filePath(n)).open(QIODevice::WriteOnly);
    // Files that are not copies are never touched.
    for (const char* other : {"notes.txt", "tessolo-2020.db", "tessolo.db"})
        QFile(QDir(folder()).filePath(QLatin1String(other))).open(QIODevice::WriteOnly);

    bk::rotate(folder(), QDate(2026, 12, 9));

    QStringList expected;
    for (const char* s : {"20260115-120000", "20260215-120000", "20260315-120000", "20260415-120000",
                          "20260515-120000", "20260615-120000", "20260715-120000", "20260815-120000",
                          "20260915-120000", "20261015-120000", "20261130-120000", "20261202-090000",
                          "20261203-090000", "20261204-090000", "20261205-090000", "20261205-093000-2",
                          "20261206-090000", "20261207-090000", "20261208-090000", "20261209-080000",
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

} // namespace
