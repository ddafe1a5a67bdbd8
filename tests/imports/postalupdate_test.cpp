// The postal data update on files written byte by byte and on the national
// list: every line stored as split, and any failure leaves the old rows.

#include "data/bulkinsert.h"
#include "data/errors.h"
#include "postal/postalupdate.h"
#include "data/sqltext.h"
#include "importtestutil.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tessolo;
using importtest::sjis;

namespace {

const QString kOld =
    QStringLiteral("insert into m_postal values ('01101','060  ','0600000','ﾎｯｶｲﾄﾞｳ','ｻｯﾎﾟﾛｼﾁｭｳｵｳｸ','ｲｶﾆｹｲｻｲｶﾞﾅｲﾊﾞｱｲ',"
                   "'北海道','札幌市中央区','以下に掲載がない場合')");
const QString kAll = QStringLiteral("select * from m_postal");

class PostalUpdate : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.exec(kOld);
        db.exec(QString(kOld).replace(QStringLiteral("0600000"), QStringLiteral("0600001")));
        oldRows = db.rows(kAll);
        ASSERT_EQ(oldRows.size(), 2);
    }
    QString lookup(const QString& code)
    {
        TSQLiteDo h;
        h.setDBpoint(kDatabaseName);
        QString p, c, t;
        h.postal2address(code, p, c, t);
        return p + c + t;
    }
    importtest::Db db;
    QStringList oldRows;
};

TEST_F(PostalUpdate, StoresEachLinesFirstNineFieldsUnchanged)
{
    // Blank lines and leading blanks vanish, CR LF and LF both end a line, a
    // lone CR is dropped, the first line is not taken for a header, quoted
    // blanks and quotes survive, fields after the ninth are ignored.
    const QByteArray bytes = sjis(QStringLiteral(
        "gov,old,code,pk,ck,tk,pref,city,town\r\n"
        "\r\n"
        "   01102,\"001  "
        "\",\"0010010\",\"ﾎｯｶｲﾄﾞｳ\",\"ｻｯﾎﾟﾛｼｷﾀｸ\",\"ｷﾀ10ｼﾞｮｳﾆｼ\",\"北海道\",\"札幌市北区\",\"北十条西\",0,0,0,0,0,0\n"
        "\t\n"
        "13101,\"100  \",\"1000001\",\"ﾄｳｷｮｳﾄ\",\"ﾁﾖﾀﾞｸ\",\"ﾁﾖﾀﾞ\",\"東京都\",\"千代田区\",\"O'Neil \"\"館\"\"\",x\r\n"
        "1,2,3,4,5,6,7,8,9\r\n"));
    const auto r = postalupdate::run(db.write("a.csv", bytes));
    EXPECT_EQ(r.rows, 4);
    EXPECT_EQ(
        db.rows(kAll),
        QStringList({QStringLiteral("gov|old|code|pk|ck|tk|pref|city|town"),
                     QStringLiteral("01102|001  |0010010|ﾎｯｶｲﾄﾞｳ|ｻｯﾎﾟﾛｼｷﾀｸ|ｷﾀ10ｼﾞｮｳﾆｼ|北海道|札幌市北区|北十条西"),
                     QStringLiteral("13101|100  |1000001|ﾄｳｷｮｳﾄ|ﾁﾖﾀﾞｸ|ﾁﾖﾀﾞ|東京都|千代田区|O'Neil \"館\""),
                     QStringLiteral("1|2|3|4|5|6|7|8|9")}));
}

TEST_F(PostalUpdate, DecodesUtf8FilesAndCodePage932Files)
{
    const QString line = QStringLiteral("13101,100,1000001,ﾄｳｷｮｳﾄ,ﾁﾖﾀﾞｸ,ﾁﾖﾀﾞ,東京都,千代田区,千代田～\r\n");
    // Both encodings of the wave dash come back as the one the input method types.
    const QString want = QStringLiteral("東京都千代田区千代田\u301C");
    for (const QByteArray& bytes : {sjis(line), importtest::utf8(line), "\xEF\xBB\xBF" + importtest::utf8(line)}) {
        postalupdate::run(db.write("u.csv", bytes));
        EXPECT_EQ(lookup(QStringLiteral("1000001")), want) << bytes.toHex().toStdString();
        EXPECT_EQ(db.count(QStringLiteral("m_postal")), 1);
    }
    // ASCII-only with a stray byte that is not UTF-8: code page 932 (ｱ).
    postalupdate::run(db.write("a.csv", QByteArray("1,2,3,4,5,6,7,8,\xB1\n")));
    EXPECT_EQ(db.rows(QStringLiteral("select town2 from m_postal")), QStringList{QStringLiteral("ｱ")});
}

TEST_F(PostalUpdate, CtrlZEndsTheFileAndAFileWithoutLinesIsRefused)
{
    const auto r = postalupdate::run(db.write("z.csv",
                                              QByteArray("1,2,3,4,5,6,7,8,9\r\n\x1A"
                                                         "a,b,c,d,e,f,g,h,i\r\n")));
    EXPECT_EQ(r.rows, 1);
    EXPECT_EQ(db.rows(kAll), QStringList{QStringLiteral("1|2|3|4|5|6|7|8|9")});

    // Empty, blanks only, Ctrl+Z first: said so, and the table stays as it was.
    for (const QByteArray& bytes : {QByteArray(), QByteArray(" \r\n\t\r\n\r\n"),
                                    QByteArray("\x1A"
                                               "1,2,3,4,5,6,7,8,9\n")}) {
        try {
            postalupdate::run(db.write("e.csv", bytes));
            ADD_FAILURE() << "an empty list was taken: " << bytes.toHex().toStdString();
        } catch (const EFileError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("郵便番号の行がありません"))) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("変わっていません")));
        }
        EXPECT_EQ(db.rows(kAll), QStringList{QStringLiteral("1|2|3|4|5|6|7|8|9")});
    }
}

TEST_F(PostalUpdate, BytesThatAreNoCharacterAreStoredAsQuestionMarksAndCounted)
{
    // A lead byte before a comma, a NUL inside a name: neither goes in raw.
    const QByteArray bytes = QByteArray("1,2,3,4,5,6,\x81,8,9\r\n1,2,3,4,5,6,7,8,a") + QByteArray(1, '\0') + "b\r\n" +
        sjis(QStringLiteral("1,2,1000001,4,5,6,東京都,千代田区,千代田\r\n"));
    const auto r = postalupdate::run(db.write("b.csv", bytes));
    EXPECT_EQ(r.rows, 3);
    EXPECT_EQ(r.invalidLines, 2);
    EXPECT_EQ(db.rows(QStringLiteral("select prefecture2, town2 from m_postal")),
              QStringList({QStringLiteral("?|9"), QStringLiteral("7|a?b"), QStringLiteral("東京都|千代田")}));
}

TEST_F(PostalUpdate, RunningTwiceGivesTheSameTable)
{
    const QString f = db.write("t.csv", QByteArray("1,2,3,4,5,6,7,8,9\n1,2,3,4,5,6,7,8,9\n"));
    postalupdate::run(f);
    postalupdate::run(f);
    EXPECT_EQ(db.count(QStringLiteral("m_postal")), 2);
}

TEST_F(PostalUpdate, AShortLineKeepsTheOldRows)
{
    const QString f = db.write("s.csv", QByteArray("1,2,3,4,5,6,7,8,9\n1,2,3,4,5,6,7,8\n"));
    try {
        postalupdate::run(f);
        FAIL() << "a line of eight fields must stop the update";
    } catch (const EListIndexError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("リストのインデックスが範囲を超えています (8)"));
    }
    EXPECT_EQ(db.rows(kAll), oldRows);
}

TEST_F(PostalUpdate, AMissingFileKeepsTheOldRows)
{
    EXPECT_THROW(postalupdate::run(db.path("nothere.csv")), EFileError);
    EXPECT_EQ(db.rows(kAll), oldRows);
}

TEST_F(PostalUpdate, CancelKeepsTheOldRows)
{
    QByteArray bytes;
    for (int i = 0; i < 3000; ++i)
        bytes += "1,2,3,4,5,6,7,8,9\n";
    qint64 lastDone = -1;
    qint64 total = 0;
    EXPECT_THROW(postalupdate::run(db.write("c.csv", bytes),
                                   [&](qint64 done, qint64 all) {
                                       lastDone = done;
                                       total = all;
                                       return done < all / 2;
                                   }),
                 EAbort);
    EXPECT_EQ(total, bytes.size());
    EXPECT_GE(lastDone, total / 2);
    EXPECT_LT(lastDone, total);
    EXPECT_EQ(db.rows(kAll), oldRows);
}

TEST_F(PostalUpdate, ALockedDatabaseChangesNothing)
{
    const QString f = db.write("l.csv", QByteArray("1,2,3,4,5,6,7,8,9\n"));
    {
        importtest::ExclusiveLock lock(db.dbPath());
        ASSERT_TRUE(lock.held());
        try {
            postalupdate::run(f);
            FAIL() << "a locked database must stop the update";
        } catch (const ESQLiteException& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral(".\rError [5]: The database file is locked.\r")))
                << e.message().toStdString();
        }
    }
    EXPECT_EQ(db.rows(kAll), oldRows);
}

TEST_F(PostalUpdate, BoundValuesStoreTheBytesTheStatementTextWould)
{
    db.exec(QStringLiteral("delete from m_postal"));
    const QStringList values = {QStringLiteral("O'Neil"), QString(),
                                QStringLiteral("髙﨑～"), QStringLiteral("𠮷é"),
                                QStringLiteral("ｶﾞ"),     QStringLiteral("a''b"),
                                QStringLiteral("\"q\""),  QStringLiteral(" x "),
                                QStringLiteral("－")};
    {
        TSQLiteDo h;
        h.setDBpoint(kDatabaseName);
        h.exec_sql2(sqltext::insertValues(u"m_postal", values));
        TBulkInsert insert(*h.SQLiteDB, QStringLiteral("m_postal"), 9);
        EXPECT_EQ(insert.insert(values), 1); // 𠮷é: one value changed
    }
    const QString hex = QStringLiteral(
        "select hex(gov_code)||typeof(gov_code), hex(postal_code1)||typeof(postal_code1), hex(postal_code2), "
        "hex(prefecture1), hex(city1), hex(town1), hex(prefecture2), hex(city2), hex(town2) from m_postal");
    const QStringList rows = db.rows(hex);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], rows[1]);
    EXPECT_TRUE(rows[0].contains(QStringLiteral("|text|"))); // the empty value is '' not NULL
}

// A business list as Japan Post publishes it (JIGYOSYO.CSV, code page 932):
// 13 fields, the business's own code in the 8th. The businesses are made up.
const QString kBusinesses = QStringLiteral(
    "13101,\"ﾃｽﾄｼｮｳｼﾞ ｶﾌﾞｼｷｶﾞｲｼｬ\",\"テスト商事　株式会社\",\"東京都\",\"千代田区\",\"丸の内\",\"１丁目９－９\","
    "\"1008799\",\"100  \",\"銀座\",0,0,0\r\n"
    "27128,\"(ｶﾌﾞ) ｻﾝﾌﾟﾙｾｲｻｸｼｮ\",\"株式会社　サンプル製作所\",\"大阪府\",\"大阪市中央区\",\"本町\",\"２丁目１－１\","
    "\"5418799\",\"541  \",\"東\",0,0,0\r\n");

TEST_F(PostalUpdate, TheBusinessListIsToldByItsShapeAndKeptBesideTheAddresses)
{
    const auto r = postalupdate::run(db.write("jigyosyo.csv", sjis(kBusinesses)));
    EXPECT_EQ(r.kind, postalupdate::ListKind::Businesses);
    EXPECT_EQ(r.rows, 2);
    const QString businessRows = QStringLiteral("select * from m_postal where prefecture1 = ''");
    EXPECT_EQ(
        db.rows(businessRows),
        QStringList({QStringLiteral("13101|100  |1008799||ﾃｽﾄｼｮｳｼﾞ ｶﾌﾞｼｷｶﾞｲｼｬ|テスト商事　株式会社|東京都|千代田区|"
                                    "丸の内１丁目９－９"),
                     QStringLiteral("27128|541  |5418799||(ｶﾌﾞ) ｻﾝﾌﾟﾙｾｲｻｸｼｮ|株式会社　サンプル製作所|大阪府|"
                                    "大阪市中央区|本町２丁目１－１")}));
    // The lookup finds a business as it finds an address, the block included.
    EXPECT_EQ(lookup(QStringLiteral("1008799")), QStringLiteral("東京都千代田区丸の内１丁目９－９"));
    EXPECT_EQ(db.count(QStringLiteral("m_postal")), 4); // the addresses stayed

    // The address list replaces the addresses only; the businesses stay.
    postalupdate::run(db.write("ken.csv", QByteArray("1,2,3,4,5,6,7,8,9\n")));
    EXPECT_EQ(db.rows(QStringLiteral("select * from m_postal where prefecture1 <> ''")),
              QStringList{QStringLiteral("1|2|3|4|5|6|7|8|9")});
    EXPECT_EQ(db.rows(businessRows).size(), 2);

    // A newer business list replaces the businesses only.
    const QString one = kBusinesses.section(QStringLiteral("\r\n"), 0, 0) + QStringLiteral("\r\n");
    EXPECT_EQ(postalupdate::run(db.write("j2.csv", importtest::utf8(one))).rows, 1);
    EXPECT_EQ(db.rows(businessRows).size(), 1);
    EXPECT_EQ(db.count(QStringLiteral("m_postal")), 2);
    TSQLiteDo h;
    h.setDBpoint(kDatabaseName);
    QString name, reading;
    EXPECT_TRUE(h.postal2business(QStringLiteral("1008799"), name, reading));
    EXPECT_EQ(name, QStringLiteral("テスト商事　株式会社"));
    EXPECT_EQ(reading, QStringLiteral("ﾃｽﾄｼｮｳｼﾞ ｶﾌﾞｼｷｶﾞｲｼｬ"));
    EXPECT_FALSE(h.postal2business(QStringLiteral("5418799"), name, reading));
    EXPECT_FALSE(h.postal2business(QStringLiteral("1"), name, reading)); // an address row is no business
}

TEST_F(PostalUpdate, EachKindIsReplacedAllOrNothing)
{
    postalupdate::run(db.write("jigyosyo.csv", sjis(kBusinesses)));
    const QStringList before = db.rows(kAll);
    // A business list whose second line is cut short: nothing of either kind changes.
    const QString cut =
        kBusinesses.section(QStringLiteral("\r\n"), 0, 0) + QStringLiteral("\r\n27128,a,b,c,d,e,f,5418799\r\n");
    EXPECT_THROW(postalupdate::run(db.write("cut.csv", sjis(cut))), EListIndexError);
    EXPECT_EQ(db.rows(kAll), before);
    // An address list that fails half-way leaves the businesses and the addresses.
    EXPECT_THROW(postalupdate::run(db.write("s.csv", QByteArray("1,2,3,4,5,6,7,8,9\n1,2,3,4,5,6,7,8\n"))),
                 EListIndexError);
    EXPECT_EQ(db.rows(kAll), before);
    // Thirteen fields whose 8th is no seven-digit code is an address line.
    EXPECT_EQ(postalupdate::kindOf(QStringLiteral("1,2,3,4,5,6,7,123-4567,9,10,11,12,13").split(QLatin1Char(','))),
              postalupdate::ListKind::Addresses);
}

TEST_F(PostalUpdate, NationalListSliceCompletesAddresses)
{
    const QByteArray slice = importtest::nationalSlice(2000);
    if (slice.isEmpty())
        GTEST_SKIP() << "the national list is not at " << importtest::nationalList().toStdString();
    const auto r = postalupdate::run(db.write("ken.csv", slice));
    EXPECT_EQ(r.rows, 2000);
    EXPECT_EQ(r.substituted, 0);
    EXPECT_EQ(db.count(QStringLiteral("m_postal")), 2000);
    EXPECT_EQ(lookup(QStringLiteral("0010010")), QStringLiteral("北海道札幌市北区北十条西"));
    // Two towns under one code: the one imported last answers.
    EXPECT_EQ(db.count(QStringLiteral("m_postal where postal_code2 = '0120824'")), 2);
    EXPECT_EQ(lookup(QStringLiteral("0120824")), QStringLiteral("秋田県湯沢市佐竹町"));
    // The list's note is stored as it is, but it is no town of an address.
    EXPECT_EQ(lookup(QStringLiteral("0010000")), QStringLiteral("北海道札幌市北区"));
    EXPECT_EQ(db.rows(QStringLiteral("select * from m_postal where postal_code2 = '0010000'")),
              QStringList{QStringLiteral(
                  "01102|001  |0010000|ﾎｯｶｲﾄﾞｳ|ｻｯﾎﾟﾛｼｷﾀｸ|ｲｶﾆｹｲｻｲｶﾞﾅｲﾊﾞｱｲ|北海道|札幌市北区|以下に掲載がない場合")});
}

} // namespace
