// The text rules of address printing: numbers in kanji for vertical setting,
// the honorific, and lines that never break inside a number.

#include "atena/atenalayout.h"
#include "atena/atenatext.h"

#include <gtest/gtest.h>

using namespace tessolo::atena;

namespace {

QString lines(const Page& page)
{
    QStringList out;
    for (const Glyph& g : page.glyphs)
        out << g.text;
    return out.join(QLatin1Char('|'));
}

} // namespace

TEST(AtenaText, KanjiNumeralsForTheUsualForms)
{
    EXPECT_EQ(kanjiNumerals(QStringLiteral("1-2-3")), QStringLiteral("一―二―三"));
    EXPECT_EQ(kanjiNumerals(QStringLiteral("1丁目2番3号")), QStringLiteral("一丁目二番三号"));
    EXPECT_EQ(kanjiNumerals(QStringLiteral("2丁目5番地")), QStringLiteral("二丁目五番地"));
    EXPECT_EQ(kanjiNumerals(QStringLiteral("12番地の4")), QStringLiteral("十二番地の四"));
    EXPECT_EQ(kanjiNumerals(QStringLiteral("1-2-3-405")), QStringLiteral("一―二―三―四〇五"));
    // Full-width digits and the long-vowel mark typed as a hyphen.
    EXPECT_EQ(kanjiNumerals(QStringLiteral("２０ー１０")), QStringLiteral("二十―十"));
}

TEST(AtenaText, TwoDigitsUprightSideBySideOnlyWhenChosen)
{
    const QList<Unit> units = verticalUnits(QStringLiteral("12番地の4"), true);
    ASSERT_FALSE(units.isEmpty());
    EXPECT_EQ(units.first().cells, (QList<Cell>{Cell{QStringLiteral("12"), CellForm::Combined}}));
    EXPECT_EQ(joined(units), QStringLiteral("12番地の四"));
    // The dash of a chain turns with the column.
    EXPECT_EQ(verticalUnits(QStringLiteral("1-2"), false).first().cells.at(1).form, CellForm::Rotated);
}

TEST(AtenaText, HonorificChoice)
{
    const QString person = QStringLiteral("山田 太郎");
    const QString company = QStringLiteral("株式会社テソロ");
    EXPECT_EQ(honorificFor(Honorific::Auto, person, company), QStringLiteral("様"));
    EXPECT_EQ(honorificFor(Honorific::Auto, QString(), company), QStringLiteral("御中"));
    EXPECT_EQ(honorificFor(Honorific::Auto, QStringLiteral(" "), company), QStringLiteral("御中"));
    EXPECT_EQ(honorificFor(Honorific::Dono, person, company), QStringLiteral("殿"));
    EXPECT_EQ(honorificFor(Honorific::Onchu, person, company), QStringLiteral("御中"));
    EXPECT_EQ(honorificFor(Honorific::None, person, company), QString());

    // The name line carries it: the company itself when there is no person.
    Recipient r;
    r.postal = QStringLiteral("1000001");
    r.prefecture = QStringLiteral("東京都");
    r.city = QStringLiteral("千代田区");
    r.town = QStringLiteral("千代田1-1");
    r.company = company;
    const LabelSheet sheet = LabelSheet::twelve();
    const QList<Page> pages = labelPages(
        {r}, sheet, Options{}, [](const QString& t) { return double(t.size()); }, nullptr);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(lines(pages.first()).endsWith(QStringLiteral("株式会社テソロ　御中")))
        << qPrintable(lines(pages.first()));
}

TEST(AtenaText, NoBreakInsideANumber)
{
    const QString address = QStringLiteral("東京都千代田区霞が関1-2-3-405");
    const QList<Unit> units = horizontalUnits(address);
    QString before;
    qsizetype at = 0;
    for (int b : breakPoints(units)) {
        for (; at < b; ++at)
            before += joined({units.at(at)});
        const QString rest = address.mid(before.size());
        EXPECT_FALSE(before.back().isDigit() && (rest.front().isDigit() || rest.front() == QLatin1Char('-')))
            << qPrintable(before + QStringLiteral(" / ") + rest);
        EXPECT_FALSE(before.back() == QLatin1Char('-')) << qPrintable(before);
    }

    // A label just too narrow for the address in one line wraps it before
    // the number, never inside it, and sets nothing outside the label.
    Recipient r;
    r.postal = QStringLiteral("1000013");
    r.prefecture = QStringLiteral("東京都");
    r.city = QStringLiteral("千代田区");
    r.town = QStringLiteral("霞が関1-2-3-405");
    r.person = QStringLiteral("山田太郎");
    const LabelSheet sheet = LabelSheet::grid(1, 1, QSizeF(60, 40), 0, 0);
    const auto measure = [](const QString& t) { return double(t.size()); };
    const Page page = labelPages({r}, sheet, Options{}, measure, nullptr).first();
    const QString text = lines(page);
    EXPECT_TRUE(text.contains(QStringLiteral("|1-2-3-405|"))) << qPrintable(text);
    for (const Glyph& g : page.glyphs) {
        EXPECT_LE(g.pos.x() + measure(g.text) * g.size, sheet.label.width() + 1e-6) << qPrintable(g.text);
        EXPECT_LE(g.pos.y() + g.size, sheet.label.height() + 1e-6) << qPrintable(g.text);
    }
}

TEST(AtenaText, PostalBoxesWhereThePostcardHasThem)
{
    const QList<QPointF> c = postalBoxCentres();
    const double x[] = {47.15, 54.15, 61.15, 68.75, 75.55, 82.35, 89.15};
    ASSERT_EQ(c.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_NEAR(c.at(i).x(), x[i], 1e-9);
        EXPECT_NEAR(c.at(i).y(), 16.0, 1e-9);
    }
    EXPECT_EQ(pageCount(1000, false, LabelSheet::twentyFour(), 1), 42);
    EXPECT_EQ(pageCount(24, false, LabelSheet::twentyFour(), 2), 2);
}
