#include "app/printing.h"

#include "app/webmap.h"
#include "data/errors.h"
#include "ui/errordisplay.h"
#include "ui/startfolder.h"

#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
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
        default: parts.last() += c; parts.last() += code;
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
    const QMarginsF margins(std::max(m.left(), kMarginMm), std::max(m.top(), kMarginMm), std::max(m.right(), kMarginMm),
                            std::max(m.bottom(), kMarginMm));
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

QList<PagePlan> planPages(const QSizeF& mapSize, qsizetype lineCount, const LineHeight& heightOf, const QRectF& content,
                          qreal gap)
{
    const auto fitted = [&mapSize](const QRectF& area) {
        if (mapSize.isEmpty() || area.isEmpty())
            return QRectF();
        const QSizeF s = mapSize.scaled(area.size(), Qt::KeepAspectRatio);
        return QRectF(area.left() + (area.width() - s.width()) / 2, area.top(), s.width(), s.height());
    };
    const auto listHeight = [&](qreal width) {
        qreal h = 0;
        for (qsizetype i = 0; i < lineCount; ++i)
            h += heightOf(i, width);
        return h;
    };
    if (lineCount == 0)
        return {PagePlan{fitted(content), QRectF(), 0, 0}};

    // Beside the map on its left, as on the screen; or below it.
    QList<PagePlan> candidates;
    const qreal besideWidth = std::min(content.width() * 0.35, content.width() - gap);
    if (listHeight(besideWidth) <= content.height()) {
        const QRectF list(content.topLeft(), QSizeF(besideWidth, content.height()));
        const QRectF mapArea(list.right() + gap, content.top(), content.width() - besideWidth - gap, content.height());
        candidates.append({fitted(mapArea), list, 0, lineCount});
    }
    const qreal belowHeight = listHeight(content.width());
    // Below only while the map keeps at least half the page.
    if (belowHeight + gap <= content.height() / 2) {
        const QRectF mapArea(content.topLeft(), QSizeF(content.width(), content.height() - belowHeight - gap));
        const QRectF map = fitted(mapArea);
        candidates.append(
            {map, QRectF(content.left(), map.bottom() + gap, content.width(), belowHeight), 0, lineCount});
    }
    if (!candidates.isEmpty()) {
        const auto larger = [](const PagePlan& a, const PagePlan& b) { return a.map.width() < b.map.width(); };
        return {*std::max_element(candidates.begin(), candidates.end(), larger)};
    }

    // The map alone on the first page, the list on as many pages as it takes.
    QList<PagePlan> pages{PagePlan{fitted(content), QRectF(), 0, 0}};
    qsizetype i = 0;
    while (i < lineCount) {
        PagePlan page{QRectF(), content, i, 0};
        qreal used = 0;
        // A line taller than a page still gets one of its own.
        while (i < lineCount && (page.lineCount == 0 || used + heightOf(i, content.width()) <= content.height())) {
            used += heightOf(i, content.width());
            ++page.lineCount;
            ++i;
        }
        pages.append(page);
    }
    return pages;
}

QPageLayout::Orientation orientationFor(const QSize& view)
{
    return view.width() > view.height() ? QPageLayout::Landscape : QPageLayout::Portrait;
}

namespace {

QFont printFont()
{
    QFont font(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                           QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(9);
    return font;
}

constexpr int kLineFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

void drawList(QPainter& painter, const PagePlan& page, const QStringList& lines, const LineHeight& heightOf)
{
    qreal y = page.list.top();
    for (qsizetype i = page.firstLine; i < page.firstLine + page.lineCount; ++i) {
        const qreal h = heightOf(i, page.list.width());
        QFont f = painter.font();
        f.setBold(!lines.at(i).isEmpty() && !lines.at(i).front().isDigit()); // the headings
        painter.setFont(f);
        painter.drawText(QRectF(page.list.left(), y, page.list.width(), h), kLineFlags, lines.at(i));
        y += h;
    }
    QFont f = painter.font();
    f.setBold(false);
    painter.setFont(f);
}

} // namespace

void drawSheet(QPrinter* printer, const MapSheet& sheet, const QString& header, const QString& footer, PrintInfo info)
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
    const QRectF content(paper.left() + px(mm.left()), paper.top() + px(mm.top()),
                         paper.width() - px(mm.left()) - px(mm.right()),
                         paper.height() - px(mm.top()) - px(mm.bottom()));

    painter.setFont(printFont());
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(painter.font(), printer);
    const LineHeight heightOf = [&](qsizetype i, qreal width) {
        return metrics.boundingRect(QRectF(0, 0, width, 1e6), kLineFlags, sheet.listLines.at(i)).height() +
            metrics.leading();
    };
    const QList<PagePlan> pages = planPages(sheet.map.size(), sheet.listLines.size(), heightOf, content, px(5));

    info.pageCount = int(pages.size());
    if (!info.time.isValid())
        info.time = QTime::currentTime();
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i > 0 && !printer->newPage())
            throw TessoloError(QStringLiteral("印刷中にプリンターとの接続が切れました。"));
        const PagePlan& page = pages.at(i);
        if (!page.map.isEmpty()) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(page.map, sheet.map);
            painter.save();
            painter.setPen(QPen(Qt::black, px(0.4)));
            painter.drawRect(page.map);
            painter.restore();
        }
        drawList(painter, page, sheet.listLines, heightOf);
        info.page = int(i + 1);
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

namespace {

// Runs `script` in the page and waits for its answer, or for `timeoutMs`.
QVariant askPage(QWebEnginePage* page, const QString& script, int timeoutMs = 5000)
{
    QVariant answer;
    bool done = false;
    QEventLoop loop;
    page->runJavaScript(script, [&answer, &done, &loop](const QVariant& v) {
        answer = v;
        done = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(page, &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return answer;
}

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

// The page made ready for the picture: the controls that mean nothing on
// paper (zoom buttons, drawing tools) hidden, and the base map and tiles
// drawn whole, waited for up to a few seconds; afterwards as it was.
struct TWebMap::CaptureGuard {
    TWebMap* view;
    explicit CaptureGuard(TWebMap* v)
        : view(v)
    {
        askPage(view->page(), QStringLiteral("window.tessoloPrinting && tessoloPrinting(true)"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 &&
               !askPage(view->page(), QStringLiteral("!window.tessoloPrintReady || tessoloPrintReady()")).toBool())
            pause(100);
        pause(150); // one more frame painted with the controls gone
    }
    ~CaptureGuard() { view->page()->runJavaScript(QStringLiteral("window.tessoloPrinting && tessoloPrinting(false)")); }
};

printing::MapSheet TWebMap::mapSheet()
{
    const CaptureGuard guard(this);
    // Where the map lies in the view (the area list may take the left), and
    // the list's lines: its heading, then each customer numbered as shown.
    static const QString probe =
        QStringLiteral("(function(){var r=document.getElementById('map').getBoundingClientRect(),lines=[];"
                       "function add(sel,title){var items=document.querySelectorAll(sel);"
                       "if(title)lines.push(title.textContent.replace(/\\s+/g,' ').trim());"
                       "for(var i=0;i<items.length;i++){var parts=[];"
                       "for(var c=items[i].firstChild;c;c=c.nextSibling)parts.push(c.textContent.trim());"
                       "lines.push((i+1)+'. '+parts.filter(Boolean).join('  '));}}"
                       "var a=document.getElementById('area');"
                       "if(a&&!a.hidden){add('#area-list > li',a.querySelector('summary'));"
                       "var x=document.getElementById('area-approx');"
                       "if(x&&!x.hidden)add('#area-approx-list > li',x.querySelector('.tsl-area-approx-title'));}"
                       "return {x:r.left,y:r.top,w:r.width,h:r.height,lines:lines};})()");
    QVariantMap answer;
    bool done = false;
    QEventLoop loop;
    page()->runJavaScript(probe, [&answer, &done, &loop](const QVariant& v) {
        answer = v.toMap();
        done = true;
        loop.quit();
    });
    connect(page(), &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done)
        throw TessoloError(QStringLiteral("地図を印刷用に変換できませんでした。"));

    printing::MapSheet sheet;
    const qreal zoom = zoomFactor();
    QRect area =
        QRectF(answer.value(QStringLiteral("x")).toDouble() * zoom, answer.value(QStringLiteral("y")).toDouble() * zoom,
               answer.value(QStringLiteral("w")).toDouble() * zoom, answer.value(QStringLiteral("h")).toDouble() * zoom)
            .toRect()
            .intersected(rect());
    if (area.isEmpty())
        area = rect(); // no map element: the view as it is
    sheet.map = grab(area).toImage();
    if (sheet.map.isNull())
        throw TessoloError(QStringLiteral("地図を印刷用に変換できませんでした。"));
    sheet.listLines = answer.value(QStringLiteral("lines")).toStringList();
    return sheet;
}

void TWebMap::choosePageOrientation()
{
    // The shape of the view decides, until the user has picked one.
    if (!m_orientationChosen)
        printer()->setPageOrientation(printing::orientationFor(size()));
}

void TWebMap::renderTo(QPrinter* p)
{
    const printing::MapSheet sheet = mapSheet();
    printing::PrintInfo info;
    info.title = page()->title().isEmpty() ? window()->windowTitle() : page()->title();
    // The page's own address (the program's server on 127.0.0.1) means
    // nothing on paper: &u prints empty.
    info.url.clear();
    info.date = QDate::currentDate();
    printing::drawSheet(p, sheet, header, footer, info);
}

void TWebMap::noteOrientationChoice(QPageLayout::Orientation offered)
{
    if (printer()->pageLayout().orientation() != offered)
        m_orientationChosen = true;
}

void TWebMap::Print()
{
    waitForLoad();
    QPrinter* p = printer();
    if (!printing::printerAvailable(*p)) {
        printToPdf();
        return;
    }
    choosePageOrientation();
    if (!hideSetup) {
        const QPageLayout::Orientation offered = p->pageLayout().orientation();
        QPrintDialog dialog(p, window());
        if (dialog.exec() != QDialog::Accepted)
            return;
        noteOrientationChoice(offered);
    }
    renderTo(p);
    emit printFinished(true);
}

void TWebMap::PrintPreview()
{
    choosePageOrientation();
    const QPageLayout::Orientation offered = printer()->pageLayout().orientation();
    QPrintPreviewDialog dialog(printer(), window());
    dialog.setWindowTitle(QStringLiteral("印刷プレビュー"));
    // Large enough to read, the page at its width rather than whole.
    dialog.resize(window()->size());
    if (auto* preview = dialog.findChild<QPrintPreviewWidget*>())
        preview->setZoomMode(QPrintPreviewWidget::FitToWidth);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* p) { ui::runHandler([&] { renderTo(p); }); });
    dialog.exec();
    noteOrientationChoice(offered); // turned in the preview
}

// Where no printer is installed the map goes to a PDF file the user names.
void TWebMap::printToPdf()
{
    QString file = QFileDialog::getSaveFileName(window(), QStringLiteral("プリンターがないため PDF に保存します"),
                                                QDir(ui::startFolder()).filePath(QStringLiteral("顧客地図.pdf")),
                                                QStringLiteral("PDF (*.pdf)"));
    if (file.isEmpty())
        return;
    if (!file.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        file += QStringLiteral(".pdf");
    QPrinter* p = printer();
    p->setOutputFormat(QPrinter::PdfFormat);
    p->setOutputFileName(file);
    struct Back {
        QPrinter* p;
        ~Back()
        {
            p->setOutputFileName(QString());
            p->setOutputFormat(QPrinter::NativeFormat);
        }
    } back{p};
    choosePageOrientation();
    renderTo(p);
    emit printFinished(true);
}

void TWebMap::PrintSetup()
{
    waitForLoad();
    // Once a print has turned hide-setup on, the current settings stand and
    // nothing is asked.
    if (hideSetup)
        return;
    choosePageOrientation();
    QPageSetupDialog dialog(printer(), window());
    if (dialog.exec() == QDialog::Accepted)
        m_orientationChosen = true;
}

} // namespace tessolo::app
