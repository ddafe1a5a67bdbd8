#include "app/printing.h"

#include "app/webmap.h"
#include "data/errors.h"
#include "ui/errordisplay.h"

#include <QBuffer>
#include <QEventLoop>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPdfDocument>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWebEnginePage>
#include <algorithm>

namespace tessolo::printing {

HeaderLine expandCodes(const QString& codes, const PrintInfo& info)
{
    QStringList parts{QString()};
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const QChar c = codes.at(i);
        if (c != QLatin1Char('&') || i + 1 >= codes.size()) {
            parts.last() += c;
            continue;
        }
        const QChar code = codes.at(++i);
        switch (code.unicode()) {
        case 'w': parts.last() += info.title; break;
        case 'u': parts.last() += info.url; break;
        case 'd': parts.last() += info.date.toString(QStringLiteral("yyyy/MM/dd")); break;
        case 'D': parts.last() += info.date.toString(QStringLiteral("yyyy年M月d日")); break;
        case 't': parts.last() += info.time.toString(QStringLiteral("H:mm")); break;
        case 'T': parts.last() += info.time.toString(QStringLiteral("HH:mm")); break;
        case 'p': parts.last() += QString::number(info.page); break;
        case 'P': parts.last() += QString::number(info.pageCount); break;
        case '&': parts.last() += QLatin1Char('&'); break;
        case 'b': parts.append(QString()); break;
        default:
            parts.last() += c;
            parts.last() += code;
        }
    }
    HeaderLine line;
    line.left = parts.at(0);
    if (parts.size() == 2) {
        line.right = parts.at(1);
    } else if (parts.size() >= 3) {
        line.centre = parts.at(1);
        line.right = parts.mid(2).join(QString());
    }
    return line;
}

QPageLayout contentLayout(const QPageLayout& printerLayout)
{
    // The browser's own default: three quarters of an inch on every side,
    // room for a line of header and footer.
    constexpr qreal kMarginMm = 19.05;
    const QMarginsF m = printerLayout.margins(QPageLayout::Millimeter);
    const QMarginsF margins(std::max(m.left(), kMarginMm), std::max(m.top(), kMarginMm),
                            std::max(m.right(), kMarginMm), std::max(m.bottom(), kMarginMm));
    return QPageLayout(printerLayout.pageSize(), printerLayout.orientation(), margins, QPageLayout::Millimeter);
}

bool printerAvailable(const QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return !printer.outputFileName().isEmpty();
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

namespace {

void drawLine(QPainter& painter, const QRectF& rect, const HeaderLine& line)
{
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, line.left);
    painter.drawText(rect, Qt::AlignHCenter | Qt::AlignVCenter, line.centre);
    painter.drawText(rect, Qt::AlignRight | Qt::AlignVCenter, line.right);
}

} // namespace

void drawPages(QPrinter* printer, QPdfDocument& doc, const QString& header, const QString& footer,
               PrintInfo info)
{
    const QPageLayout layout = contentLayout(printer->pageLayout());
    printer->setFullPage(true);
    QPainter painter;
    if (!painter.begin(printer))
        throw TessoloError(QStringLiteral("印刷を開始できませんでした。プリンターの設定を確かめてください。"));

    const qreal res = printer->resolution();
    const QRectF paper = printer->paperRect(QPrinter::DevicePixel);
    const QMarginsF mm = layout.margins(QPageLayout::Millimeter);
    const auto px = [res](qreal millimetres) { return millimetres / 25.4 * res; };
    const QRectF headerRect(paper.left() + px(mm.left()), paper.top() + px(6),
                            paper.width() - px(mm.left()) - px(mm.right()), px(mm.top()) - px(8));
    const QRectF footerRect(headerRect.left(), paper.bottom() - px(mm.bottom()) + px(2), headerRect.width(),
                            px(mm.bottom()) - px(8));

    QFont font(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                           QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(9);
    painter.setFont(font);
    painter.setPen(Qt::black);

    // One page at a time, at printer resolution up to 300 dpi: an A4 page is
    // then some 35 MB, where the printer's full resolution would be several
    // times that.
    const qreal dpi = std::min<qreal>(res, 300);
    info.pageCount = doc.pageCount();
    if (!info.time.isValid())
        info.time = QTime::currentTime();
    for (int i = 0; i < doc.pageCount(); ++i) {
        if (i > 0 && !printer->newPage())
            throw TessoloError(QStringLiteral("印刷中にプリンターとの接続が切れました。"));
        const QSizeF pts = doc.pagePointSize(i);
        const QSize imageSize((pts * dpi / 72.0).toSize());
        {
            const QImage image = doc.render(i, imageSize);
            painter.drawImage(paper, image);
        }
        info.page = i + 1;
        drawLine(painter, headerRect, expandCodes(header, info));
        drawLine(painter, footerRect, expandCodes(footer, info));
    }
    if (!painter.end())
        throw TessoloError(QStringLiteral("印刷を終えられませんでした。"));
}

} // namespace tessolo::printing

namespace tessolo::app {

QPrinter* TWebMap::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_printer.get();
}

void TWebMap::setPrinter(std::unique_ptr<QPrinter> printer) { m_printer = std::move(printer); }

QByteArray TWebMap::pagePdf(const QPageLayout& layout)
{
    struct PdfState {
        QEventLoop* loop = nullptr;
        QByteArray pdf;
        bool done = false;
    };
    auto state = std::make_shared<PdfState>();
    QEventLoop loop;
    state->loop = &loop;
    page()->printToPdf(
        [state](const QByteArray& data) {
            state->pdf = data;
            state->done = true;
            if (state->loop)
                state->loop->quit();
        },
        layout);
    connect(page(), &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    if (!state->done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    state->loop = nullptr;
    return state->pdf;
}

void TWebMap::renderTo(QPrinter* p)
{
    const QPageLayout layout = printing::contentLayout(p->pageLayout());
    const QByteArray pdf = pagePdf(layout);
    if (pdf.isEmpty())
        throw TessoloError(QStringLiteral("地図を印刷用に変換できませんでした。"));

    QBuffer buffer;
    buffer.setData(pdf);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument doc;
    doc.load(&buffer);
    if (doc.status() == QPdfDocument::Status::Loading) {
        QEventLoop loop;
        connect(&doc, &QPdfDocument::statusChanged, &loop, [&](QPdfDocument::Status s) {
            if (s != QPdfDocument::Status::Loading)
                loop.quit();
        });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (doc.status() != QPdfDocument::Status::Ready || doc.pageCount() < 1)
        throw TessoloError(QStringLiteral("地図を印刷用に変換できませんでした。"));

    printing::PrintInfo info;
    info.title = page()->title().isEmpty() ? window()->windowTitle() : page()->title();
    info.url = url().toString();
    info.pageCount = doc.pageCount();
    info.date = QDate::currentDate();
    printing::drawPages(p, doc, header, footer, info);
}

void TWebMap::Print()
{
    waitForLoad();
    QPrinter* p = printer();
    if (!printing::printerAvailable(*p))
        throw TessoloError(QStringLiteral("プリンターがインストールされていないため、印刷できません。"));
    if (!hideSetup) {
        QPrintDialog dialog(p, window());
        if (dialog.exec() != QDialog::Accepted)
            return;
    }
    renderTo(p);
    emit printFinished(true);
}

void TWebMap::PrintPreview()
{
    QPrintPreviewDialog dialog(printer(), window());
    dialog.setWindowTitle(QStringLiteral("印刷プレビュー"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* p) { ui::runHandler([&] { renderTo(p); }); });
    dialog.exec();
}

void TWebMap::PrintSetup()
{
    waitForLoad();
    // Once a print has turned hide-setup on, the current settings stand and
    // nothing is asked.
    if (hideSetup)
        return;
    QPageSetupDialog dialog(printer(), window());
    dialog.exec();
}

} // namespace tessolo::app
