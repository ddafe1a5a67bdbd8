#pragma once
// Paints laid-out postcards and label sheets with QPainter: the same pages go
// to the preview image, the printer and the PDF, placed in millimetres from
// the paper's edge. Characters stay text (fonts embedded in the PDF); a
// vertical column is set cell by cell, the cells that have a direction
// turned, two digits side by side in one cell.

#include "atena/atenalayout.h"

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QTransform>
#include <QImage>
#include <QString>
#include <functional>

class QPainter;
class QPrinter;

namespace tessolo::atena {

// The font families chosen first: 明朝 for postcards, ゴシック for labels.
QString defaultFamily(bool postcards);

class TAtenaRender {
public:
    explicit TAtenaRender(const QString& family);

    // Widths at an em of 1 mm, for the label layout.
    MeasureFn measure();

    // Paints `page` on a painter whose device has `devicePerMm` pixels a
    // millimetre, with the origin at the paper's top-left edge. Guides
    // (postal boxes, label edges) only when `guides`.
    void paint(QPainter& painter, const Page& page, double devicePerMm, bool guides);
    QImage image(const Page& page, double pixelsPerMm);

    // Page `index` of a job, laid out when it is painted: a job of 100,000
    // cards is never held in memory whole.
    using PageFn = std::function<Page(int index)>;
    // Told the pages painted so far and how many there are; false cancels
    // (the run then throws EAbort).
    using ProgressFn = std::function<bool(int done, int total)>;

    // Writes every page to `fileName`, whole or not at all. Throws EFileError.
    void writePdf(const QString& fileName, const QList<Page>& pages);
    void writePdf(const QString& fileName, int count, const PageFn& pageAt, const ProgressFn& progress = {});
    // Every page on `printer`, from the paper's edge.
    void print(QPrinter* printer, const QList<Page>& pages);
    void print(QPrinter* printer, int count, const PageFn& pageAt, const ProgressFn& progress = {});

private:
    struct Sized {
        QFont font;
        double ascent = 0;
        double descent = 0;
    };
    const Sized& sized(double sizeMm);
    double advance(const Sized& s, const QString& text);
    void paintGlyph(QPainter& painter, const Glyph& g);
    void paintPages(QPainter& painter, int count, const PageFn& pageAt, double devicePerMm,
                    const std::function<bool()>& newPage, const ProgressFn& progress);

    // A text's glyphs in the one font at an em of 1 mm, laid out once and
    // drawn at any size by scaling: no shaping or font engine per size, which
    // is what 100,000 cards to a PDF spend their time on otherwise. Text with
    // a character the font lacks goes the long way, through fallback fonts.
    struct Run {
        QGlyphRun run;
        double advance = 0;
        bool ok = false;
    };
    const Run& run(const QString& text);

    QString m_family;
    QRawFont m_raw;
    double m_rawAscent = 0;
    double m_rawDescent = 0;
    QHash<QString, Run> m_runs;
    QTransform m_base; // the page's transform while painting
    bool m_useRuns = true;
    QHash<int, Sized> m_sized;
    QHash<QString, double> m_widths;
};

} // namespace tessolo::atena
