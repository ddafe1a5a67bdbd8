// The customer CSV import without its window: preview entries, the values a
// line gives, and the all-or-nothing run.

#include "csvimport/csvimportrun.h"
#include "data/errors.h"
#include "text/commatext.h"
#include "text/textfile.h"
#include "importtestutil.h"
#include "text/zenkaku.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tessolo;
using namespace tessolo::csvimport;
using importtest::sjis;

namespace {

const QString kAll = QStringLiteral("select * from t_customer");

class CsvImport : public ::testing::Test {
protected:
    importtest::Db db;
};

QString row(std::initializer_list<std::pair<int, QString>> set)
{
    QStringList v(kFieldCount);
    for (const auto& [k, value] : set)
        v[k] = value;
    return v.join(QLatin1Char('|'));
}

TEST(CsvPreview, EntriesNumberTheFirstLinesColumns)
{
    EXPECT_EQ(columnEntries(splitKeepingBlanks(QStringLiteral("山田 太郎,ﾔﾏﾀﾞ,\"A,B\""))),
              QStringList({QStringLiteral("00 山田 太郎"), QStringLiteral("01 ﾔﾏﾀﾞ"), QStringLiteral("02 A,B")}));
    EXPECT_EQ(columnEntries(splitKeepingBlanks(QStringLiteral("a,"))),
              QStringList({QStringLiteral("00 a"), QStringLiteral("01 ")}));
    EXPECT_EQ(columnEntry(100, QStringLiteral("x")), QStringLiteral("100 x"));
    EXPECT_EQ(entryColumn(QStringLiteral("03 a b")), 3);
    EXPECT_EQ(entryColumn(QStringLiteral("99 ")), 99);
    EXPECT_EQ(entryColumn(QStringLiteral("100 x")), 100);
    EXPECT_EQ(entryColumn(QString()), std::nullopt);
}

TEST_F(CsvImport, ReadLinesSkipsBlankLinesAndKeepsBlanks)
{
    const QString f = db.write("p.csv",
                               sjis(QStringLiteral("\r\n   \r\n  山田 太郎,ﾔﾏﾀﾞ\r\n\r\nb\x1A"
                                                   "c\r\n")));
    EXPECT_EQ(readLines(f), QStringList({QStringLiteral("山田 太郎,ﾔﾏﾀﾞ"), QStringLiteral("b")}));
    EXPECT_TRUE(readLines(db.write("e.csv", QByteArray())).isEmpty());
    EXPECT_THROW(readLines(db.path("none.csv")), EFileError);
}

// Name, reading in two columns, company and its reading, postal code, memo.
ColumnMap sevenColumns()
{
    ColumnMap map;
    map[0].first = 0;                    // person_name
    map[1].first = 1, map[1].second = 2; // person_kana from two columns
    map[2].first = 3;                    // company_name
    map[3].first = 4;                    // company_kana
    map[6].first = 5;                    // postal_code
    map[16].first = 6;                   // memo
    return map;
}

TEST_F(CsvImport, ValuesAreBuiltAsAssigned)
{
    const ColumnMap map = sevenColumns();
    const QString f = db.write("v.csv",
                               sjis(QStringLiteral("氏名,ｶﾅ1,ｶﾅ2,会社,ｶｲｼｬ,〒,備考\r\n"
                                                   "山田 太郎,ﾔﾏﾀﾞ, ﾀﾛｳ,O'Reilly,\"\t ﾔﾏﾀﾞ ﾀﾛｳ \",123-4567,a, b\r\n"
                                                   "\r\n"
                                                   "鈴木,すずき,,,ｽｽﾞｷ,123－4567,x\n"
                                                   ",,,,,,\n")));
    const Result r = run(f, map);
    EXPECT_EQ(r.rows, 4);
    EXPECT_EQ(r.substitutedValues, 0);
    const QStringList rows = db.rows(kAll);
    ASSERT_EQ(rows.size(), 4);
    // The header line is a customer like any other; readings widen.
    EXPECT_EQ(rows[0],
              row({{0, QStringLiteral("氏名")},
                   {1, QStringLiteral("カナ１カナ２")},
                   {2, QStringLiteral("会社")},
                   {3, QStringLiteral("カイシャ")},
                   {6, QStringLiteral("〒")},
                   {16, QStringLiteral("備考")}}));
    // Blanks are kept (widened in readings, which lose the tab and blanks
    // at their ends), the postal hyphen goes.
    EXPECT_EQ(rows[1],
              row({{0, QStringLiteral("山田 太郎")},
                   {1, QStringLiteral("ヤマダ　タロウ")},
                   {2, QStringLiteral("O'Reilly")},
                   {3, QStringLiteral("ヤマダ　タロウ")},
                   {6, QStringLiteral("1234567")},
                   {16, QStringLiteral("a")}}));
    // Hiragana stays hiragana; a full-width hyphen goes like any other.
    EXPECT_EQ(rows[2],
              row({{0, QStringLiteral("鈴木")},
                   {1, QStringLiteral("すずき")},
                   {3, QStringLiteral("スズキ")},
                   {6, QStringLiteral("1234567")},
                   {16, QStringLiteral("x")}}));
    EXPECT_EQ(rows[3], row({}));
}

TEST_F(CsvImport, Column99ImportsLikeAnyOther)
{
    QStringList cols;
    for (int i = 0; i <= 100; ++i)
        cols << QStringLiteral("c%1").arg(i);
    ColumnMap map;
    map[0].first = 99;
    map[2].first = 100;
    run(db.write("w.csv", sjis(cols.join(QLatin1Char(',')))), map);
    EXPECT_EQ(db.rows(kAll), QStringList{row({{0, QStringLiteral("c99")}, {2, QStringLiteral("c100")}})});
}

ColumnMap nameOnly()
{
    ColumnMap map;
    map[0].first = 0;
    return map;
}

TEST_F(CsvImport, NoAssignmentIsRefusedAndAnEmptyFileImportsNone)
{
    try {
        run(db.write("n.csv", QByteArray("a,b\n\nc\n")), ColumnMap{});
        ADD_FAILURE() << "a run without any field assigned stored empty customers";
    } catch (const TessoloError& e) {
        EXPECT_EQ(e.message(), noAssignmentMessage());
    }
    EXPECT_EQ(db.count(QStringLiteral("t_customer")), 0);
    EXPECT_EQ(run(db.write("e.csv", QByteArray("\r\n \r\n")), nameOnly()).rows, 0);
}

TEST_F(CsvImport, AFailingLineImportsNothingAndARetryImportsEachLineOnce)
{
    db.exec(QStringLiteral("insert into t_customer (person_name) values ('before')"));
    ColumnMap map;
    map[0].first = 0;
    map[5].first = 5;
    QByteArray good = "a,1,2,3,4,5\r\nb,1,2,3,4,5\r\n";
    const QString f = db.write("f.csv", good + "\r\n\r\nc,1,2,3,4,5\r\nd,\"1,2,3,4,5\r\ne,1\r\n");
    try {
        run(f, map);
        FAIL() << "a quote open to the end of the file must stop the run";
    } catch (const TessoloError& e) {
        // The line counts the blank lines before it: it is the sixth of the file.
        EXPECT_EQ(e.message(),
                  QStringLiteral("6 行目で始まる「\"」で囲まれた値が、ファイルの終わりまで閉じられていません。\n\n"
                                 "6 行目で中止しました。このファイルからは 1 件も取り込まれていません。"));
    }
    EXPECT_EQ(db.count(QStringLiteral("t_customer")), 1);

    db.write("f.csv", good + "c,1,2,3,4,5\r\n");
    EXPECT_EQ(run(f, map).rows, 3);
    EXPECT_EQ(db.rows(QStringLiteral("select person_name from t_customer order by rowid")),
              QStringList({QStringLiteral("before"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
}

TEST_F(CsvImport, ALockedDatabaseImportsNothing)
{
    const QString f = db.write("l.csv", QByteArray("a\nb\n"));
    {
        importtest::ExclusiveLock lock(db.dbPath());
        ASSERT_TRUE(lock.held());
        try {
            run(f, nameOnly());
            FAIL() << "a locked database must stop the run";
        } catch (const TessoloError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("Error [5]: The database file is locked.")))
                << e.message().toStdString();
        }
    }
    EXPECT_EQ(db.count(QStringLiteral("t_customer")), 0);
}

TEST_F(CsvImport, CharactersCodePage932LacksAreCountedByLine)
{
    ColumnMap map;
    map[0].first = 0;
    map[2].first = 1;
    const QString f = db.write("s.csv", importtest::utf8(QStringLiteral("𠮷野家,Café\nok,ok\n\nJosé,😀\n")));
    const Result r = run(f, map);
    EXPECT_EQ(r.rows, 3);
    EXPECT_EQ(r.substitutedValues, 4);
    EXPECT_EQ(r.substitutedLines, QList<qint64>({1, 4}));
    EXPECT_EQ(db.rows(QStringLiteral("select person_name, company_name from t_customer order by rowid")),
              QStringList({QStringLiteral("?野家|Caf?"), QStringLiteral("ok|ok"), QStringLiteral("Jos?|?")}));
    EXPECT_EQ(
        summary(r),
        QStringLiteral("3 件の顧客データを取り込みました。\n\n保存できない文字（外字・絵文字など）を含む 4 個の値で、"
                       "その文字を「?」に置き換えました（1、4 行目）。"));
    Result many;
    many.rows = many.substitutedValues = many.substitutedLineCount = 9;
    many.substitutedLines = {1, 2, 3, 4, 5};
    EXPECT_TRUE(summary(many).endsWith(QStringLiteral("（1、2、3、4、5 行目 ほか）。")));
    Result plain;
    plain.rows = 7;
    EXPECT_EQ(summary(plain), QStringLiteral("7 件の顧客データを取り込みました。"));
}

TEST_F(CsvImport, AUtf8FileWithOneBadByteIsReadAsUtf8AndTheLineIsNamed)
{
    ColumnMap map;
    map[0].first = 0;
    map[1].first = 1;
    QByteArray bytes;
    for (int i = 1; i <= 1000; ++i)
        bytes += importtest::utf8(QStringLiteral("山田太郎%1,ヤマダタロウ\r\n").arg(i));
    const qsizetype at = bytes.indexOf(importtest::utf8(QStringLiteral("山田太郎500,")));
    bytes.insert(at + 3, '\xFF'); // after 山 on line 500
    const Result r = run(db.write("u.csv", bytes), map);
    EXPECT_EQ(r.rows, 1000);
    EXPECT_EQ(db.rows(QStringLiteral("select person_name, person_kana from t_customer where rowid in (1, 500)")),
              QStringList({QStringLiteral("山田太郎1|ヤマダタロウ"), QStringLiteral("山?田太郎500|ヤマダタロウ")}));
    EXPECT_EQ(r.invalidLineCount, 1);
    EXPECT_EQ(r.invalidLines, QList<qint64>{500});
    EXPECT_TRUE(summary(r).contains(QStringLiteral("文字として読めないバイト（壊れた文字）を含む行が 1 行あり、"
                                                   "そのバイトを「?」に置き換えました（500 行目）。")))
        << summary(r).toStdString();
    // The preview reads it the same way.
    EXPECT_EQ(readLines(db.path("u.csv")).value(499), QStringLiteral("山?田太郎500,ヤマダタロウ"));
}

TEST_F(CsvImport, BytesThatAreNoCodePage932CharacterAreReplacedAndCounted)
{
    ColumnMap map;
    map[0].first = 0;
    map[2].first = 1;
    // A lead byte before a blank, a NUL in the middle of a value, a byte that
    // leads nothing; then a line that is well formed.
    const QByteArray bytes =
        QByteArray("\x81 a,b\r\nx") + QByteArray(1, '\0') + "y,z\r\n\xFF,q\r\n" + sjis(QStringLiteral("山田,商店\r\n"));
    const Result r = run(db.write("b.csv", bytes), map);
    EXPECT_EQ(r.rows, 4);
    EXPECT_EQ(db.rows(QStringLiteral("select person_name, company_name from t_customer order by rowid")),
              QStringList({QStringLiteral("? a|b"), QStringLiteral("x?y|z"), QStringLiteral("?|q"),
                           QStringLiteral("山田|商店")}));
    EXPECT_EQ(r.invalidLines, QList<qint64>({1, 2, 3}));
    EXPECT_EQ(r.substitutedValues, 0); // counted once, as bad bytes
}

TEST_F(CsvImport, AFifoADeviceOrAnEndlessLineIsRefusedAndNothingImported)
{
    const QString fifo = db.path("pipe.csv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& f : {fifo, QStringLiteral("/dev/zero")}) {
        try {
            run(f, nameOnly());
            ADD_FAILURE() << "read " << f.toStdString();
        } catch (const EFileError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("通常のファイルではない"))) << e.message().toStdString();
        }
        EXPECT_THROW(readLines(f), EFileError);
    }
    QByteArray bytes = "a,b\r\n" + QByteArray(kMaxLineBytes + 1, 'x') + "\r\n";
    try {
        run(db.write("long.csv", bytes), nameOnly());
        ADD_FAILURE() << "a line of more than 1 MB was read";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.message(), lineTooLongMessage());
    }
    EXPECT_EQ(db.count(QStringLiteral("t_customer")), 0);
}

TEST_F(CsvImport, CancelImportsNothing)
{
    QByteArray bytes;
    for (int i = 0; i < 2000; ++i)
        bytes += "a,b\n";
    EXPECT_THROW(run(db.write("c.csv", bytes), nameOnly(), [](qint64 done, qint64 all) { return done < all / 2; }),
                 EAbort);
    EXPECT_EQ(db.count(QStringLiteral("t_customer")), 0);
}

TEST_F(CsvImport, Utf8AndCodePage932FilesGiveTheSameRows)
{
    // A customer list must come in the same whichever way the spreadsheet
    // saved it.
    const ColumnMap map = sevenColumns();
    const QString lines =
        QStringLiteral("山田 太郎,ﾔﾏﾀﾞ, ﾀﾛｳ,\"髙橋商事,\"\"本店\"\"\",\"\t ﾀｶﾊｼｼｮｳｼﾞ \",123-4567,～①－\r\n"
                       "\r\n"
                       "鈴木,すずき,,O'Reilly,ｵﾗｲﾘｰ,1234567,\"一行目\r\n二行目\"\r\n"
                       "  佐藤,ｻﾄｳ,,,,,\n");
    const QString all = QStringLiteral("select * from t_customer order by rowid");

    // The full-width tilde is stored as code page 932's wave dash, and read
    // back as one.
    run(db.write("sjis.csv", sjis(lines)), map);
    const QStringList fromCp932 = db.rows(all);
    ASSERT_EQ(fromCp932.size(), 3);
    EXPECT_EQ(fromCp932[0],
              row({{0, QStringLiteral("山田 太郎")},
                   {1, QStringLiteral("ヤマダ　タロウ")},
                   {2, QStringLiteral("髙橋商事,\"本店\"")},
                   {3, QStringLiteral("タカハシショウジ")},
                   {6, QStringLiteral("1234567")},
                   {16, QStringLiteral("〜①－")}}));

    for (const QByteArray& bytes : {importtest::utf8(lines), "\xEF\xBB\xBF" + importtest::utf8(lines)}) {
        db.exec(QStringLiteral("delete from t_customer"));
        const Result r = run(db.write("utf8.csv", bytes), map);
        EXPECT_EQ(r.rows, 3);
        EXPECT_EQ(r.substitutedValues, 0);
        EXPECT_EQ(db.rows(all), fromCp932);
    }
}

} // namespace
