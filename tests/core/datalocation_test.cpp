// Where the database lies, and what --database accepts.

#include "data/datalocation.h"
#include "data/errors.h"
#include "data/sqlitedo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tessolo;

namespace {

class DatabaseLocation : public ::testing::Test {
protected:
    void SetUp() override { tessolo::location::useDefaults(); }
    void TearDown() override { tessolo::location::useDefaults(); }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = tmp.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    static QString refusal(const QString& path)
    {
        try {
            location::useDatabaseFile(path);
        } catch (const TessoloError& e) {
            return e.message();
        }
        return QString();
    }

    QTemporaryDir tmp;
};

TEST_F(DatabaseLocation, AFileThatIsNotADatabaseIsRefusedAndLeftAsItWas)
{
    const QByteArray text("name,tel\r\n山田,03-1234-5678\r\n");
    const QString path = write(QStringLiteral("customers.csv"), text);
    EXPECT_EQ(refusal(path),
              QStringLiteral("データベースとして開けません: %1\nSQLite のデータベースのファイルではありません。")
                  .arg(QDir::toNativeSeparators(path)));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), text);
    EXPECT_TRUE(location::isDefaultDatabase());
    EXPECT_EQ(location::databaseFile(), location::defaultDirectory() + QStringLiteral("/tessolo.db"));

    EXPECT_EQ(
        refusal(tmp.path()),
        QStringLiteral("データベースとして開けません: %1\nフォルダーです。データベースのファイルを指定してください。")
            .arg(QDir::toNativeSeparators(tmp.path())));
    const QString missing = tmp.filePath(QStringLiteral("ない/tessolo.db"));
    EXPECT_EQ(refusal(missing),
              QStringLiteral("データベースのフォルダーがありません: %1")
                  .arg(QDir::toNativeSeparators(tmp.filePath(QStringLiteral("ない")))));
    EXPECT_TRUE(location::isDefaultDatabase());
}

TEST_F(DatabaseLocation, AChosenFileIsWhatEveryHelperOpens)
{
    tessolo::location::setDataDirectory(tmp.filePath(QStringLiteral("default")));
    const QString copy = tmp.filePath(QStringLiteral("コピー.db"));
    EXPECT_EQ(refusal(copy), QString()); // a new file is created by the first open
    EXPECT_FALSE(location::isDefaultDatabase());
    TSQLiteDo db;
    db.initDB(kDatabaseName);
    EXPECT_EQ(db.DBFile, QDir::toNativeSeparators(copy));
    db.getDBpoint(kDatabaseName);
    EXPECT_EQ(db.query(QStringLiteral("select name from sqlite_master where type = 'table'"))->Count(), 3u);
    db.closeDBpoint();
    EXPECT_FALSE(QDir(tmp.filePath(QStringLiteral("default"))).exists());
    // A database made elsewhere is taken as it is.
    tessolo::location::useDefaults();
    EXPECT_EQ(refusal(copy), QString());
}

TEST_F(DatabaseLocation, ACopyThatMayWriteBesideItselfKeepsItsDatabaseThere)
{
    // The test program runs from the build tree: no share/tessolo above it.
    ASSERT_FALSE(location::isInstalled());
    EXPECT_EQ(location::defaultDirectory(), location::executableDirectory());
    EXPECT_TRUE(location::userDataDirectory().endsWith(QStringLiteral("/Tessolo")));
}

} // namespace
