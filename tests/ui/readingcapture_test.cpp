// The reading of a commit, from the composition that came before it.

#include "roster/readingcapture.h"
#include "text/katakana.h"

#include <gtest/gtest.h>

using tessolo::hiraganaToKatakana;
using tessolo::isKanaOnly;
using tessolo::roster::readingForField;
using tessolo::roster::TReadingTracker;

TEST(ReadingCapture, HiraganaBecomesKatakanaAndNothingElseChanges)
{
    EXPECT_EQ(hiraganaToKatakana(u"やまだ　たろう"), QStringLiteral("ヤマダ　タロウ"));
    EXPECT_EQ(hiraganaToKatakana(u"ぁゔゕゖゝゞ"), QStringLiteral("ァヴヵヶヽヾ"));
    EXPECT_EQ(hiraganaToKatakana(u"山田ーabcカナ"), QStringLiteral("山田ーabcカナ"));
    EXPECT_TRUE(isKanaOnly(u"やまだー"));
    EXPECT_TRUE(isKanaOnly(u"ﾔﾏﾀﾞ"));
    EXPECT_FALSE(isKanaOnly(u""));
    EXPECT_FALSE(isKanaOnly(u"山田"));
    EXPECT_FALSE(isKanaOnly(u"やまだ "));
}

TEST(ReadingCapture, FieldFormIsTrimmedWidenedKatakana)
{
    EXPECT_EQ(readingForField(QStringLiteral(" やまだ\t")), QStringLiteral("ヤマダ"));
    EXPECT_EQ(readingForField(QStringLiteral("ﾊﾟｿｺﾝ")), QStringLiteral("パソコン"));
    EXPECT_EQ(readingForField(QString()), QString());
}

TEST(ReadingCapture, ACancelledCompositionLeavesNoReading)
{
    // As Mozc through IBus sends it: やまだ, Escape (the preedit empties,
    // nothing is committed), then a digit composed and committed.
    TReadingTracker t;
    t.preedit(QStringLiteral("やまだ"));
    t.preedit(QString());
    t.preedit(QStringLiteral("１"));
    EXPECT_EQ(t.commit(QStringLiteral("１")), QString());
    // Erased to nothing with Backspace, then a name typed in latin letters.
    t.preedit(QStringLiteral("た"));
    t.preedit(QString());
    t.preedit(QStringLiteral("ｔ"));
    t.preedit(QStringLiteral("Tom"));
    EXPECT_EQ(t.commit(QStringLiteral("Tom")), QString());
    // A preedit emptied just before its commit keeps its reading, and so
    // does the empty preedit that follows a commit.
    t.preedit(QStringLiteral("やまだ"));
    t.preedit(QStringLiteral("山田"));
    t.preedit(QString());
    EXPECT_EQ(t.commit(QStringLiteral("山田")), QStringLiteral("やまだ"));
    t.preedit(QString());
    t.preedit(QStringLiteral("たろう"));
    t.preedit(QStringLiteral("太郎"));
    EXPECT_EQ(t.commit(QStringLiteral("太郎")), QStringLiteral("たろう"));
}

TEST(ReadingCapture, LastKanaPreeditIsTheReadingOfTheCommit)
{
    TReadingTracker t;
    t.preedit(QStringLiteral("や"));
    t.preedit(QStringLiteral("やまだ"));
    t.preedit(QStringLiteral("山田"));
    t.preedit(QString()); // IBus clears the preedit before committing
    EXPECT_EQ(t.commit(QStringLiteral("山田")), QStringLiteral("やまだ"));
    // The reading is used once.
    EXPECT_EQ(t.commit(QStringLiteral("太郎")), QString());
    // A kana commit is its own reading, even after another kana preedit.
    t.preedit(QStringLiteral("かな"));
    EXPECT_EQ(t.commit(QStringLiteral("カナ")), QStringLiteral("カナ"));
    // A mixed preedit (part converted) does not replace the last kana one.
    t.preedit(QStringLiteral("たなかさん"));
    t.preedit(QStringLiteral("田中さん"));
    EXPECT_EQ(t.commit(QStringLiteral("田中さん")), QStringLiteral("たなかさん"));
}
