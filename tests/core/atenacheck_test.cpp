// Before a mailing: members of 送付しない groups left out and counted, and the
// recipients whose postal code or address would print wrongly named.

#include "atena/atenacheck.h"

#include <QLineF>
#include <gtest/gtest.h>

using namespace tessolo::atena;

namespace {

Recipient person(qint64 rowid, const QString& postal, const QString& pref, const QString& city, const QString& town,
                 const QString& name = QStringLiteral("山田 太郎"))
{
    Recipient r;
    r.rowid = rowid;
    r.postalTyped = postal;
    r.postal = tessolo::postal::cleaned(postal);
    r.prefecture = pref;
    r.city = city;
    r.town = town;
    r.person = name;
    return r;
}

QStringList reasonsFor(const QList<Problem>& problems, qint64 rowid)
{
    for (const Problem& p : problems) {
        if (p.rowid == rowid)
            return p.reasons;
    }
    return {};
}

} // namespace

TEST(AtenaHeld, MembersOfHeldGroupsAreLeftOutAndCountedOnceEach)
{
    QList<Recipient> list;
    const QList<QStringList> groups = {{QStringLiteral("年賀状")},
                                       {QStringLiteral("DM不要")},
                                       {QStringLiteral("DM不要"), QStringLiteral("喪中")},
                                       {},
                                       {QStringLiteral("DM不要"), QStringLiteral("年賀状")}};
    for (qsizetype i = 0; i < groups.size(); ++i) {
        list << person(i + 1, QStringLiteral("1000001"), QStringLiteral("東京都"), QStringLiteral("千代田区"),
                       QStringLiteral("千代田1-1"));
        list.back().groups = groups.at(i);
    }
    const Held held = leaveOutHeld(list, {QStringLiteral("喪中"), QStringLiteral("DM不要")});
    ASSERT_EQ(held.kept.size(), 2);
    EXPECT_EQ(held.kept.at(0).rowid, 1);
    EXPECT_EQ(held.kept.at(1).rowid, 4);
    EXPECT_EQ(held.total(), 3);
    EXPECT_EQ(held.message(), QStringLiteral("喪中 1 件、DM不要 2 件を除きました"));
    EXPECT_EQ(leaveOutHeld(list, {}).kept.size(), 5);
    EXPECT_TRUE(leaveOutHeld(list, {}).message().isEmpty());
}

TEST(AtenaProblems, PostalCodesThatWouldPrintWronglyAreNamed)
{
    const QList<Recipient> list = {
        // Written with 〒 and a full-width hyphen: cleaned, it is a good code.
        person(1, QStringLiteral("〒100－0001"), QStringLiteral("東京都"), QStringLiteral("千代田区"),
               QStringLiteral("千代田1-1")),
        person(2, QStringLiteral("〒100-001"), QStringLiteral("東京都"), QStringLiteral("千代田区"),
               QStringLiteral("千代田1-1")),
        person(3, QStringLiteral("100001"), QStringLiteral("東京都"), QStringLiteral("千代田区"),
               QStringLiteral("千代田1-1")),
        // The code of 千代田区 on an address in 港区.
        person(4, QStringLiteral("1000001"), QStringLiteral("東京都"), QStringLiteral("港区"),
               QStringLiteral("芝公園4-2-8")),
        person(5, QStringLiteral("9999999"), QStringLiteral("東京都"), QStringLiteral("千代田区"),
               QStringLiteral("千代田1-1")),
        // A designated city's ward written in the town field is the same area.
        person(6, QStringLiteral("2310023"), QStringLiteral("神奈川県"), QStringLiteral("横浜市"),
               QStringLiteral("中区山下町1")),
        person(7, QString(), QString(), QString(), QString()),
        person(8, QStringLiteral("1000001"), QStringLiteral("東京都"), QStringLiteral("千代田区"),
               QStringLiteral("千代田1-1"), QStringLiteral("髙?橋 一郎")),
    };
    int asked = 0;
    const PostalLookup lookup = [&asked](const QString& code) -> QList<tessolo::postal::PostalAddress> {
        ++asked;
        if (code == QLatin1String("1000001"))
            return {{QStringLiteral("東京都"), QStringLiteral("千代田区"), QStringLiteral("千代田")}};
        if (code == QLatin1String("2310023"))
            return {{QStringLiteral("神奈川県"), QStringLiteral("横浜市中区"), QStringLiteral("山下町")}};
        return {};
    };
    const QList<Problem> problems = problemsOf(list, lookup);
    QList<qint64> named;
    for (const Problem& p : problems)
        named << p.rowid;
    EXPECT_EQ(named, (QList<qint64>{2, 3, 4, 5, 7, 8}));
    EXPECT_TRUE(reasonsFor(problems, 2).join(QString()).contains(QStringLiteral("7桁")));
    EXPECT_TRUE(reasonsFor(problems, 3).join(QString()).contains(QStringLiteral("7桁")));
    EXPECT_TRUE(reasonsFor(problems, 4).join(QString()).contains(QStringLiteral("東京都千代田区")));
    EXPECT_TRUE(reasonsFor(problems, 5).join(QString()).contains(QStringLiteral("郵便番号データにありません")));
    EXPECT_EQ(reasonsFor(problems, 7).size(), 2); // no address, no code
    EXPECT_EQ(reasonsFor(problems, 8), QStringList{QStringLiteral("名前に「?」があります")});
    EXPECT_EQ(asked, 5); // malformed codes are never looked up

    // Without a postal list no code is called unknown.
    EXPECT_TRUE(reasonsFor(problemsOf(list, {}), 5).isEmpty());

    // The cleaned code fills the seven boxes; a malformed one leaves them empty.
    const QList<Page> cards = postcardPages({list.at(0), list.at(2)}, Options{}, nullptr);
    const QList<QPointF> boxes = postalBoxCentres();
    const auto boxed = [&boxes](const Page& page) {
        QString digits;
        for (const Glyph& g : page.glyphs) {
            for (const QPointF& c : boxes) {
                if (QLineF(g.pos, c).length() < 0.01)
                    digits += g.text;
            }
        }
        return digits;
    };
    EXPECT_EQ(boxed(cards.at(0)), QStringLiteral("1000001"));
    EXPECT_EQ(boxed(cards.at(1)), QString());
}
