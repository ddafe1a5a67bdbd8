// Finding customers: what the user types matches however the text was
// written (width, hiragana or katakana, case), telephone numbers whatever
// their separators, and every word typed must be found.

#include "coretest.h"

#include "customer/customersearch.h"

using namespace tessolo;
using customersearch::TQuery;

namespace {

customer::Record sample()
{
    customer::Record r;
    r[0] = QStringLiteral("山田太郎");
    r[1] = QStringLiteral("ﾔﾏﾀﾞﾀﾛｳ"); // imported half-width and never widened
    r[2] = QStringLiteral("ＡＢＣ商事");
    r[3] = QStringLiteral("エービーシーショウジ");
    r[5] = QStringLiteral("営業部");
    r[7] = QStringLiteral("東京都");
    r[8] = QStringLiteral("府中市");
    r[9] = QStringLiteral("宮西町4-5-6");
    r[10] = QStringLiteral("パークハイツ府中302");
    r[11] = QStringLiteral("03-1234-5678");
    r[12] = QStringLiteral("042(333)4444");
    r[13] = QStringLiteral("Taro@Example.JP");
    r[16] = QStringLiteral("毎月ゼロ日に訪問");
    return r;
}

bool finds(const QString& typed) { return TQuery(typed).matches(customersearch::keyOf(sample())); }

} // namespace

TEST(CustomerSearch, IgnoresWidthKanaAndCase)
{
    EXPECT_TRUE(finds(QStringLiteral("やまだ"))); // hiragana against half-width katakana
    EXPECT_TRUE(finds(QStringLiteral("ヤマダ")));
    EXPECT_TRUE(finds(QStringLiteral("abc")));   // full-width capitals in the company
    EXPECT_TRUE(finds(QStringLiteral("ｴｰﾋﾞｰ"))); // half-width with a sound mark
    EXPECT_TRUE(finds(QStringLiteral("taro@example.jp")));
    EXPECT_TRUE(finds(QStringLiteral("ＴＡＲＯ")));
    EXPECT_TRUE(finds(QStringLiteral("宮西町４－５"))); // full-width digits and hyphen
    EXPECT_TRUE(finds(QStringLiteral("ぜろ")));         // ゼ is matched as a letter, not as bytes
    EXPECT_FALSE(finds(QStringLiteral("やまだ花子")));
    EXPECT_FALSE(finds(QStringLiteral("セロ")));
}

TEST(CustomerSearch, TelephoneNumbersIgnoreTheirSeparators)
{
    EXPECT_TRUE(finds(QStringLiteral("0312345678")));
    EXPECT_TRUE(finds(QStringLiteral("03-1234-5678")));
    EXPECT_TRUE(finds(QStringLiteral("０３ー１２３４"))); // the long-vowel mark an input method gives
    EXPECT_TRUE(finds(QStringLiteral("042-333-4444")));   // stored with brackets
    EXPECT_TRUE(finds(QStringLiteral("3334444")));
    EXPECT_FALSE(finds(QStringLiteral("0312349999")));
    // Separators are ignored only in the numbers: the address keeps its hyphens.
    EXPECT_FALSE(finds(QStringLiteral("宮西町456")));
}

TEST(CustomerSearch, TheAddressReadsAsOneAndEveryWordMustBeFound)
{
    EXPECT_TRUE(finds(QStringLiteral("府中市宮西町"))); // city and town run on
    EXPECT_TRUE(finds(QStringLiteral("都府中")));
    EXPECT_TRUE(finds(QStringLiteral("山田　府中"))); // a full-width blank between words
    EXPECT_FALSE(finds(QStringLiteral("山田 大阪")));
    EXPECT_FALSE(finds(QStringLiteral("太郎山田"))); // not across the name and the reading
    EXPECT_TRUE(TQuery(QStringLiteral("  ")).isEmpty());
    EXPECT_TRUE(finds(QString()));
}
