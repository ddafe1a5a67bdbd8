#pragma once
// Printing the map page: the browser's header and footer codes, the page
// layout the page is set in, and the drawing of the page's PDF pages onto a
// printer with their header and footer.

#include <QDate>
#include <QPageLayout>
#include <QString>

class QPdfDocument;
class QPrinter;

namespace tessolo::printing {

// What the codes stand for on one page.
struct PrintInfo {
    QString title; // &w
    QString url;   // &u
    QDate date;    // &d, &D
    QTime time;    // &t, &T
    int page = 1;  // &p
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

// Draws every page of `doc` full-page onto `printer`, one page in memory at a
// time at no more than 300 dpi, with header and footer in the margins.
// Raises TessoloError when the printer cannot be started.
void drawPages(QPrinter* printer, QPdfDocument& doc, const QString& header, const QString& footer,
               PrintInfo info);

} // namespace tessolo::printing
