#include "atena/atenatext.h"

#include "text/zenkaku.h"

namespace tessolo::atena {

namespace {

const QString kKanjiDigits = QStringLiteral("〇一二三四五六七八九");
// Hyphens people type between the numbers of an address.
const QString kHyphens = QStringLiteral("-－‐−–—―ｰー");
// Set turned in a vertical column: they have a direction.
const QString kTurned = QStringLiteral("ー―－‐−–—~〜～…‥＝（）「」『』【】〔〕［］｛｝〈〉《》→←");
const QString kNoBreakBefore =
    QStringLiteral("ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶー、。，．・：；！？）」』】〕］｝〉》");
// What stands between the numbers of an address (丁目, 番地の, 号 …).
const QString kNumbering = QStringLiteral("の丁目番地号-－‐−ー―");
const QString kNoBreakAfter = QStringLiteral("（「『【〔［｛〈《");

int digitValue(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - u'0';
    if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
        return c.unicode() - 0xFF10;
    return -1;
}

bool isDigit(QChar c) { return digitValue(c) >= 0; }

// One number: counted with 十 up to two digits, digit by digit beyond.
QString kanjiNumber(const QString& digits)
{
    QString out;
    if (digits.size() <= 2 && digitValue(digits.at(0)) != 0) {
        const int tens = digits.size() == 2 ? digitValue(digits.at(0)) : 0;
        const int ones = digitValue(digits.back());
        if (tens > 1)
            out += kKanjiDigits.at(tens);
        if (tens > 0)
            out += QStringLiteral("十");
        if (ones > 0 || tens == 0)
            out += kKanjiDigits.at(ones);
        return out;
    }
    for (QChar c : digits)
        out += kKanjiDigits.at(digitValue(c));
    return out;
}

// A chain of digit runs joined by single hyphens, starting at `from`:
// the runs, and where the chain ends.
QStringList numberChain(const QString& text, qsizetype from, qsizetype* end)
{
    QStringList runs;
    qsizetype i = from;
    while (true) {
        const qsizetype start = i;
        while (i < text.size() && isDigit(text.at(i)))
            ++i;
        runs << text.mid(start, i - start);
        if (i + 1 < text.size() && kHyphens.contains(text.at(i)) && isDigit(text.at(i + 1))) {
            ++i;
            continue;
        }
        break;
    }
    *end = i;
    return runs;
}

void markBreaks(Unit& unit, QChar first, QChar last)
{
    unit.noBreakBefore = kNoBreakBefore.contains(first);
    unit.noBreakAfter = kNoBreakAfter.contains(last);
}

Unit charUnit(const QString& ch, bool vertical)
{
    Unit u;
    QString text = ch;
    if (vertical) {
        static const TCnvk2K widen;
        text = widen.ToZenkaku(ch);
    }
    const CellForm form = vertical && kTurned.contains(text) ? CellForm::Rotated : CellForm::Upright;
    u.cells << Cell{text, form};
    markBreaks(u, text.at(0), text.back());
    return u;
}

Unit numberUnit(const QStringList& runs, const QString& typed, bool vertical, bool combine)
{
    Unit u;
    if (!vertical) {
        for (QChar c : typed)
            u.cells << Cell{QString(c), CellForm::Upright};
        return u;
    }
    for (qsizetype r = 0; r < runs.size(); ++r) {
        if (r)
            u.cells << Cell{QStringLiteral("―"), CellForm::Rotated};
        const QString& run = runs.at(r);
        if (combine && run.size() == 2) {
            QString ascii;
            for (QChar c : run)
                ascii += QChar(u'0' + digitValue(c));
            u.cells << Cell{ascii, CellForm::Combined};
            continue;
        }
        for (QChar c : kanjiNumber(run))
            u.cells << Cell{QString(c), CellForm::Upright};
    }
    return u;
}

QList<Unit> units(const QString& text, bool vertical, bool combine)
{
    QList<Unit> out;
    bool afterBlank = false;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (isDigit(c)) {
            qsizetype end = i;
            const QStringList runs = numberChain(text, i, &end);
            Unit u = numberUnit(runs, text.mid(i, end - i), vertical, combine);
            // A number that begins the block (after the town's name) is a
            // good place for a line; one after 丁目, 番地の … is not.
            u.preferBreakBefore = i == 0 || !kNumbering.contains(text.at(i - 1));
            out << u;
            i = end;
            afterBlank = false;
            continue;
        }
        const qsizetype len = c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        Unit u = charUnit(text.mid(i, len), vertical);
        u.preferBreakBefore = afterBlank;
        afterBlank = c == QLatin1Char(' ') || c == QChar(0x3000);
        out << u;
        i += len;
    }
    return out;
}

} // namespace

QString honorificFor(Honorific choice, const QString& person, const QString& company)
{
    switch (choice) {
    case Honorific::Auto:
        return person.trimmed().isEmpty() && !company.trimmed().isEmpty() ? QStringLiteral("御中")
                                                                          : QStringLiteral("様");
    case Honorific::Sama: return QStringLiteral("様");
    case Honorific::Dono: return QStringLiteral("殿");
    case Honorific::Onchu: return QStringLiteral("御中");
    case Honorific::None: break;
    }
    return QString();
}

QString kanjiNumerals(const QString& text) { return joined(units(text, true, false)); }

QList<Unit> verticalUnits(const QString& text, bool combineTwoDigits) { return units(text, true, combineTwoDigits); }

QList<Unit> horizontalUnits(const QString& text) { return units(text, false, false); }

QString joined(const QList<Unit>& list)
{
    QString out;
    for (const Unit& u : list) {
        for (const Cell& c : u.cells)
            out += c.text;
    }
    return out;
}

int cellCount(const QList<Unit>& list)
{
    int n = 0;
    for (const Unit& u : list)
        n += int(u.cells.size());
    return n;
}

QList<int> breakPoints(const QList<Unit>& list)
{
    QList<int> out;
    for (int i = 1; i < list.size(); ++i) {
        if (!list.at(i).noBreakBefore && !list.at(i - 1).noBreakAfter)
            out << i;
    }
    return out;
}

} // namespace tessolo::atena
