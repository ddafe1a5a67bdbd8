#pragma once
// Printing the map: the browser's header and footer codes, the page layout,
// and the drawing of the map as the user sees it, with the area list beside,
// below or after it, onto a printer with header and footer.

#include <QDate>
#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <functional>

class QPrinter;

namespace tessolo::printing {

// What the codes stand for on one page.
struct PrintInfo {
    QString title;     // &w
    QString url;       // &u
    QDate date;        // &d, &D
    QTime time;        // &t, &T
    int page = 1;      // &p
    int pageCount = 1; // &P
};

// A header or footer line, split by &b into left, centre and right.
struct HeaderLine {
    QString left;
    QString centre;
    QString right;
};

// Expands the browser header codes: &w window title, &u page address, &d short
// date, &D long date, &t time, &T 24-hour time, &p page, &P page count, &&
// an ampersand, &b the alignment break. Text before the first &b is left
// aligned; with one break the rest is right aligned, with two or more the
// middle part is centred and the rest right aligned. Unknown codes stay as
// written.
HeaderLine expandCodes(const QString& codes, const PrintInfo& info);

// The printer's layout with margins wide enough for header and footer.
QPageLayout contentLayout(const QPageLayout& printerLayout);

// False where no printer is installed and the printer would print nowhere.
bool printerAvailable(const QPrinter& printer);

// What a printed map is made of: the picture of the map as the user sees it,
// and the lines of the area list shown beside it (none while it is hidden).
struct MapSheet {
    QImage map;
    QStringList listLines;
};

// Where the parts go on one page, in device pixels: the map (empty on the
// pages after the first) and lines [firstLine, firstLine + lineCount) of
// the list, top down in `list`.
struct PagePlan {
    QRectF map;
    QRectF list;
    qsizetype firstLine = 0;
    qsizetype lineCount = 0;
};

// The height of list line `i` set in `width`.
using LineHeight = std::function<qreal(qsizetype i, qreal width)>;

// The whole map, scaled to fit, on the first page, with the list beside it
// (left, as on the screen) or below it when the list fits there; otherwise
// the list follows on as many pages as it takes.
QList<PagePlan> planPages(const QSizeF& mapSize, qsizetype lineCount, const LineHeight& heightOf, const QRectF& content,
                          qreal gap);

// Landscape for a view wider than tall, portrait otherwise.
QPageLayout::Orientation orientationFor(const QSize& view);

// Draws the sheet on `printer` as planned, with header and footer in the
// margins. Raises TessoloError when the printer cannot be started.
void drawSheet(QPrinter* printer, const MapSheet& sheet, const QString& header, const QString& footer, PrintInfo info);

} // namespace tessolo::printing
