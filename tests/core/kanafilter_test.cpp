// The kana-row filter run against readings stored the way the roster stores
// them (code page 932 through the helper): every one of the 57 codes lists
// exactly the readings that begin with one of its kana. The expectations come
// from the table below, written independently of the code under test.

#include "coretest.h"

#include "text/cp932.h"
#include "customer/customer.h"
#include "customer/kanafilter.h"

#include <QMap>
#include <QSet>

using namespace tessolo;

namespace {

struct Expected {
    int code;
    const char* objectName;
    const char16_t* caption;
    const char16_t* patterns;
};

const Expected kTable[] = {
    {0, "btn_ALL", u"全表示", u""},  {1, "btnA", u"ア行", u"アイウエオ"},
    {2, "PM_aa", u"ア", u"ア"},      {3, "PM_i", u"イ", u"イ"},
    {4, "PM_u", u"ウ", u"ウ"},       {5, "PM_e", u"エ", u"エ"},
    {6, "PM_o", u"オ", u"オ"},       {7, "btnK", u"カ行", u"カキクケコガギグゲゴ"},
    {8, "PM_ka", u"カ", u"カガ"},    {9, "PM_ki", u"キ", u"キギ"},
    {10, "PM_ku", u"ク", u"クグ"},   {11, "PM_ke", u"ケ", u"ケゲ"},
    {12, "PM_ko", u"コ", u"コゴ"},   {13, "btnS", u"サ行", u"サシスセソザジズゼゾ"},
    {14, "PM_sa", u"サ", u"サザ"},   {15, "PM_si", u"シ", u"シジ"},
    {16, "PM_su", u"ス", u"スズ"},   {17, "PM_se", u"セ", u"セゼ"},
    {18, "PM_so", u"ソ", u"ソゾ"},   {19, "btnT", u"タ行", u"タチツテトダヂヅデド"},
    {20, "PM_ta", u"タ", u"タ"},     {21, "PM_ti", u"チ", u"チヂ"},
    {22, "PM_tu", u"ツ", u"ツヅ"},   {23, "PM_te", u"テ", u"テデ"},
    {24, "PM_to", u"ト", u"トド"},   {25, "btnN", u"ナ行", u"ナニヌネノ"},
    {26, "PM_na", u"ナ", u"ナ"},     {27, "PM_ni", u"ニ", u"ニ"},
    {28, "PM_nu", u"ヌ", u"ヌ"},     {29, "PM_ne", u"ネ", u"ネ"},
    {30, "PM_no", u"ノ", u"ノ"},     {31, "btnH", u"ハ行", u"ハヒフヘホバビブベボパピプペポ"},
    {32, "PM_ha", u"ハ", u"ハバパ"}, {33, "PM_hi", u"ヒ", u"ヒビピ"},
    {34, "PM_hu", u"フ", u"フブプ"}, {35, "PM_he", u"へ", u"ヘベペ"},
    {36, "PM_ho", u"ホ", u"ホボポ"}, {37, "btnM", u"マ行", u"マミムメモ"},
    {38, "PM_ma", u"マ", u"マ"},     {39, "PM_mi", u"ミ", u"ミ"},
    {40, "PM_mu", u"ム", u"ム"},     {41, "PM_me", u"メ", u"メ"},
    {42, "PM_mo", u"モ", u"モ"},     {43, "btnY", u"ヤ行", u"ヤユヨ"},
    {44, "PM_ya", u"ヤ", u"ヤ"},     {45, "PM_yu", u"ユ", u"ユ"},
    {46, "PM_yo", u"ヨ", u"ヨ"},     {47, "btnR", u"ラ行", u"ラリルレロ"},
    {48, "PM_ra", u"ラ", u"ラ"},     {49, "PM_ri", u"リ", u"リ"},
    {50, "PM_ru", u"ル", u"ル"},     {51, "PM_re", u"レ", u"レ"},
    {52, "PM_ro", u"ロ", u"ロ"},     {53, "btnW", u"ワ行", u"ワヲン"},
    {54, "PM_wa", u"ワ", u"ワ"},     {55, "PM_wo", u"ヲ", u"ヲ"},
    {56, "PM_wn", u"ン", u"ン"},
};

// First letters of the stored readings: every kana a pattern names, the
// hiragana of some (listed as the katakana they stand for), and neighbours no
// code names (small kana, ヴ, ヵ, ヶ, ー, half-width, Latin), which only
// "全表示" may list.
const char16_t kUnlisted[] = u"ァィゥェォッャュョヮヴヵヶーヰヱかがぱたんｶﾊＡa1";

// A reading as the buttons and the order take it: hiragana as katakana.
QString asKatakana(QString s)
{
    for (QChar& c : s) {
        if (c.unicode() >= 0x3041 && c.unicode() <= 0x3093)
            c = QChar(char16_t(c.unicode() + 0x60));
    }
    return s;
}

class KanaFilter : public coretest::DbDirTest {
protected:
    void SetUp() override
    {
        coretest::DbDirTest::SetUp();
        initDatabase();
        QSet<QChar> firsts;
        for (const Expected& e : kTable) {
            for (QChar c : QString::fromUtf16(e.patterns))
                firsts.insert(c);
        }
        for (QChar c : QString::fromUtf16(kUnlisted))
            firsts.insert(c);

        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        helper.beginTransaction();
        int n = 0;
        auto add = [&](const QString& reading) {
            const QString name = QStringLiteral("N%1").arg(n++);
            m_readings.insert(name, reading);
            helper.exec_sql2(customer::insertSql(coretest::customerRecord({name, reading})));
        };
        for (QChar c : firsts) {
            add(QString(c));                            // the kana alone
            add(QString(c) + QStringLiteral("タナカ")); // and with more after it
        }
        add(QString()); // an empty reading
        helper.commitTransaction();
    }

    // person_name -> person_kana, as listed for the code, in list order.
    QList<std::pair<QString, QString>> list(int code)
    {
        TSQLiteDo helper;
        helper.getDBpoint(kDatabaseName);
        auto table = helper.query(kana::queryText(code));
        QList<std::pair<QString, QString>> out;
        if (table->MoveFirst()) {
            while (!table->Eof()) {
                out.append({table->NamedFieldAsString(QStringLiteral("person_name")),
                            table->NamedFieldAsString(QStringLiteral("person_kana"))});
                table->Next();
            }
        }
        return out;
    }

    QMap<QString, QString> m_readings;
};

} // namespace

TEST(KanaCodes, TheTableOfCodesNamesCaptionsAndPatterns)
{
    const auto& codes = kana::codes();
    ASSERT_EQ(codes.size(), std::size(kTable));
    for (size_t i = 0; i < codes.size(); ++i) {
        const Expected& e = kTable[i];
        EXPECT_EQ(codes[i].code, e.code);
        EXPECT_EQ(codes[i].objectName, QString::fromLatin1(e.objectName)) << e.code;
        EXPECT_EQ(codes[i].caption, QString::fromUtf16(e.caption)) << e.code;
        EXPECT_EQ(codes[i].patterns.join(QString()), QString::fromUtf16(e.patterns)) << e.code;
    }
    EXPECT_EQ(codes[35].caption, QString(QChar(0x3078))); // hiragana へ
    EXPECT_EQ(codes[35].patterns.first(), QString(QChar(0x30D8)));

    const auto rows = kana::rowButtons();
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows.front()->objectName, QStringLiteral("btn_ALL"));
    EXPECT_TRUE(kana::popupItems(0).empty());
    size_t items = 0;
    for (const auto* row : rows)
        items += kana::popupItems(row->code).size();
    EXPECT_EQ(items, 57u - 11u);
    ASSERT_EQ(kana::popupItems(43).size(), 3u);
    EXPECT_EQ(kana::popupItems(43)[2]->objectName, QStringLiteral("PM_yo"));
}

TEST(KanaCodes, QueryTextsAreTheFixedOnes)
{
    EXPECT_EQ(kana::queryText(8),
              QStringLiteral("select rowid, *  from t_customer where rowid >=0   and person_kana "
                             "glob 'カ*' OR person_kana glob 'ガ*' ORDER BY person_kana COLLATE kana"));
    EXPECT_EQ(kana::queryText(0),
              QStringLiteral("select rowid, *  from t_customer where rowid >=0   ORDER BY person_kana COLLATE kana"));
    EXPECT_EQ(kana::queryText(57), kana::queryText(0));
    EXPECT_EQ(kana::queryText(255), kana::queryText(0));
    EXPECT_EQ(kana::queryText(20),
              QStringLiteral("select rowid, *  from t_customer where rowid >=0   and person_kana "
                             "glob 'タ*' ORDER BY person_kana COLLATE kana"));
}

TEST_F(KanaFilter, EveryCodeListsExactlyTheReadingsBeginningWithItsKana)
{
    for (int code : {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,  17,  18, 19, 20,
                     21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37,  38,  39, 40, 41,
                     42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 100, 255, -1}) {
        const bool all = code < 1 || code > 56;
        const QString patterns = all ? QString() : QString::fromUtf16(kTable[code].patterns);
        QSet<QString> expected;
        for (auto it = m_readings.cbegin(); it != m_readings.cend(); ++it) {
            if (all || (!it.value().isEmpty() && patterns.contains(asKatakana(it.value())[0])))
                expected.insert(it.key());
        }
        const auto listed = list(code);
        QSet<QString> got;
        for (const auto& [name, reading] : listed)
            got.insert(name);
        EXPECT_EQ(listed.size(), expected.size()) << "code " << code;
        for (const QString& name : expected - got)
            ADD_FAILURE() << "code " << code << " misses " << m_readings[name].toStdString();
        for (const QString& name : got - expected)
            ADD_FAILURE() << "code " << code << " lists " << m_readings[name].toStdString();

        // In reading order by the stored bytes, a hiragana read as its katakana.
        for (qsizetype i = 1; i < listed.size(); ++i) {
            const QByteArray a = cp932::encode(asKatakana(listed[i - 1].second));
            const QByteArray b = cp932::encode(asKatakana(listed[i].second));
            EXPECT_TRUE(a < b || (a == b && cp932::encode(listed[i - 1].second) <= cp932::encode(listed[i].second)))
                << "code " << code << " at " << i;
        }
    }
}

TEST_F(KanaFilter, TheCasesUsersNotice)
{
    auto readings = [&](int code) {
        QStringList out;
        for (const auto& [name, reading] : list(code))
            out << reading;
        return out;
    };
    const QStringList ta = readings(20);
    EXPECT_TRUE(ta.contains(QStringLiteral("タタナカ")) && ta.contains(QStringLiteral("タ")));
    EXPECT_FALSE(ta.contains(QStringLiteral("ダ")));
    EXPECT_TRUE(readings(19).contains(QStringLiteral("ダタナカ")));
    EXPECT_TRUE(readings(21).contains(QStringLiteral("ヂ")));
    // ゼ's second byte is '[' and ソ's is '\': both must still be found.
    EXPECT_TRUE(readings(17).contains(QStringLiteral("ゼタナカ")));
    EXPECT_TRUE(readings(18).contains(QStringLiteral("ソ")));
    EXPECT_TRUE(readings(36).contains(QStringLiteral("ポ")));
    const QStringList a = readings(1);
    EXPECT_FALSE(a.contains(QStringLiteral("ァ")));
    EXPECT_FALSE(readings(53).contains(QStringLiteral("ヴ")));
    // Hiragana typed by hand: found under its kana, stored as typed, and
    // ordered with the katakana it stands for.
    const QStringList ka = readings(8);
    EXPECT_TRUE(ka.contains(QStringLiteral("かタナカ")) && ka.contains(QStringLiteral("が")));
    EXPECT_FALSE(readings(9).contains(QStringLiteral("か")));
    EXPECT_TRUE(readings(20).contains(QStringLiteral("たタナカ")));
    EXPECT_TRUE(readings(56).contains(QStringLiteral("ん")));
    EXPECT_EQ(ka.indexOf(QStringLiteral("かタナカ")), ka.indexOf(QStringLiteral("カタナカ")) - 1);
    // "全表示" lists everyone, the empty reading first.
    const QStringList all = readings(0);
    EXPECT_EQ(all.size(), m_readings.size());
    EXPECT_EQ(all.first(), QString());
}

TEST_F(KanaFilter, AReadingSearchCarriesTypedQuotesAsText)
{
    const QString typed = QStringLiteral("O'Brien'); delete from t_customer; --");
    {
        TSQLiteDo helper;
        helper.setDBpoint(kDatabaseName);
        helper.exec_sql(
            customer::insertSql(coretest::customerRecord({QStringLiteral("Q"), typed + QStringLiteral("X")})));
    }
    const qint64 before = m_readings.size() + 1;
    TSQLiteDo helper;
    helper.getDBpoint(kDatabaseName);
    auto table = helper.query(kana::nameSearchText(typed));
    ASSERT_EQ(table->Count(), 1u);
    EXPECT_EQ(table->NamedFieldAsString(QStringLiteral("person_name")), QStringLiteral("Q"));
    EXPECT_EQ(helper.query(QStringLiteral("select * from t_customer"))->Count(), quint32(before));
    EXPECT_EQ(helper.query(kana::nameSearchText(QStringLiteral("ゼタ")))->Count(), 1u);
}
