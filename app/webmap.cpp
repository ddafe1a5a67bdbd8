#include "app/webmap.h"

#include "app/offlineguard.h"
#include "app/pagekey.h"
#include "app/startoptions.h"
#include "data/errors.h"

#include <QEventLoop>
#include <QPointer>
#include <QPrinter> // the destructor frees the printer
#include <QTimer>
#include <QVariantMap>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QFile>
#include <QWebEngineProfile>
#include <QCoreApplication>
#include <QDateTime>
#include <memory>

namespace tessolo::app {

QString jsStringLiteral(const QString& s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += QLatin1Char('"');
    const auto hex = [&out](char16_t c) { out += QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0')); };
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s.at(i + 1).unicode())) {
            out += s.at(i);
            out += s.at(++i);
            continue;
        }
        switch (c) {
        case u'"': out += QStringLiteral("\\\""); break;
        case u'\\': out += QStringLiteral("\\\\"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        default:
            // Line terminators and '<' end a literal or a script block in some
            // hosts; a lone surrogate would not survive the trip as UTF-8.
            if (c < 0x20 || c == 0x7f || c == 0x2028 || c == 0x2029 || c == u'<' || QChar::isSurrogate(c))
                hex(c);
            else
                out += QChar(c);
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString callScript(const QString& name, const QList<QStringList>& rows, const QString& token)
{
    QString rowsText;
    rowsText.reserve(rows.size() * 64);
    rowsText += QLatin1Char('[');
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (r)
            rowsText += QLatin1Char(',');
        rowsText += QLatin1Char('[');
        const QStringList& args = rows.at(r);
        for (qsizetype a = 0; a < args.size(); ++a) {
            if (a)
                rowsText += QLatin1Char(',');
            rowsText += jsStringLiteral(args.at(a));
        }
        rowsText += QLatin1Char(']');
    }
    rowsText += QLatin1Char(']');

    // The source of a failure is the place the error was thrown, taken from
    // the first stack frame that names a script address; without one, the
    // function's name.
    static const QString body = QStringLiteral(
        "(function(){var w=window,t=%1,n=%2,rows=%3,f='__tessoloFailedRuns';"
        "if(w[f]&&w[f][t])return {done:0,skipped:true};"
        "function fail(r){(w[f]=w[f]||{})[t]=1;return r;}"
        "for(var i=0;i<rows.length;i++){"
        "if(typeof w[n]!=='function')return fail({done:i,err:'nomethod'});"
        "try{w[n].apply(w,rows[i]);}catch(e){"
        "var m=(e!==null&&typeof e==='object'&&'message' in e)?String(e.message):String(e),s=n;"
        "try{var l=String(e&&e.stack||'').split('\\n');"
        "for(var k=0;k<l.length;k++){var x=/((?:https?|file|qrc):\\/\\/[^\\s()]+?):(\\d+):\\d+\\)?\\s*$/.exec(l[k]);"
        "if(x){s=x[1]+' line '+x[2];break;}}}catch(_){}"
        "return fail({done:i,err:'throw',msg:m,src:s});}}"
        "return {done:rows.length};})()");
    return body.arg(jsStringLiteral(token), jsStringLiteral(name), rowsText);
}

namespace {
QWebEngineProfile* persistentProfile = nullptr;
} // namespace

void TWebMap::usePersistentProfile(const QString& storageName)
{
    // Owned by the application object, so that it outlives every page.
    if (!persistentProfile)
        persistentProfile = new QWebEngineProfile(storageName, QCoreApplication::instance());
}

TWebMap::TWebMap(QWidget* parent)
    : QWebEngineView(parent)
{
    setObjectName(QStringLiteral("WebMap1"));
    if (persistentProfile)
        setPage(new QWebEnginePage(persistentProfile, this));
    connect(this, &QWebEngineView::loadStarted, this, [this] { m_loading = true; });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) {
        m_loading = false;
        const QUrl u = url();
        m_hasDocument = u.isValid() && !u.isEmpty() && u.toString() != QLatin1String("about:blank");
    });
    connect(page(), &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status) {
                m_hasDocument = false;
                m_loading = false;
                if (status != QWebEnginePage::NormalTerminationStatus)
                    restartPage();
            });
    if (offlineMode())
        m_guard = new TOfflineGuard(this);
    page()->setUrlRequestInterceptor(m_key = new TPageKey(m_guard, this));
}

void TWebMap::setServerKey(const QString& hostPort, const QByteArray& headerName, const QByteArray& key)
{
    m_key->setServer(hostPort, headerName, key);
}

void TWebMap::restartPage()
{
    // A renderer that dies again and again (out of memory on every load)
    // must not be restarted for ever.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_restarts.append(now);
    while (!m_restarts.isEmpty() && now - m_restarts.first() > kRestartWindowMs)
        m_restarts.removeFirst();
    if (m_address.isEmpty())
        return;
    if (m_restarts.size() > kMaxRestarts) {
        emit pageRestarted(QStringLiteral("地図ページの表示処理が繰り返し止まるため、読み込み直しをやめました。"
                                          "プログラムを起動し直してください。"));
        return;
    }
    // Not from inside the signal: the page is still tearing down its process.
    QTimer::singleShot(0, this, [this] { Navigate(m_address); });
    emit pageRestarted(QStringLiteral("地図ページの表示処理が止まったため、地図を読み込み直しました。"
                                      "表示していた印は消えています。"));
}

TWebMap::~TWebMap() = default;

void TWebMap::setHost(QObject* host)
{
    auto* channel = new QWebChannel(this);
    channel->registerObject(QStringLiteral("tessolo"), host);
    page()->setWebChannel(channel);
    QFile api(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!api.open(QIODevice::ReadOnly))
        return; // the page then offers no choice to the program, nothing else
    QWebEngineScript script;
    script.setName(QStringLiteral("tessolo-host"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setSourceCode(QString::fromUtf8(api.readAll()) +
                         QStringLiteral("\nnew QWebChannel(qt.webChannelTransport, function (c) {"
                                        " window.tessoloHost = c.objects.tessolo; });\n"));
    page()->scripts().insert(script);
}

void TWebMap::Navigate(const QString& address)
{
    m_address = address;
    const QString withScheme = address.contains(QLatin1String("://")) ? address : QStringLiteral("http://") + address;
    m_loading = true;
    setUrl(QUrl(withScheme));
}

void TWebMap::ExecScript(const QString& code, const QString& language)
{
    if (!m_hasDocument)
        return;
    if (language.compare(QLatin1String("JavaScript"), Qt::CaseInsensitive) != 0 &&
        language.compare(QLatin1String("JScript"), Qt::CaseInsensitive) != 0)
        return;
    // Wrapped so that a throwing script is ignored, as its outcome is.
    page()->runJavaScript(QStringLiteral("try{%1\n}catch(_){}").arg(code));
}

void TWebMap::ExecScriptEx(const QString& name, const QStringList& arguments) { ExecScriptExRows(name, {arguments}); }

namespace {

struct RunState {
    qsizetype outstanding = 0;
    bool aborted = false;
    // The first failure in row order; later batches report "skipped".
    qsizetype failedBatch = -1;
    QVariantMap failure;
    QEventLoop* loop = nullptr;
};

} // namespace

void TWebMap::ExecScriptExRows(const QString& name, const QList<QStringList>& rows)
{
    if (rows.isEmpty())
        return;
    // A page still loading is waited for: a click right after start-up must
    // not find the page's functions missing.
    waitForDocument();
    if (!m_hasDocument)
        return;
    // The waits below hold user input back, so a click made meanwhile runs
    // its handler after this one has ended, whole. A run started otherwise
    // from inside the wait would interleave its marks; it is dropped.
    if (m_busy)
        throw EAbort();
    m_busy = true;
    struct Unbusy {
        bool& b;
        ~Unbusy() { b = false; }
    } unbusy{m_busy};

    const QString token = QStringLiteral("run%1").arg(++m_runCounter);
    auto state = std::make_shared<RunState>();
    QEventLoop loop;
    state->loop = &loop;

    for (qsizetype start = 0, batch = 0; start < rows.size(); start += kBatchRows, ++batch) {
        const QString script = callScript(name, rows.mid(start, kBatchRows), token);
        ++state->outstanding;
        page()->runJavaScript(script, [state, batch](const QVariant& result) {
            --state->outstanding;
            const QVariantMap r = result.toMap();
            if (!result.isValid() || r.isEmpty()) {
                state->aborted = true;
            } else if (r.contains(QStringLiteral("err")) && (state->failedBatch < 0 || batch < state->failedBatch)) {
                state->failedBatch = batch;
                state->failure = r;
            }
            if (state->outstanding == 0 && state->loop)
                state->loop->quit();
        });
    }

    // A page that goes away mid-run never answers; stop waiting for it.
    const auto c1 = connect(this, &QWebEngineView::loadStarted, &loop, [state] {
        state->aborted = true;
        state->loop->quit();
    });
    const auto c2 = connect(page(), &QWebEnginePage::renderProcessTerminated, &loop, [state] {
        state->aborted = true;
        state->loop->quit();
    });
    if (state->outstanding > 0)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    disconnect(c1);
    disconnect(c2);
    state->loop = nullptr;

    if (state->failedBatch >= 0) {
        if (state->failure.value(QStringLiteral("err")).toString() == QLatin1String("nomethod"))
            throw TessoloError(QStringLiteral("This object does not support this method"));
        throw TessoloError(QStringLiteral("Method call unsuccessful. %1 (%2).")
                               .arg(state->failure.value(QStringLiteral("msg")).toString(),
                                    state->failure.value(QStringLiteral("src")).toString()));
    }
    if (state->aborted || state->outstanding > 0)
        throw EAbort();
}

void TWebMap::waitForDocument()
{
    if (!m_loading)
        return;
    QEventLoop loop;
    connect(this, &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
    connect(page(), &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void TWebMap::waitForLoad()
{
    waitForDocument();
    if (!m_hasDocument)
        return;
    // The map's tiles load after the document: wait, processing events, until
    // every picture of the page is complete, so a print shows the whole map.
    // A picture that never arrives must not hang the print: give up after 15 s.
    struct PollState {
        QEventLoop* loop = nullptr;
        bool done = false;
        int rounds = 0;
    };
    auto state = std::make_shared<PollState>();
    QEventLoop loop;
    state->loop = &loop;
    const QString probe = QStringLiteral("document.readyState==='complete'&&Array.prototype.every.call(document.images,"
                                         "function(i){return i.complete;})");
    auto poll = std::make_shared<std::function<void()>>();
    QPointer<QWebEnginePage> pg = page();
    *poll = [state, probe, pg, weakPoll = std::weak_ptr<std::function<void()>>(poll)] {
        if (!pg || !state->loop)
            return;
        pg->runJavaScript(probe, [state, weakPoll](const QVariant& v) {
            if (!state->loop)
                return;
            if (v.toBool() || ++state->rounds > 150) {
                state->done = true;
                state->loop->quit();
            } else if (auto p = weakPoll.lock()) {
                QTimer::singleShot(100, state->loop, *p);
            }
        });
    };
    connect(page(), &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    connect(this, &QWebEngineView::loadStarted, &loop, &QEventLoop::quit);
    (*poll)();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    state->loop = nullptr;
}

} // namespace tessolo::app
