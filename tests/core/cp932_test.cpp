// Code page 932 as Windows writes it: the bytes of names with NEC and IBM
// extension characters, in memory and in the database file, substitutes for
// characters the code page lacks, and bad bytes that must not eat the text.

#include "coretest.h"

#include "text/cp932.h"
#include "customer/customer.h"

#include <QStringList>

using namespace tessolo;

namespace {

struct Sample {
    const char16_t* text;
    QByteArray bytes;
};

// Byte values checked with: printf '<text>' | iconv -f UTF-8 -t CP932 | xxd -p
const Sample kSamples[] = {
    {u"髙橋", QByteArray::fromHex("fbfc8bb4")},                   // IBM extension 髙
    {u"山﨑", QByteArray::fromHex("8e52fab1")},                   // IBM extension 﨑
    {u"㈱ナカムラ", QByteArray::fromHex("878a8369834a83808389")}, // NEC row 13 ㈱
    {u"①", QByteArray::fromHex("8740")},                          // NEC circled digit
    {u"〜", QByteArray::fromHex("8160")},                         // wave dash as typed here
    {u"ｶﾞｰﾃﾞﾝ", QByteArray::fromHex("b6deb0c3dedd")},             // half-width kana are one byte
    {u"ＡＢＣ１２３", QByteArray::fromHex("826082618262825082518252")},
};

} // namespace

TEST(Cp932, EncodesNamesAsWindowsWritesThemAndDecodesThemBack)
{
    for (const Sample& s : kSamples) {
        const QString text = QString::fromUtf16(s.text);
        qsizetype substituted = -1;
        EXPECT_EQ(cp932::encode(text, &substituted).toHex(), s.bytes.toHex()) << text.toStdString();
        EXPECT_EQ(substituted, 0) << text.toStdString();
        EXPECT_EQ(cp932::decode(s.bytes), text) << text.toStdString();
    }
}

TEST(Cp932, BothTildeFormsShareOneByteSequenceThatStaysAsWindowsWroteIt)
{
    // Windows maps U+FF5E to 0x8160; the wave dash U+301C that input methods
    // here produce must land on the same bytes, or a file shared with a
    // Windows machine would hold two spellings of one name.
    EXPECT_EQ(cp932::encode(u"～").toHex(), "8160");
    EXPECT_EQ(cp932::encode(u"〜").toHex(), "8160");
    // Reading and writing again leaves the file's bytes alone, and what was
    // typed as 〜 comes back as 〜.
    EXPECT_EQ(cp932::encode(cp932::decode(QByteArray::fromHex("8160"))).toHex(), "8160");
    EXPECT_EQ(cp932::decode(cp932::encode(u"営業時間9時〜17時")), QStringLiteral("営業時間9時〜17時"));
}

TEST(Cp932, CharactersTheCodePageLacksBecomeQuestionMarksAndTheRestConverts)
{
    struct Case {
        QString text;
        QByteArray expected;
        qsizetype substituted;
    };
    const Case cases[] = {
        {QStringLiteral("𠮷野家"), QByteArray("?") + QByteArray::fromHex("96ec89c6"), 1}, // one '?' per surrogate pair
        {QStringLiteral("Café"), "Caf?", 1},
        {QStringLiteral("😀OK"), "?OK", 1},
        {QStringLiteral("a𠮷b é c"), "a?b ? c", 2},
        {QString(QChar(0xD800)) + QStringLiteral("x"), "?x", 1}, // a lone surrogate
        {QStringLiteral("x") + QChar(0xDC00), "x?", 1},
        {QStringLiteral("?"), "?", 0},
        {QString(), QByteArray(), 0},
    };
    for (const Case& c : cases) {
        qsizetype substituted = -1;
        EXPECT_EQ(cp932::encode(c.text, &substituted).toHex(), c.expected.toHex()) << c.text.toStdString();
        EXPECT_EQ(substituted, c.substituted) << c.text.toStdString();
    }
}

TEST(Cp932, SeveralValuesInOneCallGiveWhatEachGivesAlone)
{
    // ASCII values between converted ones, values the code page lacks
    // characters of, empty ones; then the same with a separator byte inside
    // an ASCII value and inside a converted one.
    QList<QString> values = {QStringLiteral("03-1234-5678"),
                             QStringLiteral("𠮷野家"),
                             QString(),
                             QStringLiteral("a@example.jp"),
                             QStringLiteral("髙橋 〜 ｶﾞｰ"),
                             QStringLiteral("Café"),
                             QStringLiteral("100"),
                             QStringLiteral("😀")};
    const auto check = [](const QList<QString>& v) {
        std::vector<qsizetype> ends(v.size()), substituted(v.size());
        const QByteArray all = cp932::encodeEach(v.data(), v.size(), ends.data(), substituted.data());
        qsizetype from = 0;
        for (qsizetype i = 0; i < v.size(); ++i) {
            qsizetype alone = -1;
            EXPECT_EQ(all.mid(from, ends[i] - from).toHex(), cp932::encode(v[i], &alone).toHex()) << i;
            EXPECT_EQ(substituted[i], alone) << i;
            from = ends[i];
        }
        EXPECT_EQ(from, all.size());
    };
    check(values);
    values[3] = QStringLiteral("a\x1f@b");
    check(values);
    values[4] = QStringLiteral("髙\x1f橋");
    check(values);
}

TEST(Cp932, NamesEachLackingCharacterOnceInTheOrderTyped)
{
    // ㋿ (the Reiwa sign) came after the table; 🙂 and 𠮷 lie outside the BMP.
    EXPECT_EQ(cp932::unencodable(u"𠮷田🙂さん𠮷㋿é"),
              QStringList({QStringLiteral("𠮷"), QStringLiteral("🙂"), QStringLiteral("㋿"), QStringLiteral("é")}));
    EXPECT_EQ(cp932::unencodable(QString(QChar(0xD800)) + QStringLiteral("x")), QStringList{QString(QChar(0xD800))});
    EXPECT_TRUE(cp932::unencodable(u"髙橋 ㈱ナカムラ 〜 ｶﾞｰﾃﾞﾝ ?").isEmpty());
    EXPECT_TRUE(cp932::unencodable(u"plain ascii").isEmpty());
    EXPECT_TRUE(cp932::unencodable(QString()).isEmpty());
    // What it names is exactly what encode() replaces.
    const QString mixed = QStringLiteral("a𠮷b🙂c㋿d");
    qsizetype substituted = 0;
    cp932::encode(mixed, &substituted);
    EXPECT_EQ(cp932::unencodable(mixed).size(), substituted);
}

TEST(Cp932, EachInvalidByteDecodesToOneReplacementAndNothingAfterItIsLost)
{
    const QString fffd(QChar(0xFFFD));
    struct Case {
        QByteArray bytes;
        QString expected;
    };
    const Case cases[] = {
        {QByteArray::fromHex("80") + "ABC", fffd + QStringLiteral("ABC")},
        {"A" + QByteArray::fromHex("a0") + "B", QStringLiteral("A") + fffd + QStringLiteral("B")},
        {QByteArray::fromHex("fdfeff") + "end", fffd + fffd + fffd + QStringLiteral("end")},
        // A lead byte whose trail is not a trail byte: only the lead is bad.
        {QByteArray::fromHex("8120") + "x", fffd + QStringLiteral(" x")},
        {QByteArray::fromHex("817f8bb4"), fffd + QChar(0x7F) + QStringLiteral("橋")},
        // A lead byte cut off at the end of the text.
        {"abc" + QByteArray::fromHex("81"), QStringLiteral("abc") + fffd},
        // Bad bytes between good multi-byte characters.
        {QByteArray::fromHex("fbfc80fab1"), QStringLiteral("髙") + fffd + QStringLiteral("﨑")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cp932::decode(c.bytes), c.expected) << c.bytes.toHex().constData();

    // A long text with a bad byte every so often keeps every good character.
    QByteArray bytes;
    QString expected;
    for (int i = 0; i < 2000; ++i) {
        bytes += QByteArray::fromHex("8e52") + char(0x80);
        expected += QStringLiteral("山") + fffd;
    }
    EXPECT_EQ(cp932::decode(bytes), expected);
}

TEST(Cp932, DecodesEveryAsciiByteToItself)
{
    // Backslash and tilde stay ASCII: paths and URLs in memos survive.
    QByteArray all;
    for (int b = 1; b < 0x80; ++b)
        all += char(b);
    const QString text = cp932::decode(all);
    ASSERT_EQ(text.size(), all.size());
    for (qsizetype i = 0; i < all.size(); ++i)
        EXPECT_EQ(text[i].unicode(), char16_t(all[i])) << i;
    EXPECT_EQ(cp932::encode(text), all);
}

class Cp932Database : public coretest::DbDirTest { };

TEST_F(Cp932Database, NamesAreStoredAsCodePage932BytesAndReadBackUnchanged)
{
    initDatabase();
    QStringList names;
    for (const Sample& s : kSamples)
        names << QString::fromUtf16(s.text);
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        for (const QString& name : names)
            helper.exec_sql(customer::insertSql(coretest::customerRecord({name, QStringLiteral("カナ")})));
        helper.closeDBpoint();
    }

    coretest::RawDb raw(dbPath());
    for (size_t i = 0; i < std::size(kSamples); ++i) {
        const QByteArray hex =
            raw.scalar("select hex(person_name) from t_customer where rowid = " + QByteArray::number(qint64(i + 1)));
        EXPECT_EQ(hex, kSamples[i].bytes.toHex().toUpper()) << names[qsizetype(i)].toStdString();
    }

    TSQLiteDo helper;
    helper.getDBpoint(kDatabaseName);
    auto table = helper.query(QStringLiteral("select rowid, * from t_customer order by rowid"));
    ASSERT_EQ(table->Count(), quint32(names.size()));
    ASSERT_TRUE(table->MoveFirst());
    for (const QString& name : names) {
        EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("person_name")), name);
        EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("person_kana")), QStringLiteral("カナ"));
        table->Next();
    }
    EXPECT_TRUE(table->Eof());
}

TEST_F(Cp932Database, ACharacterOutsideTheCodePageIsStoredAndReadAsItsSubstitute)
{
    initDatabase();
    TSQLiteDo helper;
    helper.setDBpoint(kDatabaseName);
    helper.exec_sql(customer::insertSql(coretest::customerRecord({QStringLiteral("𠮷田 José 😀")})));
    auto table = helper.query(QStringLiteral("select person_name from t_customer"));
    ASSERT_TRUE(table->MoveFirst());
    EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("person_name")), QStringLiteral("?田 Jos? ?"));
    table.reset();
    helper.closeDBpoint();
    coretest::RawDb raw(dbPath());
    EXPECT_EQ(raw.scalar("select hex(person_name) from t_customer"),
              (QByteArray("?") + QByteArray::fromHex("9363") + " Jos? ?").toHex().toUpper());
}
