// Widening readings: half-width katakana with their sound marks merged, ASCII
// and the blank to their full-width forms, everything else untouched.

#include "coretest.h"

#include "text/zenkaku.h"

using namespace tessolo;

namespace {
QString wide(const QString& s) { return TCnvk2K().ToZenkaku(s); }
} // namespace

TEST(ToZenkaku, TheCasesTheReadingsDependOn)
{
    EXPECT_EQ(wide(QString()), QString());
    EXPECT_EQ(wide(QStringLiteral("ｶﾀｶﾅ")), QStringLiteral("カタカナ"));
    const QString pasokon = wide(QStringLiteral("ﾊﾟｿｺﾝ"));
    EXPECT_EQ(pasokon, QStringLiteral("パソコン"));
    EXPECT_EQ(pasokon.size(), 4);
    EXPECT_EQ(wide(QStringLiteral("ﾃﾞｰﾀ 1")), QStringLiteral("データ　１"));
    EXPECT_EQ(wide(QStringLiteral("ｶﾞ")), QStringLiteral("ガ"));
    EXPECT_EQ(wide(QStringLiteral("ﾊﾟ")), QStringLiteral("パ"));
    EXPECT_EQ(wide(QStringLiteral("ｳﾞｨｵﾗ")), QStringLiteral("ヴィオラ"));
    EXPECT_EQ(wide(QStringLiteral("ｷｬｯﾁｰ｡｢ｶ｣､･")), QStringLiteral("キャッチー。「カ」、・"));
    EXPECT_EQ(wide(QStringLiteral("A1-")), QStringLiteral("Ａ１－"));
}

TEST(ToZenkaku, LeavesHiraganaKanjiAndFullWidthTextAlone)
{
    for (const QString& s : {QStringLiteral("やまだ"), QStringLiteral("山田太郎"), QStringLiteral("ヤマダ　タロウ"),
                             QStringLiteral("ＡＢＣ１２３"), QStringLiteral("ガギグゲゴ"), QStringLiteral("\r\n\t"),
                             QStringLiteral("𠮷野"), QStringLiteral("é")})
        EXPECT_EQ(wide(s), s) << s.toStdString();
}

TEST(ToZenkaku, EveryPrintableAsciiCharacterBecomesItsWidthPair)
{
    // NFKC folds a full-width form back to its ASCII character, so it checks
    // the pair without restating the offset.
    for (char16_t c = 0x21; c <= 0x7E; ++c) {
        const QString w = wide(QString(QChar(c)));
        ASSERT_EQ(w.size(), 1) << int(c);
        EXPECT_NE(w[0].unicode(), c) << int(c);
        EXPECT_EQ(w.normalized(QString::NormalizationForm_KC), QString(QChar(c))) << int(c);
    }
    EXPECT_EQ(wide(QStringLiteral(" ")), QString(QChar(0x3000)));
}

TEST(ToZenkaku, EveryHalfWidthKanaAndEveryMarkedPairMatchesUnicodesWidthPairs)
{
    // NFKC widens half-width katakana and composes a following sound mark
    // where a precomposed letter exists: an independent oracle for the table.
    const QChar voiced(0xFF9E), semi(0xFF9F);
    int merged = 0;
    for (char16_t c = 0xFF61; c <= 0xFF9D; ++c) {
        const QString one(QChar{c});
        EXPECT_EQ(wide(one), one.normalized(QString::NormalizationForm_KC)) << std::hex << int(c);
        for (QChar mark : {voiced, semi}) {
            const QString pair = one + mark;
            const QString nfkc = pair.normalized(QString::NormalizationForm_KC);
            const QString got = wide(pair);
            // ヷ and ヺ exist in Unicode but not in code page 932: merged, the
            // reading would be stored as '?', so those two stay apart.
            const bool storable = nfkc != QStringLiteral("ヷ") && nfkc != QStringLiteral("ヺ");
            if (nfkc.size() == 1 && storable) {
                EXPECT_EQ(got, nfkc) << std::hex << int(c) << " " << int(mark.unicode());
                ++merged;
            } else {
                // No precomposed letter: the mark stands on its own, spacing or combining.
                ASSERT_EQ(got.size(), 2) << std::hex << int(c);
                EXPECT_EQ(got[0], wide(one)[0]);
                const char16_t m = got[1].unicode();
                if (mark == voiced)
                    EXPECT_TRUE(m == 0x309B || m == 0x3099) << std::hex << int(m);
                else
                    EXPECT_TRUE(m == 0x309C || m == 0x309A) << std::hex << int(m);
            }
        }
    }
    // カ..ト (15 with ﾞ), ハ..ホ (5 with ﾞ, 5 with ﾟ) and ウ with ﾞ.
    EXPECT_EQ(merged, 26);
}

TEST(ToZenkaku, ALoneSoundMarkBecomesAFullWidthMarkOfItsOwn)
{
    for (const QString& s : {QStringLiteral("ﾞｱ"), QStringLiteral("ﾟ"), QStringLiteral("aﾞ"), QStringLiteral("ﾞﾞ")}) {
        const QString got = wide(s);
        EXPECT_EQ(got.size(), s.size()) << s.toStdString();
        for (qsizetype i = 0; i < s.size(); ++i) {
            const char16_t in = s[i].unicode(), out = got[i].unicode();
            if (in == 0xFF9E) {
                EXPECT_TRUE(out == 0x309B || out == 0x3099) << std::hex << int(out);
            } else if (in == 0xFF9F) {
                EXPECT_TRUE(out == 0x309C || out == 0x309A) << std::hex << int(out);
            }
        }
    }
    EXPECT_EQ(wide(QStringLiteral("ﾞｱ")).right(1), QStringLiteral("ア"));
    // A mark after a full-width letter is not merged into it.
    EXPECT_EQ(wide(QStringLiteral("カﾞ")).left(1), QStringLiteral("カ"));
}
