// The exported file is read by spreadsheets and by our own import, so its
// bytes are compared whole; a failed write must leave the old file as it was.

#include "coretest.h"

#include "text/cp932.h"
#include "customer/customer.h"
#include "customer/customerexport.h"
#include "customer/kanafilter.h"

#include "tests/diskfull.h"

#include <QDir>
#include <QFile>

using namespace tessolo;
namespace ex = tessolo::customerexport;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The header line every export starts with, in code page 932.
QByteArray headerBytes()
{
    return cp932::encode(
        QStringLiteral("\"氏名\",\"氏名「カナ」\",\"会社名\",\"会社名「カナ」\",\"役職\",\"部署\",\"郵便番号\","
                       "\"都道府県\",\"市区町村\",\"住所\",\"ビルマンション名\",\"電話番号\",\"ＦＡＸ\","
                       "\"email1\",\"email2\",\"URL\",\"備考\"\r\n"));
}

class Export : public coretest::DbDirTest {
protected:
    void SetUp() override
    {
        coretest::DbDirTest::SetUp();
        initDatabase();
    }
    void add(std::initializer_list<QString> leading)
    {
        TSQLiteDo::execute(customer::insertSql(coretest::customerRecord(leading)));
    }
    QString file() const { return dir() + QStringLiteral("/out.csv"); }
};

} // namespace

TEST(ExportLine, QuotesEveryValueDoublesQuotesAndKeepsBreaksAsLineFeeds)
{
    EXPECT_EQ(ex::csvLine({QStringLiteral("a\"b"), QString(), QStringLiteral("x,y"), QStringLiteral("1\r\n2\r3\n4")}),
              QStringLiteral("\"a\"\"b\",\"\",\"x,y\",\"1\n2\n3\n4\"\r\n"));
}

TEST_F(Export, HostileValuesAreWrittenByteForByteInCodePage932)
{
    add({QStringLiteral("髙橋 \"一\""), QStringLiteral("タカハシ"), QStringLiteral("①商事, 本店"),
         QStringLiteral("</script><b>"), QString(), QString(), QStringLiteral("1000001"), QString(), QString(),
         QString(), QString(), QString(), QString(), QString(), QString(), QString(),
         QStringLiteral("一行目\r\n二行目\n\"三\"")});
    const ex::Result r = ex::write(file(), customer::kListSql, ex::Encoding::Cp932);
    EXPECT_EQ(r.customers, 1);
    EXPECT_EQ(r.substituted, 0);

    QByteArray expected = headerBytes();
    // 髙橋 "一" / タカハシ / ①商事, 本店 / </script><b> / … / 一行目 LF 二行目 LF ""三""; the
    // postal code with its hyphen, so that a spreadsheet keeps it as text.
    expected += QByteArray::fromHex("22 fb fc 8b b4 20 22 22 88 ea 22 22 22 2c 22 83 5e 83 4a 83 6e 83 56 22 2c"
                                    "22 87 40 8f a4 8e 96 2c 20 96 7b 93 58 22 2c") +
        QByteArray("\"</script><b>\",\"\",\"\",\"100-0001\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",") +
        QByteArray::fromHex("22 88 ea 8d 73 96 da 0a 93 f1 8d 73 96 da 0a 22 22 8e 4f 22 22 22 0d 0a");
    EXPECT_EQ(readAll(file()), expected);
}

TEST_F(Export, CharactersCodePage932LacksAreCountedNamedAndKeptInUtf8)
{
    // A cell whose bytes are no code page 932 text (written by another
    // program) decodes to U+FFFD, which the code page has no code for.
    add({QStringLiteral("正常")});
    {
        coretest::RawDb raw(dbPath());
        raw.exec("insert into t_customer (person_name, memo) values (cast(x'85' as text), cast(x'418542' as text))");
    }
    const ex::Result r = ex::write(file(), customer::kListSql, ex::Encoding::Cp932);
    EXPECT_EQ(r.customers, 2);
    EXPECT_EQ(r.substituted, 2);
    EXPECT_EQ(r.lacking, QStringList{QString(QChar(0xFFFD))});
    const QString message = ex::summary(r, ex::Encoding::Cp932);
    EXPECT_TRUE(message.startsWith(QStringLiteral("2 件の顧客データを書き出しました。"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("2 か所"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QChar(0xFFFD)));
    EXPECT_TRUE(message.contains(QStringLiteral("UTF-8")));
    EXPECT_TRUE(readAll(file()).contains("\"?\",\"\""));

    const ex::Result u = ex::write(file(), customer::kListSql, ex::Encoding::Utf8Bom);
    EXPECT_EQ(u.substituted, 0);
    EXPECT_EQ(ex::summary(u, ex::Encoding::Utf8Bom), QStringLiteral("2 件の顧客データを書き出しました。"));
    const QByteArray bytes = readAll(file());
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF\"氏名\",\"氏名「カナ」\""));
    EXPECT_TRUE(bytes.contains("\"A\xEF\xBF\xBD"
                               "B\"\r\n"));
    EXPECT_TRUE(bytes.contains("\"正常\""));
}

TEST_F(Export, WritesTheRowsOfTheListQueryInItsOrder)
{
    add({QStringLiteral("佐藤"), QStringLiteral("サトウ")});
    add({QStringLiteral("後藤"), QStringLiteral("ゴトウ")});
    add({QStringLiteral("加藤"), QStringLiteral("カトウ")});
    add({QStringLiteral("無名")});
    const ex::Result r = ex::write(file(), kana::queryText(7), ex::Encoding::Utf8Bom);
    EXPECT_EQ(r.customers, 2);
    const QList<QByteArray> lines = readAll(file()).split('\n');
    ASSERT_EQ(lines.size(), 4); // header, two customers, nothing after the last CR LF
    EXPECT_TRUE(lines[1].startsWith("\"加藤\",\"カトウ\""));
    EXPECT_TRUE(lines[2].startsWith("\"後藤\",\"ゴトウ\""));
    EXPECT_EQ(lines[3], QByteArray());

    // An empty list still gives a file with its header line.
    ex::write(file(), kana::queryText(25), ex::Encoding::Cp932);
    EXPECT_EQ(readAll(file()), headerBytes());
}

TEST_F(Export, AFileThatCannotBeWrittenKeepsTheOldOneAndSaysWhy)
{
    add({QStringLiteral("山田")});
    const QString target = file();
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    ASSERT_TRUE(QFile::setPermissions(dir(),
                                      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::ExeOther));
    // The roster is its owner's alone; the other user here only has to read
    // it to reach the write that fails.
    ASSERT_TRUE(QFile::setPermissions(dbPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    const std::string answer = coretest::runUnprivileged([&] {
        try {
            ex::write(target, customer::kListSql, ex::Encoding::Cp932);
            return std::string("written");
        } catch (const TessoloError& e) {
            return e.message().toStdString();
        }
    });
    QFile::setPermissions(dir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_NE(answer.find("書き出せませんでした"), std::string::npos) << answer;
    EXPECT_NE(answer.find("out.csv"), std::string::npos) << answer;
    EXPECT_NE(answer.find("元のファイルは変わっていません"), std::string::npos) << answer;
    EXPECT_EQ(readAll(target), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("out.csv"), QStringLiteral("tessolo.db")}));
}

TEST_F(Export, ACancelLeavesNoFileBehind)
{
    {
        TSQLiteDo db;
        db.setDBpoint(kDatabaseName);
        db.beginTransaction();
        for (int i = 0; i < 600; ++i)
            db.exec_sql2(customer::insertSql(coretest::customerRecord({QStringLiteral("顧客%1").arg(i)})));
        db.commitTransaction();
    }
    qint64 calls = 0;
    EXPECT_THROW(ex::write(file(), customer::kListSql, ex::Encoding::Cp932,
                           [&](qint64 done, qint64 total) {
                               EXPECT_EQ(total, 600);
                               EXPECT_LE(done, total);
                               return ++calls < 2;
                           }),
                 EAbort);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(QFile::exists(file()));
    EXPECT_EQ(QDir(dir()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("tessolo.db")});
}

TEST_F(Export, AFullDiskFailsTheExportAndKeepsTheOldFile)
{
    {
        TSQLiteDo db;
        db.setDBpoint(kDatabaseName);
        db.beginTransaction();
        for (int i = 0; i < 150; ++i)
            db.exec_sql2(customer::insertSql(coretest::customerRecord(
                {QStringLiteral("顧客%1").arg(i), QStringLiteral("コキャク"), QStringLiteral("株式会社テスト"),
                 QString(), QString(), QString(), QStringLiteral("1000001"), QStringLiteral("東京都"),
                 QStringLiteral("千代田区"), QStringLiteral("千代田1-1")})));
        db.commitTransaction();
    }
    const QString target = dir() + QStringLiteral("/backup.csv");
    ex::write(target, customer::kListSql + QStringLiteral(" limit 60"), ex::Encoding::Cp932);
    const QByteArray old = readAll(target);
    ASSERT_GT(old.size(), 4096);

    // Room for 4 KB, then none at all: each time an error, never "150 件".
    for (const rlim_t room : {rlim_t(4096), rlim_t(0)}) {
        QString message;
        try {
            DiskFullAfter full(room);
            ex::write(target, customer::kListSql, ex::Encoding::Cp932);
        } catch (const EFileError& e) {
            message = e.message();
        }
        EXPECT_TRUE(message.contains(QStringLiteral("書き出せませんでした"))) << room << message.toStdString();
        EXPECT_TRUE(message.contains(QStringLiteral("元のファイルは変わっていません"))) << message.toStdString();
        const QByteArray now = readAll(target);
        EXPECT_TRUE(now == old) << room << ": " << now.size() << " bytes, " << old.size() << " before";
        EXPECT_EQ(QDir(dir()).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{QStringLiteral("backup.csv"), QStringLiteral("tessolo.db")}));
    }
}
