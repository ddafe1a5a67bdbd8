// A roster exported and imported back: the header line assigns the columns,
// quoted line breaks keep a customer in one piece, and what comes back
// differs only where the import's own rules change a value.

#include "csvimport/csvimportrun.h"
#include "text/commatext.h"
#include "importtestutil.h"
#include "customer/customer.h"
#include "customer/customerexport.h"

#include <gtest/gtest.h>

using namespace tessolo;
using namespace tessolo::csvimport;
using importtest::sjis;

namespace {

std::vector<std::optional<int>> assigned(const QStringList& header)
{
    const auto columns = headerColumns(header);
    return {columns.begin(), columns.end()};
}

ColumnMap mapFrom(const std::array<std::optional<int>, kFieldCount>& columns)
{
    ColumnMap map;
    for (int k = 0; k < kFieldCount; ++k)
        map[k].first = columns[k];
    return map;
}

QStringList split(const QString& s) { return s.split(QLatin1Char('|')); }

} // namespace

TEST(HeaderLine, CaptionsAndCommonAliasesAssignTheirColumns)
{
    // The export's own header maps every field onto its own column.
    const QStringList own(customer::kCsvCaptions.begin(), customer::kCsvCaptions.end());
    std::vector<std::optional<int>> identity;
    for (int k = 0; k < kFieldCount; ++k)
        identity.push_back(k);
    EXPECT_EQ(assigned(own), identity);

    // Another program's header: aliases, full width, blanks (already "_"),
    // brackets and case do not matter; unknown names assign nothing; the
    // first column naming a field wins.
    const auto got = assigned(split(QStringLiteral(
        "No|名前|フリガナ|〒|ＴＥＬ|電話|E-Mail|メール２|ホームページ|メモ|会社名（カナ）|誕生日|お_名前|役職（担当）|"
        "ビル、マンション名等|市区町村")));
    std::vector<std::optional<int>> want(kFieldCount);
    want[0] = 1;   // 名前
    want[1] = 2;   // フリガナ
    want[3] = 10;  // 会社名（カナ）
    want[4] = 13;  // 役職（担当）
    want[6] = 3;   // 〒
    want[8] = 15;  // 市区町村
    want[10] = 14; // ビル、マンション名等
    want[11] = 4;  // ＴＥＬ (not 電話 after it)
    want[13] = 6;  // E-Mail
    want[14] = 7;  // メール２
    want[15] = 8;  // ホームページ
    want[16] = 9;  // メモ
    EXPECT_EQ(got, want);
    EXPECT_EQ(assigned(split(QStringLiteral("|_|x"))), std::vector<std::optional<int>>(kFieldCount));
}

// Each name the field table gives a field, its caption, its window label and
// every alias, is a header that assigns that field and no other: a name an
// earlier field also answers to would never reach its own.
TEST(HeaderLine, EveryNameOfAFieldAssignsThatField)
{
    const int firstMail = fields::indexOf(customer::kFields, u"email1");
    for (int k = 0; k < kFieldCount; ++k) {
        const customer::Field& field = customer::kFields[size_t(k)];
        QStringList names = field.aliases.toString().split(QLatin1Char('|'), Qt::SkipEmptyParts);
        names << field.caption.toString() << field.label.toString();
        for (const QString& name : names) {
            // The label both mail fields share assigns the first of them.
            const bool sharedLabel = field.role == fields::Role::Mail && name == field.label;
            std::vector<std::optional<int>> want(kFieldCount);
            want[size_t(sharedLabel ? firstMail : k)] = 0;
            EXPECT_EQ(assigned({name}), want) << name.toStdString();
        }
    }
}

TEST(QuotedLineBreaks, ALineEndingInsideQuotesIsToldApart)
{
    EXPECT_TRUE(endsInsideQuotes("a,\"b"));
    EXPECT_TRUE(endsInsideQuotes("a,\"b\"\"")); // the doubled quote does not close
    EXPECT_FALSE(endsInsideQuotes("\"a\",\"b\"\"c\""));
    EXPECT_FALSE(endsInsideQuotes("a\"b")); // a quote inside an unquoted field opens nothing
    EXPECT_FALSE(endsInsideQuotes(""));
    EXPECT_FALSE(endsInsideQuotes("x\"", true));
    EXPECT_TRUE(endsInsideQuotes("x\"\"", true));
    EXPECT_TRUE(endsInsideQuotes("x\",\"y", true));
}

TEST(QuotedLineBreaks, AValueOverSeveralLinesStaysOneLineButAStrayQuoteDoesNot)
{
    importtest::Db db;
    const QString f = db.write("m.csv", sjis(QStringLiteral("a,\"一\r\n  二\n\n三\",b\r\nc,d\r\n")));
    EXPECT_EQ(readLines(f), QStringList({QStringLiteral("a,\"一\r\n二\r\n三\",b"), QStringLiteral("c,d")}));
    // Never closed before the end: every line on its own, as before.
    const QString g = db.write("s.csv", sjis(QStringLiteral("a,\"b\r\nc\r\nd,e\r\n")));
    EXPECT_EQ(readLines(g), QStringList({QStringLiteral("a,\"b"), QStringLiteral("c"), QStringLiteral("d,e")}));
    // The run reads the same records: one customer for the three lines.
    ColumnMap map;
    map[0].first = 0;
    map[16].first = 1;
    EXPECT_EQ(run(f, map).rows, 2);
    EXPECT_EQ(db.rows(QStringLiteral("select person_name, memo from t_customer order by rowid")),
              QStringList({QStringLiteral("a|一\r\n二\r\n三"), QStringLiteral("c|d")}));

    // A quote after a blank inside a value opens nothing: two customers,
    // not one that swallows the next line.
    const QString h = db.write("b.csv", sjis(QStringLiteral("佐藤,営業 \"A\r\n\"鈴木\",\"x\"\r\n")));
    EXPECT_EQ(readLines(h), QStringList({QStringLiteral("佐藤,営業 \"A"), QStringLiteral("\"鈴木\",\"x\"")}));
    EXPECT_EQ(run(h, map).rows, 2);
}

class RoundTrip : public ::testing::TestWithParam<customerexport::Encoding> {
protected:
    importtest::Db db;
};

TEST_P(RoundTrip, ExportedThenImportedWithTheHeaderGivesTheSameCustomers)
{
    const customer::Record first = {QStringLiteral("山田 太郎"),
                                    QStringLiteral("ﾔﾏﾀﾞ ﾀﾛｳ"),
                                    QStringLiteral("O'Brien, \"Ltd\""),
                                    QStringLiteral("ｵｰﾌﾞﾗｲｴﾝ"),
                                    QStringLiteral("課長"),
                                    QStringLiteral("営業部"),
                                    QStringLiteral("1000001"),
                                    QStringLiteral("東京都"),
                                    QStringLiteral("千代田区"),
                                    QStringLiteral("丸の内1-1"),
                                    QStringLiteral("</script><b>x</b>"),
                                    QStringLiteral("03-1234-5678"),
                                    QString(),
                                    QStringLiteral("a@example.jp"),
                                    QString(),
                                    QStringLiteral("www.example.jp"),
                                    QStringLiteral("一行目\n  二行目\r\n\n三行目 \"引用\"")};
    const customer::Record second = {QStringLiteral("髙橋"),
                                     QStringLiteral("たかはし"),
                                     QStringLiteral("①商事"),
                                     QString(),
                                     QString(),
                                     QString(),
                                     QString(),
                                     QStringLiteral("大阪府"),
                                     QStringLiteral("大阪市北区"),
                                     QStringLiteral("梅田,1"),
                                     QString(),
                                     QString(),
                                     QStringLiteral("06\t0000"),
                                     QString(),
                                     QString(),
                                     QString(),
                                     QString()};
    const customer::Record empty{};
    for (const customer::Record& r : {first, second, empty})
        TSQLiteDo::execute(customer::insertSql(r));

    const QString file = db.path("roster.csv");
    EXPECT_EQ(customerexport::write(file, customer::kListSql, GetParam()).customers, 3);
    db.exec(QStringLiteral("delete from t_customer"));

    const QStringList lines = readLines(file);
    ASSERT_EQ(lines.size(), 4);
    const Result r = run(file, mapFrom(headerColumns(splitKeepingBlanks(lines.first()))), {}, true);
    EXPECT_EQ(r.rows, 3);
    EXPECT_EQ(r.substitutedValues, 0);

    // The list order: empty reading, hiragana, half-width katakana.
    const QStringList rows = db.rows(QStringLiteral("select * from t_customer order by rowid"));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], QStringList(kFieldCount).join(QLatin1Char('|')));
    EXPECT_EQ(rows[1], QStringLiteral("髙橋|たかはし|①商事|||||大阪府|大阪市北区|梅田,1|||06\t0000||||"));
    // Blanks are kept and readings are widened, as every import does; the
    // memo keeps its breaks (as CR LF, the way memos are stored) but not the
    // blanks and empty lines the line reader skips at the start of a line.
    EXPECT_EQ(rows[2],
              QStringLiteral("山田 太郎|ヤマダ　タロウ|O'Brien, \"Ltd\"|オーブライエン|課長|営業部|1000001|東京都|"
                             "千代田区|丸の内1-1|</script><b>x</b>|03-1234-5678||a@example.jp||www.example.jp|"
                             "一行目\r\n二行目\r\n三行目 \"引用\""));
}

INSTANTIATE_TEST_SUITE_P(Encodings, RoundTrip,
                         ::testing::Values(customerexport::Encoding::Cp932, customerexport::Encoding::Utf8Bom));
