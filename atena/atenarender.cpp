#include "atena/atenarender.h"

#include "data/errors.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
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
        return firstInstalled({QStringLiteral("IPAMincho"), QStringLiteral("IPA明朝"), QStringLiteral("Noto Serif CJK JP")});
    return firstInstalled({QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"), QStringLiteral("Noto Sans CJK JP")});
}

TAtenaRender::TAtenaRender(const QString& family)
    : m_family(family)
{
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

double TAtenaRender::advance(const Sized& s, const QString& text) { return QFontMetricsF(s.font).horizontalAdvance(text); }

MeasureFn TAtenaRender::measure()
{
    return [this](const QString& text) {
        auto it = m_widths.constFind(text);
        if (it != m_widths.constEnd())
            return *it;
        const double w = advance(sized(1.0), text) / kUnitsPerMm;
        m_widths.insert(text, w);
        return w;
    };
}

void TAtenaRender::paintGlyph(QPainter& painter, const Glyph& g)
{
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

void TAtenaRender::print(QPrinter* printer, const QList<Page>& pages) { print(printer, int(pages.size()), listed(pages)); }

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
        paintPages(painter, count, pageAt, kPdfResolution / 25.4, [&writer] { return writer.newPage(); }, progress);
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
    paintPages(painter, count, pageAt, printer->resolution() / 25.4, [printer] { return printer->newPage(); },
               progress);
    painter.end();
}

} // namespace tessolo::atena
