#include "atena/atenarender.h"

#include "data/errors.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

namespace tessolo::atena {

namespace {

// Painting runs in hundredths of a millimetre: fine enough for any printer,
// and font sizes stay whole numbers of units.
constexpr double kUnitsPerMm = 100.0;
constexpr int kPdfResolution = 1200;

QPageSize pageSize(QSizeF paper)
{
    if (qAbs(paper.width() - 210.0) < 0.01 && qAbs(paper.height() - 297.0) < 0.01)
        return QPageSize(QPageSize::A4);
    return QPageSize(paper, QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
}

QString firstInstalled(const QStringList& families)
{
    const QStringList installed = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& f : families) {
        if (installed.contains(f, Qt::CaseInsensitive))
            return f;
    }
    return installed.isEmpty() ? QFont().family() : installed.first();
}

} // namespace

QString defaultFamily(bool postcards)
{
    if (postcards)
        return firstInstalled(
            {QStringLiteral("IPAMincho"), QStringLiteral("IPA明朝"), QStringLiteral("Noto Serif CJK JP")});
    return firstInstalled(
        {QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"), QStringLiteral("Noto Sans CJK JP")});
}

TAtenaRender::TAtenaRender(const QString& family)
    : m_family(family)
{
    QFont f(m_family);
    f.setPixelSize(int(kUnitsPerMm));
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(false);
    m_raw = QRawFont::fromFont(f, QFontDatabase::Japanese);
    if (m_raw.isValid()) {
        m_rawAscent = m_raw.ascent();
        m_rawDescent = m_raw.descent();
    }
}

const TAtenaRender::Run& TAtenaRender::run(const QString& text)
{
    auto it = m_runs.find(text);
    if (it != m_runs.end())
        return *it;
    Run r;
    r.ok = m_raw.isValid();
    for (const uint c : text.toUcs4())
        r.ok = r.ok && m_raw.supportsCharacter(c);
    if (r.ok) {
        const QList<quint32> glyphs = m_raw.glyphIndexesForString(text);
        const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(glyphs);
        QList<QPointF> positions;
        positions.reserve(glyphs.size());
        double x = 0;
        for (const QPointF& a : advances) {
            positions << QPointF(x, 0);
            x += a.x();
        }
        r.run.setRawFont(m_raw);
        r.run.setGlyphIndexes(glyphs);
        r.run.setPositions(positions);
        r.advance = x;
    }
    return *m_runs.insert(text, r);
}

const TAtenaRender::Sized& TAtenaRender::sized(double sizeMm)
{
    const int px = std::max(1, qRound(sizeMm * kUnitsPerMm));
    auto it = m_sized.find(px);
    if (it == m_sized.end()) {
        Sized s;
        s.font = QFont(m_family);
        s.font.setPixelSize(px);
        s.font.setHintingPreference(QFont::PreferNoHinting);
        s.font.setKerning(false);
        const QFontMetricsF fm(s.font);
        s.ascent = fm.ascent();
        s.descent = fm.descent();
        it = m_sized.insert(px, s);
    }
    return *it;
}

double TAtenaRender::advance(const Sized& s, const QString& text)
{
    return QFontMetricsF(s.font).horizontalAdvance(text);
}

MeasureFn TAtenaRender::measure()
{
    return [this](const QString& text) {
        auto it = m_widths.constFind(text);
        if (it != m_widths.constEnd())
            return *it;
        const Run& r = run(text);
        const double w = (r.ok ? r.advance : advance(sized(1.0), text)) / kUnitsPerMm;
        m_widths.insert(text, w);
        return w;
    };
}

void TAtenaRender::paintGlyph(QPainter& painter, const Glyph& g)
{
    const Run& r = run(g.text);
    if (r.ok && m_useRuns) {
        // In the units of an em of 1 mm, scaled to the glyph's size.
        const double em = kUnitsPerMm;
        const double middle = (m_rawAscent - m_rawDescent) / 2;
        QTransform t = m_base;
        t.translate(g.pos.x() * kUnitsPerMm, g.pos.y() * kUnitsPerMm);
        t.scale(g.size, g.size);
        QPointF origin(-r.advance / 2, middle);
        if (g.kind == Glyph::Line)
            origin = QPointF(0, (em - m_rawAscent - m_rawDescent) / 2 + m_rawAscent);
        else if (g.kind == Glyph::Rotated)
            t.rotate(90);
        else if (g.kind == Glyph::Combined && r.advance > em * 0.95)
            t.scale(em * 0.95 / r.advance, 1.0); // two digits narrowed into one cell
        painter.setTransform(t);
        painter.drawGlyphRun(origin, r.run);
        painter.setTransform(m_base);
        return;
    }
    const Sized& s = sized(g.size);
    painter.setFont(s.font);
    const double em = g.size * kUnitsPerMm;
    const QPointF pos = g.pos * kUnitsPerMm;
    const double middle = (s.ascent - s.descent) / 2; // baseline below a centre
    if (g.kind == Glyph::Line) {
        painter.drawText(QPointF(pos.x(), pos.y() + (em - s.ascent - s.descent) / 2 + s.ascent), g.text);
        return;
    }
    const double w = advance(s, g.text);
    if (g.kind == Glyph::Upright) {
        painter.drawText(QPointF(pos.x() - w / 2, pos.y() + middle), g.text);
        return;
    }
    painter.save();
    painter.translate(pos);
    if (g.kind == Glyph::Rotated) {
        painter.rotate(90);
    } else if (w > em * 0.95) {
        painter.scale(em * 0.95 / w, 1.0); // two digits narrowed into one cell
    }
    painter.drawText(QPointF(-w / 2, middle), g.text);
    painter.restore();
}

void TAtenaRender::paint(QPainter& painter, const Page& page, double devicePerMm, bool guides)
{
    painter.save();
    painter.scale(devicePerMm / kUnitsPerMm, devicePerMm / kUnitsPerMm);
    if (guides) {
        painter.setPen(QPen(QColor(220, 60, 60), 0.15 * kUnitsPerMm));
        painter.setBrush(Qt::NoBrush);
        for (const QRectF& r : page.guides)
            painter.drawRect(QRectF(r.topLeft() * kUnitsPerMm, r.size() * kUnitsPerMm));
    }
    painter.setPen(Qt::black);
    m_base = painter.transform();
    // The print preview records pages as pictures, which turn glyph runs
    // into outlines one by one: it gets plain text.
    const QPaintEngine* engine = painter.paintEngine();
    m_useRuns = engine && (engine->type() == QPaintEngine::Pdf || engine->type() == QPaintEngine::Raster);
    for (const Glyph& g : page.glyphs)
        paintGlyph(painter, g);
    painter.restore();
}

QImage TAtenaRender::image(const Page& page, double pixelsPerMm)
{
    QImage img((page.paper * pixelsPerMm).toSize(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter painter(&img);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paint(painter, page, pixelsPerMm, true);
    return img;
}

void TAtenaRender::paintPages(QPainter& painter, int count, const PageFn& pageAt, double devicePerMm,
                              const std::function<bool()>& newPage, const ProgressFn& progress)
{
    for (int i = 0; i < count; ++i) {
        if (progress && !progress(i, count))
            throw EAbort();
        if (i > 0 && !newPage())
            throw TessoloError(QStringLiteral("次のページを始められませんでした。"));
        paint(painter, pageAt(i), devicePerMm, false);
    }
    if (progress)
        progress(count, count);
}

namespace {

TAtenaRender::PageFn listed(const QList<Page>& pages)
{
    return [&pages](int i) { return pages.at(i); };
}

} // namespace

void TAtenaRender::writePdf(const QString& fileName, const QList<Page>& pages)
{
    writePdf(fileName, int(pages.size()), listed(pages));
}

void TAtenaRender::print(QPrinter* printer, const QList<Page>& pages)
{
    print(printer, int(pages.size()), listed(pages));
}

void TAtenaRender::writePdf(const QString& fileName, int count, const PageFn& pageAt, const ProgressFn& progress)
{
    if (count <= 0)
        return;
    const Page first = pageAt(0);
    QSaveFile file(fileName);
    const auto fail = [&file](const QString& reason) {
        file.cancelWriting();
        throw EFileError(QStringLiteral("「%1」に書き出せませんでした。\n%2")
                             .arg(QDir::toNativeSeparators(file.fileName()), reason));
    };
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    {
        QPdfWriter writer(&file);
        writer.setResolution(kPdfResolution);
        writer.setCreator(QStringLiteral("Tessolo"));
        writer.setTitle(QStringLiteral("宛名印刷"));
        writer.setPageLayout(QPageLayout(pageSize(first.paper), QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (!painter.begin(&writer))
            fail(QStringLiteral("PDF を作れませんでした。"));
        // A cancel leaves through here: the file is never committed, so the
        // old one (if any) stays as it was.
        paintPages(
            painter, count, pageAt, kPdfResolution / 25.4, [&writer] { return writer.newPage(); }, progress);
        painter.end();
    }
    if (!file.commit())
        fail(file.errorString());
}

void TAtenaRender::print(QPrinter* printer, int count, const PageFn& pageAt, const ProgressFn& progress)
{
    if (count <= 0)
        return;
    printer->setFullPage(true);
    printer->setPageLayout(QPageLayout(pageSize(pageAt(0).paper), QPageLayout::Portrait, QMarginsF()));
    QPainter painter;
    if (!painter.begin(printer))
        throw TessoloError(QStringLiteral("プリンターを使えませんでした。"));
    paintPages(
        painter, count, pageAt, printer->resolution() / 25.4, [printer] { return printer->newPage(); }, progress);
    painter.end();
}

} // namespace tessolo::atena
