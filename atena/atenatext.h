#pragma once
// The text rules of address printing, free of any window or font: numbers as
// kanji numerals for vertical setting, the honorific after the name, the
// units a line may break between (never inside a number), and the cells a
// vertical column is made of.

#include <QList>
#include <QString>

namespace tessolo::atena {

enum class Honorific {
    Auto, // 様, or 御中 when only a company is addressed
    Sama,
    Dono,
    Onchu,
    None,
};

// The word after the name line. `person` and `company` are the recipient's.
QString honorificFor(Honorific choice, const QString& person, const QString& company);

// Every number of `text` (ASCII or full-width digits, and chains of them
// joined by hyphens: 1-2-3) written in kanji numerals: one or two digits as
// counted (12 → 十二), longer ones digit by digit (405 → 四〇五), hyphens of a
// chain as ―. 2丁目5番地 → 二丁目五番地, 1-2-3 → 一―二―三.
QString kanjiNumerals(const QString& text);

// How one cell of a vertical column is set.
enum class CellForm {
    Upright,  // as it stands
    Rotated,  // turned a quarter clockwise: ー, dashes, brackets
    Combined, // two digits side by side in one cell (縦中横)
};

struct Cell {
    QString text;
    CellForm form = CellForm::Upright;
    bool operator==(const Cell&) const = default;
};

// A run of cells that a line never breaks inside (a number with its
// hyphens, or one character), and whether a break before it reads well
// (after a blank, before a number, at a part of the address).
struct Unit {
    QList<Cell> cells;
    bool preferBreakBefore = false;
    bool noBreakBefore = false; // small kana, ー, closing brackets and marks
    bool noBreakAfter = false;  // opening brackets
};

// `text` as units for a vertical column: numbers in kanji, or with
// `combineTwoDigits` two-digit numbers upright side by side; ASCII widened;
// dashes and brackets turned.
QList<Unit> verticalUnits(const QString& text, bool combineTwoDigits);

// `text` as units for a horizontal line; each cell one character as typed
// (a number with its hyphens stays one unit).
QList<Unit> horizontalUnits(const QString& text);

// The units joined back into text.
QString joined(const QList<Unit>& units);
int cellCount(const QList<Unit>& units);

// Where `units` may be broken into two lines: the indices i (0 < i < size)
// such that a break before unit i is allowed.
QList<int> breakPoints(const QList<Unit>& units);

} // namespace tessolo::atena
