#include "atena/atenalayout.h"

#include <algorithm>
#include <cmath>

namespace tessolo::atena {

namespace {

// The card: columns run between these, the address's first at the right.
constexpr double kCardTop = 26.0;
constexpr double kCardBottom = 136.0;
constexpr double kFirstColumnX = 88.0;
constexpr double kAddressMaxMm = 6.0;
constexpr double kOneColumnMinMm = 4.5; // below this the address takes two columns
constexpr double kCompanyMaxMm = 5.0;
constexpr double kNameMaxMm = 11.0;
constexpr double kNameX = 50.0;
constexpr double kDigitMm = 6.0;
constexpr double kSenderMm = 3.4;
constexpr double kSenderRight = 30.0;
constexpr double kSenderTop = 72.0;
constexpr double kSenderBottom = 128.0;

constexpr double kLinePitch = 1.3;   // line height of a label line, in ems
constexpr double kNameScale = 1.3;   // the name line against the other lines
constexpr double kPadX = 2.5;
constexpr double kPadY = 2.0;
constexpr double kStepMm = 0.1;

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
        const double cost = std::max(before, total - before + indentSecond) - (units.at(b).preferBreakBefore ? bonus : 0.0);
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
Columns addressColumns(const Recipient& r, bool combine, double height)
{
    QList<Unit> units = verticalUnits(r.prefecture + r.city, combine);
    const qsizetype townAt = units.size();
    units += verticalUnits(r.town, combine);
    if (townAt > 0 && townAt < units.size())
        units[townAt].preferBreakBefore = true;
    const int n = std::max(1, cellCount(units));
    Columns c;
    c.size = std::min(kAddressMaxMm, height / n);
    const int b = c.size >= kOneColumnMinMm ? -1 : bestBreak(units, 1);
    if (b < 0) {
        c.lines << cellsOf(units);
        return c;
    }
    const int first = cellCount(units.mid(0, b));
    const int second = n - first + 1;
    c.size = std::min(kAddressMaxMm, height / std::max(first, second));
    c.lines << cellsOf(units, 0, b) << cellsOf(units, b);
    return c;
}

void postalDigits(Page& page, const QString& postal)
{
    const QList<QPointF> centres = postalBoxCentres();
    for (const QPointF& c : centres)
        page.guides << QRectF(c.x() - kPostalBox.width() / 2, c.y() - kPostalBox.height() / 2, kPostalBox.width(),
                              kPostalBox.height());
    for (qsizetype i = 0; i < postal.size() && i < centres.size(); ++i)
        page.glyphs << Glyph{postal.mid(i, 1), centres.at(i), kDigitMm, Glyph::Upright, false};
}

void senderBlock(Page& page, const Sender& s, bool combine)
{
    if (s.isEmpty())
        return;
    const double height = kSenderBottom - kSenderTop;
    QList<QList<Unit>> cols;
    for (const QString& text : {s.address, s.building, s.name}) {
        if (!text.trimmed().isEmpty())
            cols << verticalUnits(text, combine);
    }
    double size = kSenderMm;
    for (const auto& u : cols)
        size = std::min(size, height / std::max(1, cellCount(u)));
    double x = kSenderRight - size / 2;
    for (qsizetype i = 0; i < cols.size(); ++i) {
        const bool building = i == 1 && cols.size() == 3;
        column(page, cellsOf(cols.at(i)), x, kSenderTop + (building ? 2 * size : 0), size, true);
        x -= size * 1.6;
    }
    if (s.postal.size() == 7)
        page.glyphs << Glyph{QStringLiteral("〒") + s.postal.left(3) + QLatin1Char('-') + s.postal.mid(3),
                             QPointF(6.0, kSenderBottom + 4.0), 3.0, Glyph::Line, true};
}

Page postcard(const Recipient& r, const Options& o, bool* small)
{
    Page page;
    page.paper = kPostcard;
    postalDigits(page, r.postal);
    const double height = kCardBottom - kCardTop;

    const Columns addr = addressColumns(r, o.combineTwoDigits, height);
    double x = kFirstColumnX;
    for (qsizetype i = 0; i < addr.lines.size(); ++i) {
        column(page, addr.lines.at(i), x, kCardTop + (i ? addr.size : 0), addr.size);
        x -= addr.size * 1.5;
    }
    double smallest = addr.size;
    if (!r.building.trimmed().isEmpty()) {
        const QList<Unit> b = verticalUnits(r.building, o.combineTwoDigits);
        const double indent = 3 * addr.size;
        const double size = std::min(addr.size, (height - indent) / std::max(1, cellCount(b)));
        column(page, cellsOf(b), x, kCardTop + indent, size);
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
        column(page, cellsOf(u), x - size / 2, kCardTop + 8.0, size);
        lastX = x - size;
        x -= size * 1.6;
        smallest = std::min(smallest, size);
    }
    *small = smallest < kMinVerticalMm;

    QList<Unit> name = verticalUnits(r.nameLine(), false);
    const QString hon = honorificFor(o.honorific, r.person, r.company);
    const double gap = hon.isEmpty() ? 0.0 : 0.5;
    const int n = cellCount(name) + int(hon.size());
    const double size = std::min(kNameMaxMm, height / std::max(1.0, n + gap));
    const double nameX = std::min(kNameX, lastX - 3.0 - size / 2);
    const double top = kCardTop + (height - size * (n + gap)) / 2;
    column(page, cellsOf(name), nameX, top, size);
    column(page, cellsOf(verticalUnits(hon, false)), nameX, top + size * (cellCount(name) + gap), size);
    *small = *small || size < kMinNameMm;

    senderBlock(page, o.sender, o.combineTwoDigits);
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

bool label(Page& page, const QRectF& rect, const Recipient& r, const Options& o, const MeasureFn& measure)
{
    QList<TextRow> rows;
    if (!r.postal.isEmpty())
        rows << textRow(QStringLiteral("〒") + r.postal.left(3) + (r.postal.size() > 3 ? QStringLiteral("-") : QString())
                          + r.postal.mid(3),
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
    const QString hon = honorificFor(o.honorific, r.person, r.company);
    rows << textRow(r.nameLine() + (hon.isEmpty() ? QString() : QStringLiteral("　") + hon), measure, 1, kNameScale);

    const QSizeF box(rect.width() - 2 * kPadX, rect.height() - 2 * kPadY);
    const double start = std::min(4.0, rect.height() / 10.0);
    const LabelText t = fitLabel(rows, box, start);
    // The block stands in the middle of the label's height.
    double y = rect.top() + kPadY + std::max(0.0, (box.height() - t.height) / 2);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const double em = t.size * rows.at(i).scale;
        for (const QString& line : t.lines.at(i)) {
            page.glyphs << Glyph{line, QPointF(rect.left() + kPadX + rows.at(i).indentEm * em, y + em * (kLinePitch - 1) / 2),
                                 em, Glyph::Line, false};
            y += em * kLinePitch;
        }
    }
    return t.size >= kMinLabelMm;
}

} // namespace

bool Recipient::hasAddress() const { return !postal.trimmed().isEmpty() && !address().trimmed().isEmpty(); }

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
    return pitchX >= label.width() - 1e-6 && pitchY >= label.height() - 1e-6 && last.right() <= paper.width() + 1e-6
           && last.bottom() <= paper.height() + 1e-6;
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

LabelSheet LabelSheet::twelve() { return grid(2, 6, QSizeF(86.4, 42.3), (210.0 - 2 * 86.4) / 2, (297.0 - 6 * 42.3) / 2); }

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
        pages << postcard(r, options, &small);
        if (small && tooSmall)
            *tooSmall << r.rowid;
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
        if (!label(pages.back(), sheet.labelRect(slot++), r, options, measure) && tooSmall)
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
