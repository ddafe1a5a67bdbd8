// Groups, joint names and the honorific kept as lines of the memo: read back
// as written, the user's note left exactly as it was, and the same after the
// memo has been through a CSV file in code page 932.

#include "customer/customerexport.h"
#include "customer/memofields.h"
#include "text/commatext.h"
#include "text/cp932.h"

#include <gtest/gtest.h>

namespace memo = tessolo::customer::memo;

namespace {

memo::Fields sample(const QString& note)
{
    memo::Fields f;
    f.note = note;
    f.groups = {QStringLiteral("年賀状"), QStringLiteral("DM不要")};
    f.joint = {{QStringLiteral("花子"), QString()}, {QStringLiteral("一郎"), QStringLiteral("くん")}};
    f.honorific = QStringLiteral("先生");
    return f;
}

} // namespace

TEST(MemoFields, WrittenAsReadableLinesAndReadBackWithTheNoteUntouched)
{
    const QString note = QStringLiteral("毎年12月に連絡\r\n#3 は会議室\r\n");
    const QString text = memo::compose(sample(note));
    EXPECT_TRUE(text.startsWith(note)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("連名：花子、一郎（くん）")));
    EXPECT_TRUE(text.contains(QStringLiteral("敬称：先生")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n#年賀状 #DM不要"))) << text.toStdString();
    EXPECT_EQ(memo::parse(text), sample(note));

    // A memo without fields is all note, line breaks and all; groups typed by
    // hand with a full-width ＃, anywhere, are read too.
    const QString plain = QStringLiteral("一行目\n\n三行目\n");
    EXPECT_EQ(memo::parse(plain).note, plain);
    EXPECT_EQ(memo::compose(memo::parse(plain)), plain);
    const memo::Fields typed = memo::parse(QStringLiteral("＃喪中　#年賀状\n連名:次郎(ちゃん)\n本文"));
    EXPECT_EQ(typed.groups, (QStringList{QStringLiteral("喪中"), QStringLiteral("年賀状")}));
    EXPECT_EQ(typed.joint, (QList<memo::Joint>{{QStringLiteral("次郎"), QStringLiteral("ちゃん")}}));
    EXPECT_EQ(typed.note, QStringLiteral("本文"));
}

TEST(MemoFields, SurviveACsvRoundTripInCodePage932)
{
    const memo::Fields f = sample(QStringLiteral("担当：鈴木\r\n\"至急\", 折り返し"));
    const QStringList values{QStringLiteral("山田 太郎"), QStringLiteral("ヤマダ タロウ"), memo::compose(f)};
    QByteArray line = tessolo::cp932::encode(tessolo::customerexport::csvLine(values));
    ASSERT_TRUE(line.endsWith("\r\n"));
    line.chop(2);
    const QStringList back = tessolo::splitCommaText(tessolo::cp932::decode(line));
    ASSERT_EQ(back.size(), 3);
    const memo::Fields read = memo::parse(back.at(2));
    EXPECT_EQ(read.groups, f.groups);
    EXPECT_EQ(read.joint, f.joint);
    EXPECT_EQ(read.honorific, f.honorific);
    // The file carries line breaks inside a cell as LF.
    EXPECT_EQ(read.note, QStringLiteral("担当：鈴木\n\"至急\", 折り返し"));
}

TEST(MemoFields, GroupsAddedAndRemovedForManyAndFiltered)
{
    const QString m = QStringLiteral("メモ");
    const QString added = memo::withGroups(m, {QStringLiteral("#年賀状"), QStringLiteral("DM 不要")}, {});
    EXPECT_EQ(added, QStringLiteral("メモ\r\n#年賀状 #DM不要"));
    EXPECT_EQ(memo::withGroups(added, {}, {QStringLiteral("年賀状"), QStringLiteral("DM不要")}), m);
    EXPECT_EQ(memo::withGroups(m, {}, {QStringLiteral("年賀状")}), m);

    EXPECT_EQ(memo::splitGroups(QStringLiteral("年賀状・DM不要、喪中, 年賀状　取引先")),
              (QStringList{QStringLiteral("年賀状"), QStringLiteral("DM不要"), QStringLiteral("喪中"),
                           QStringLiteral("取引先")}));

    const memo::GroupFilter none{memo::GroupFilter::NoGroup, {}};
    const memo::GroupFilter nenga{memo::GroupFilter::Group, QStringLiteral("年賀状")};
    EXPECT_TRUE(none.accepts(m));
    EXPECT_FALSE(none.accepts(added));
    EXPECT_TRUE(nenga.accepts(added));
    EXPECT_FALSE(nenga.accepts(QStringLiteral("#年賀状は不要")));
}
