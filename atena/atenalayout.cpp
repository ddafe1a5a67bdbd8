#include "atena/atenalayout.h"

#include "postal/postalcode.h"

#include <algorithm>
#include <cmath>

namespace tessolo::atena {

namespace {

// The card: columns run between these, the address's first at the right.
constexpr double kOneColumnMinMm = 4.5; // below this the address takes two columns
constexpr double kCompanyMaxMm = 5.0;
constexpr double kDigitMm = 6.0;
constexpr double kSenderMm = 3.4;

constexpr double kLinePitch = 1.3; // line height of a label line, in ems
constexpr double kNameScale = 1.3; // the name line against the other lines
constexpr double kPadX = 2.5;
constexpr double kPadY = 2.0;
constexpr double kStepMm = 0.1;

// Where a vertically written card or envelope puts its parts, in mm.
struct Card {
    QSizeF paper;
    double top, bottom;  // the columns run between these
    double firstColumnX; // the address's first column, at the right
    double addressMax, nameMax;
    double nameX;
    double senderRight, senderTop, senderBottom;
};

const Card kPostcardCard{kPostcard, 26.0, 136.0, 88.0, 6.0, 11.0, 50.0, 30.0, 72.0, 128.0};
// 長形3号 (120 × 235): the same boxes, as far from the top-right corner.
const Card kNagagata3{QSizeF(120.0, 235.0), 32.0, 215.0, 104.0, 8.0, 15.0, 60.0, 30.0, 140.0, 212.0};

QList<Cell> cellsOf(const QList<Unit>& units, qsizetype from = 0, qsizetype to = -1)
{
    QList<Cell> out;
    if (to < 0)
        to = units.size();
    for (qsizetype i = from; i < to; ++i)
        out += units.at(i).cells;
    return out;
}

Glyph::Kind kindOf(CellForm form)
{
    switch (form) {
    case CellForm::Rotated: return Glyph::Rotated;
    case CellForm::Combined: return Glyph::Combined;
    case CellForm::Upright: break;
    }
    return Glyph::Upright;
}

void column(Page& page, const QList<Cell>& cells, double x, double top, double size, bool sender = false)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const Cell& c = cells.at(i);
        page.glyphs << Glyph{c.text, QPointF(x, top + (double(i) + 0.5) * size), size, kindOf(c.form), sender};
    }
}

// The break that leaves the shorter longer line; a sensible one counts as
// if that line were a quarter shorter. -1 when none is allowed.
int bestBreak(const QList<Unit>& units, int indentSecond)
{
    const int total = cellCount(units);
    const double bonus = std::max(3.0, total / 4.0);
    int best = -1;
    double bestCost = 1e9;
    int before = 0;
    int at = 0;
    for (int b : breakPoints(units)) {
        for (; at < b; ++at)
            before += int(units.at(at).cells.size());
        const double cost =
            std::max(before, total - before + indentSecond) - (units.at(b).preferBreakBefore ? bonus : 0.0);
        if (cost < bestCost) {
            bestCost = cost;
            best = b;
        }
    }
    return best;
}

struct Columns {
    QList<QList<Cell>> lines;
    double size = 0;
};

// The address in one column, or in two (the second a cell lower) when one
// would need too small a type.
Columns addressColumns(const Card& g, const Recipient& r, bool combine, double height)
{
    QList<Unit> units = verticalUnits(r.prefecture + r.city, combine);
    const qsizetype townAt = units.size();
    units += verticalUnits(r.town, combine);
    if (townAt > 0 && townAt < units.size())
        units[townAt].preferBreakBefore = true;
    const int n = std::max(1, cellCount(units));
    Columns c;
    c.size = std::min(g.addressMax, height / n);
    const int b = c.size >= kOneColumnMinMm ? -1 : bestBreak(units, 1);
    if (b < 0) {
        c.lines << cellsOf(units);
        return c;
    }
    const int first = cellCount(units.mid(0, b));
    const int second = n - first + 1;
    c.size = std::min(g.addressMax, height / std::max(first, second));
    c.lines << cellsOf(units, 0, b) << cellsOf(units, b);
    return c;
}

void postalDigits(Page& page, const QString& postal, double shift)
{
    QList<QPointF> centres = postalBoxCentres();
    for (QPointF& c : centres)
        c.rx() += shift;
    for (const QPointF& c : centres)
        page.guides << QRectF(c.x() - kPostalBox.width() / 2, c.y() - kPostalBox.height() / 2, kPostalBox.width(),
                              kPostalBox.height());
    // Only a whole code goes into the boxes: a 〒 sign or a hyphen there
    // would push the last digit out, and six digits would stand in the
    // wrong boxes. The check before printing names such a code.
    if (!postal::isSevenDigits(postal))
        return;
    for (qsizetype i = 0; i < postal.size() && i < centres.size(); ++i)
        page.glyphs << Glyph{postal.mid(i, 1), centres.at(i), kDigitMm, Glyph::Upright, false};
}

void senderBlock(const Card& g, Page& page, const Sender& s, bool combine, bool tel)
{
    if (s.isEmpty())
        return;
    const double height = g.senderBottom - g.senderTop;
    QList<QList<Unit>> cols;
    for (const QString& text : {s.address, s.building, s.name}) {
        if (!text.trimmed().isEmpty())
            cols << verticalUnits(text, combine);
    }
    double size = kSenderMm;
    for (const auto& u : cols)
        size = std::min(size, height / std::max(1, cellCount(u)));
    double x = g.senderRight - size / 2;
    for (qsizetype i = 0; i < cols.size(); ++i) {
        const bool building = i == 1 && cols.size() == 3;
        column(page, cellsOf(cols.at(i)), x, g.senderTop + (building ? 2 * size : 0), size, true);
        x -= size * 1.6;
    }
    const QString postal = postal::cleaned(s.postal);
    if (postal::isSevenDigits(postal))
        page.glyphs << Glyph{QStringLiteral("〒") + postal.left(3) + QLatin1Char('-') + postal.mid(3),
                             QPointF(6.0, g.senderBottom + 4.0), 3.0, Glyph::Line, true};
    if (tel && !s.tel.trimmed().isEmpty())
        page.glyphs << Glyph{QStringLiteral("TEL ") + s.tel.trimmed(), QPointF(6.0, g.senderBottom + 8.0), 3.0,
                             Glyph::Line, true};
}

// The person's family and given name, split at the first blank; without a
// blank the whole name counts as the given name's column.
std::pair<QString, QString> familyAndGiven(const QString& person)
{
    const QString t = person.trimmed();
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t.at(i) == QLatin1Char(' ') || t.at(i) == QChar(0x3000))
            return {t.left(i), t.mid(i + 1).trimmed()};
    }
    return {QString(), t};
}

// The name column with its honorific, centred in the card's height; the
// joint names (連名) follow to its left, each starting where the main given
// name starts and each honorific level with the main one, as family cards
// are written. Gives the em used.
double nameBlock(const Card& g, Page& page, const Recipient& r, const Options& o, double lastX, double height)
{
    const QString hon = r.honorificWith(o.honorific);
    const double gap = hon.isEmpty() ? 0.0 : 0.5;
    const bool person = !r.person.trimmed().isEmpty();
    QList<customer::memo::Joint> joint;
    for (const customer::memo::Joint& j : r.joint) {
        if (person && joint.size() < customer::memo::kMaxJoint && !j.name.trimmed().isEmpty())
            joint << j;
    }
    if (joint.isEmpty()) {
        const QList<Unit> name = verticalUnits(r.nameLine(), false);
        const int n = cellCount(name) + int(hon.size());
        const double size = std::min(g.nameMax, height / std::max(1.0, n + gap));
        const double nameX = std::min(g.nameX, lastX - 3.0 - size / 2);
        const double top = g.top + (height - size * (n + gap)) / 2;
        column(page, cellsOf(name), nameX, top, size);
        column(page, cellsOf(verticalUnits(hon, false)), nameX, top + size * (cellCount(name) + gap), size);
        return size;
    }

    const auto [family, given] = familyAndGiven(r.person);
    const QList<Cell> familyCells = cellsOf(verticalUnits(family, false));
    const QList<Cell> givenCells = cellsOf(verticalUnits(given, false));
    QList<QList<Cell>> jointCells;
    QList<QList<Cell>> jointHon;
    qsizetype longestGiven = givenCells.size();
    qsizetype longestHon = hon.size();
    for (const customer::memo::Joint& j : joint) {
        jointCells << cellsOf(verticalUnits(j.name.trimmed(), false));
        const QString h = j.honorific.trimmed().isEmpty() ? hon : j.honorific.trimmed();
        jointHon << cellsOf(verticalUnits(h, false));
        longestGiven = std::max(longestGiven, jointCells.back().size());
        longestHon = std::max(longestHon, jointHon.back().size());
    }
    // In cells from the top: the given names start after the family name
    // and one blank cell, the honorifics after the longest given name.
    const double givenAt = familyCells.isEmpty() ? 0.0 : double(familyCells.size()) + 1.0;
    const double honAt = givenAt + double(longestGiven) + (longestHon > 0 ? 0.5 : 0.0);
    const double total = honAt + double(longestHon);
    const double pitch = 1.25; // column to column, in ems
    const double cols = double(joint.size());
    // The block stays right of the sender's columns, or of the card's edge.
    const double leftLimit = o.sender.isEmpty() ? 8.0 : g.senderRight + 2.0;
    double size = std::min(g.nameMax, height / std::max(1.0, total));
    double x = 0;
    for (;; size -= kStepMm) {
        x = std::min(g.nameX + cols * pitch * size / 2, lastX - 3.0 - size / 2);
        if (x - cols * pitch * size - size / 2 >= leftLimit || size <= 2.0)
            break;
    }
    const double top = g.top + (height - size * total) / 2;
    column(page, familyCells, x, top, size);
    column(page, givenCells, x, top + size * givenAt, size);
    column(page, cellsOf(verticalUnits(hon, false)), x, top + size * honAt, size);
    for (qsizetype i = 0; i < jointCells.size(); ++i) {
        const double jx = x - double(i + 1) * pitch * size;
        column(page, jointCells.at(i), jx, top + size * givenAt, size);
        column(page, jointHon.at(i), jx, top + size * honAt, size);
    }
    return size;
}

Page postcard(const Card& g, const Recipient& r, const Options& o, bool* small)
{
    Page page;
    page.paper = g.paper;
    postalDigits(page, r.postal, g.paper.width() - kPostcard.width());
    const double height = g.bottom - g.top;

    const Columns addr = addressColumns(g, r, o.combineTwoDigits, height);
    double x = g.firstColumnX;
    for (qsizetype i = 0; i < addr.lines.size(); ++i) {
        column(page, addr.lines.at(i), x, g.top + (i ? addr.size : 0), addr.size);
        x -= addr.size * 1.5;
    }
    double smallest = addr.size;
    if (!r.building.trimmed().isEmpty()) {
        const QList<Unit> b = verticalUnits(r.building, o.combineTwoDigits);
        const double indent = 3 * addr.size;
        const double size = std::min(addr.size, (height - indent) / std::max(1, cellCount(b)));
        column(page, cellsOf(b), x, g.top + indent, size);
        x -= size * 1.5;
        smallest = std::min(smallest, size);
    }
    x -= 2.0;
    const bool person = !r.person.trimmed().isEmpty();
    double lastX = x + kCompanyMaxMm; // the left edge of what stands right of the name
    for (const QString& text : {person ? r.company : QString(), r.department}) {
        if (text.trimmed().isEmpty())
            continue;
        const QList<Unit> u = verticalUnits(text, o.combineTwoDigits);
        const double size = std::min(kCompanyMaxMm, (height - 8.0) / std::max(1, cellCount(u)));
        column(page, cellsOf(u), x - size / 2, g.top + 8.0, size);
        lastX = x - size;
        x -= size * 1.6;
        smallest = std::min(smallest, size);
    }
    *small = smallest < kMinVerticalMm;

    const double nameSize = nameBlock(g, page, r, o, lastX, height);
    *small = *small || nameSize < kMinNameMm;

    senderBlock(g, page, o.sender, o.combineTwoDigits, o.senderTel);
    return page;
}

// ---- labels -------------------------------------------------------------------

struct TextRow {
    QList<Unit> units;
    QList<double> widths; // per unit, at an em of 1 mm
    double indentEm = 0;
    double scale = 1;
};

// Greedy wrap at the allowed breaks; a sensible break is taken when it
// leaves the line at least 60 % full. Empty when a unit alone is too wide.
QList<QString> wrap(const TextRow& row, double maxEm)
{
    QList<QString> lines;
    const qsizetype n = row.units.size();
    qsizetype start = 0;
    while (start < n) {
        double sum = 0;
        qsizetype j = start;
        while (j < n && sum + row.widths.at(j) <= maxEm)
            sum += row.widths.at(j++);
        qsizetype end = j;
        if (j < n) {
            qsizetype allowed = -1, preferred = -1;
            double upTo = 0;
            for (qsizetype b = start + 1; b <= j; ++b) {
                upTo += row.widths.at(b - 1);
                const Unit& u = row.units.at(b);
                if (u.noBreakBefore || row.units.at(b - 1).noBreakAfter)
                    continue;
                allowed = b;
                if (u.preferBreakBefore && upTo >= 0.6 * maxEm)
                    preferred = b;
            }
            end = preferred > 0 ? preferred : allowed;
            if (end <= start)
                return {};
        }
        lines << joined(row.units.mid(start, end - start));
        start = end;
    }
    return lines;
}

struct LabelText {
    QList<QList<QString>> lines; // per row
    double size = 0;
    double height = 0;
};

LabelText fitLabel(const QList<TextRow>& rows, QSizeF box, double startMm)
{
    LabelText t;
    for (double s = startMm; s >= 0.8; s -= kStepMm) {
        t.lines.clear();
        t.size = s;
        double& height = t.height;
        height = 0;
        bool ok = true;
        for (const TextRow& row : rows) {
            const double em = s * row.scale;
            QList<QString> lines = wrap(row, box.width() / em - row.indentEm);
            ok = ok && !lines.isEmpty();
            height += double(lines.size()) * em * kLinePitch;
            t.lines << lines;
        }
        if (ok && height <= box.height())
            return t;
    }
    return t;
}

TextRow textRow(const QString& text, const MeasureFn& measure, double indentEm = 0, double scale = 1)
{
    TextRow s;
    s.units = horizontalUnits(text);
    for (const Unit& u : s.units)
        s.widths << measure(joined({u}));
    s.indentEm = indentEm;
    s.scale = scale;
    return s;
}

// The text of a label goes inside `box` (the label less its padding and
// whatever of the printer's margin reaches into it).
bool label(Page& page, const QRectF& box, const Recipient& r, const Options& o, const MeasureFn& measure,
           double largest = 4.0)
{
    QList<TextRow> rows;
    if (!r.postal.isEmpty())
        rows << textRow(QStringLiteral("〒") + r.postal.left(3) +
                            (r.postal.size() > 3 ? QStringLiteral("-") : QString()) + r.postal.mid(3),
                        measure);
    for (const QString& text : {r.address(), r.building}) {
        if (!text.trimmed().isEmpty())
            rows << textRow(text, measure, text == r.building ? 1 : 0);
    }
    const bool person = !r.person.trimmed().isEmpty();
    for (const QString& text : {person ? r.company : QString(), r.department}) {
        if (!text.trimmed().isEmpty())
            rows << textRow(text, measure, 1);
    }
    const QString hon = r.honorificWith(o.honorific);
    const auto named = [&hon](const QString& name, const QString& own) {
        const QString h = own.trimmed().isEmpty() ? hon : own.trimmed();
        return name + (h.isEmpty() ? QString() : QStringLiteral("　") + h);
    };
    const QString nameText = named(r.nameLine(), QString());
    QStringList joint;
    if (person) {
        for (const customer::memo::Joint& j : r.joint) {
            if (joint.size() < customer::memo::kMaxJoint && !j.name.trimmed().isEmpty())
                joint << named(j.name.trimmed(), j.honorific);
        }
    }

    const double start = std::min(largest, (box.height() + 2 * kPadY) / 10.0);
    QList<TextRow> chosen = rows;
    chosen << textRow(nameText, measure, 1, kNameScale);
    LabelText t = fitLabel(chosen, box.size(), start);
    if (!joint.isEmpty()) {
        // The joint names on the name line when that line still fits whole
        // at the size they would have on lines of their own, which start
        // under the given name.
        QList<TextRow> oneLine = rows;
        oneLine << textRow(nameText + QStringLiteral("・") + joint.join(QStringLiteral("・")), measure, 1, kNameScale);
        const LabelText a = fitLabel(oneLine, box.size(), start);
        QList<TextRow> own = chosen;
        const QString family = familyAndGiven(r.person).first;
        const double indent = 1 + (family.isEmpty() ? 0.0 : measure(family + QStringLiteral("　")));
        for (const QString& j : joint)
            own << textRow(j, measure, indent, kNameScale);
        const LabelText b = fitLabel(own, box.size(), start);
        const bool whole = !a.lines.isEmpty() && a.lines.constLast().size() == 1;
        if (whole && a.size >= b.size - 1e-9) {
            chosen = oneLine;
            t = a;
        } else {
            chosen = own;
            t = b;
        }
    }
    // The block stands in the middle of the label's height.
    double y = box.top() + std::max(0.0, (box.height() - t.height) / 2);
    for (qsizetype i = 0; i < chosen.size(); ++i) {
        const double em = t.size * chosen.at(i).scale;
        for (const QString& line : t.lines.at(i)) {
            page.glyphs << Glyph{line, QPointF(box.left() + chosen.at(i).indentEm * em, y + em * (kLinePitch - 1) / 2),
                                 em, Glyph::Line, false};
            y += em * kLinePitch;
        }
    }
    return t.size >= kMinLabelMm;
}

} // namespace

QRectF textBox(const LabelSheet& sheet, int index, double marginMm)
{
    const QRectF rect = sheet.labelRect(index);
    QRectF box = rect.adjusted(kPadX, kPadY, -kPadX, -kPadY);
    const QRectF printable = QRectF(QPointF(0, 0), sheet.paper).adjusted(marginMm, marginMm, -marginMm, -marginMm);
    box = box.intersected(printable);
    // A label lying wholly in the margin still gets a sliver, so that its
    // text is set (tiny, and named as too small) rather than lost.
    if (box.width() < 1.0 || box.height() < 1.0)
        return rect.adjusted(kPadX, kPadY, -kPadX, -kPadY);
    return box;
}

bool Recipient::hasAddress() const { return !postal.trimmed().isEmpty() && !address().trimmed().isEmpty(); }

QString Recipient::honorificWith(Honorific choice) const
{
    return honorific.trimmed().isEmpty() ? honorificFor(choice, person, company) : honorific.trimmed();
}

QString Recipient::nameLine() const { return person.trimmed().isEmpty() ? company : person; }

QString Recipient::displayName() const
{
    if (!nameLine().trimmed().isEmpty())
        return nameLine();
    return QStringLiteral("（名前なし）");
}

QRectF LabelSheet::labelRect(int index) const
{
    const int col = index % columns;
    const int row = index / columns;
    return QRectF(left + col * pitchX, top + row * pitchY, label.width(), label.height());
}

bool LabelSheet::isValid() const
{
    if (columns < 1 || rows < 1 || label.width() <= 10 || label.height() <= 5 || top < 0 || left < 0)
        return false;
    const QRectF last = labelRect(perSheet() - 1);
    return pitchX >= label.width() - 1e-6 && pitchY >= label.height() - 1e-6 && last.right() <= paper.width() + 1e-6 &&
        last.bottom() <= paper.height() + 1e-6;
}

LabelSheet LabelSheet::grid(int columns, int rows, QSizeF label, double left, double top)
{
    LabelSheet s;
    s.columns = columns;
    s.rows = rows;
    s.label = label;
    s.pitchX = label.width();
    s.pitchY = label.height();
    s.left = left;
    s.top = top;
    return s;
}

LabelSheet LabelSheet::twelve()
{
    return grid(2, 6, QSizeF(86.4, 42.3), (210.0 - 2 * 86.4) / 2, (297.0 - 6 * 42.3) / 2);
}

LabelSheet LabelSheet::twentyFour() { return grid(3, 8, QSizeF(70.0, 33.9), 0.0, (297.0 - 8 * 33.9) / 2); }

QList<QPointF> postalBoxCentres()
{
    // From the right: the last box's right edge 8.0 mm from the card's
    // right edge; gaps 1.1 between boxes 4–7, 1.9 between 3 and 4, 1.3
    // between 1–3.
    const double gaps[] = {1.3, 1.3, 1.9, 1.1, 1.1, 1.1};
    QList<QPointF> out;
    double right = kPostcard.width() - 8.0;
    for (int i = 6; i >= 0; --i) {
        out.prepend(QPointF(right - kPostalBox.width() / 2, 12.0 + kPostalBox.height() / 2));
        if (i > 0)
            right -= kPostalBox.width() + gaps[i - 1];
    }
    return out;
}

QList<Page> postcardPages(const QList<Recipient>& recipients, const Options& options, QList<qint64>* tooSmall)
{
    QList<Page> pages;
    pages.reserve(recipients.size());
    for (const Recipient& r : recipients) {
        bool small = false;
        pages << postcard(kPostcardCard, r, options, &small);
        if (small && tooSmall)
            *tooSmall << r.rowid;
    }
    return pages;
}

QList<Page> nagagata3Pages(const QList<Recipient>& recipients, const Options& options, QList<qint64>* tooSmall)
{
    QList<Page> pages;
    for (const Recipient& r : recipients) {
        bool small = false;
        pages << postcard(kNagagata3, r, options, &small);
        if (small && tooSmall)
            *tooSmall << r.rowid;
    }
    return pages;
}

QList<Page> kakugata2Pages(const QList<Recipient>& recipients, const Options& options, const MeasureFn& measure,
                           QList<qint64>* tooSmall)
{
    QList<Page> pages;
    for (const Recipient& r : recipients) {
        Page page;
        page.paper = kKakugata2;
        const QRectF box(40.0, 45.0, 170.0, 140.0);
        page.guides << box;
        if (!label(page, box, r, options, measure, 8.0) && tooSmall)
            *tooSmall << r.rowid;
        // The sender at the lower left, in a smaller type.
        const Sender& s = options.sender;
        if (!s.isEmpty()) {
            const QString postal = postal::cleaned(s.postal);
            QStringList lines;
            if (postal::isSevenDigits(postal))
                lines << QStringLiteral("〒") + postal.left(3) + QLatin1Char('-') + postal.mid(3);
            for (const QString& t : {s.address, s.building, s.name})
                if (!t.trimmed().isEmpty())
                    lines << t.trimmed();
            if (options.senderTel && !s.tel.trimmed().isEmpty())
                lines << QStringLiteral("TEL ") + s.tel.trimmed();
            double y = 300.0 - 6.0 * double(lines.size());
            for (const QString& t : lines) {
                page.glyphs << Glyph{t, QPointF(20.0, y), 4.5, Glyph::Line, true};
                y += 6.0;
            }
        }
        pages << page;
    }
    return pages;
}

QList<Page> labelPages(const QList<Recipient>& recipients, const LabelSheet& sheet, const Options& options,
                       const MeasureFn& measure, QList<qint64>* tooSmall)
{
    QList<Page> pages;
    const int per = sheet.perSheet();
    int slot = std::clamp(options.firstLabel, 1, per) - 1;
    for (const Recipient& r : recipients) {
        if (pages.isEmpty() || slot == per) {
            if (!pages.isEmpty())
                slot = 0;
            Page p;
            p.paper = sheet.paper;
            for (int i = 0; i < per; ++i)
                p.guides << sheet.labelRect(i);
            pages << p;
        }
        if (!label(pages.back(), textBox(sheet, slot++, options.labelMarginMm), r, options, measure) && tooSmall)
            *tooSmall << r.rowid;
    }
    return pages;
}

int pageCount(int recipients, bool postcards, const LabelSheet& sheet, int firstLabel)
{
    if (recipients <= 0)
        return 0;
    if (postcards)
        return recipients;
    const int per = std::max(1, sheet.perSheet());
    const int skipped = std::clamp(firstLabel, 1, per) - 1;
    return (skipped + recipients + per - 1) / per;
}

} // namespace tessolo::atena
