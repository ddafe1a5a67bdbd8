#include "app/mapserver.h"

#include "app/addresssearch.h"
#include "app/gatedtcpserver.h"
#include "data/datalocation.h"
#include "data/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <memory>

namespace tessolo::app {

namespace {

const QString kPrefix = QStringLiteral("/velmo/");
const QString kSearchPath = QStringLiteral("/velmo/address-search");

} // namespace

TMapServer::TMapServer(QString root, QObject* parent)
    : QAbstractHttpServer(parent),
      m_root(std::move(root))
{
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    m_key = QByteArray(reinterpret_cast<const char*>(words), sizeof words)
                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

void TMapServer::start()
{
    auto* gate = new TGatedTcpServer(this);
    if (!gate->listen(QHostAddress::LocalHost, 0)) {
        delete gate;
        throw TessoloError(QStringLiteral("地図ページのサーバーを開始できませんでした。"));
    }
    bind(gate);
    m_gate = gate;
    m_port = gate->serverPort();
}

QString TMapServer::host() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

QString TMapServer::defaultRoot() { return location::sharedFolder(QStringLiteral("velmo")); }

QString TMapServer::resolve(const QString& root, const QString& urlPath)
{
    // The path arrives percent-encoded; decode once and judge the result, so
    // that "%2e%2e" is the ".." it stands for. A "%2f" that decodes to a
    // slash only adds a segment, which is judged like any other.
    const QString path = QUrl::fromPercentEncoding(urlPath.toUtf8());
    if (!path.startsWith(kPrefix))
        return {};
    const QStringList segments = path.mid(kPrefix.size()).split(QLatin1Char('/'));
    for (const QString& s : segments) {
        if (s.isEmpty() || s == QLatin1String(".") || s == QLatin1String("..") || s.contains(QLatin1Char('\\')) ||
            s.contains(QChar(0)) || s.contains(QLatin1Char(':')))
            return {};
    }
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    if (canonicalRoot.isEmpty())
        return {};
    const QFileInfo file(QDir(canonicalRoot).filePath(segments.join(QLatin1Char('/'))));
    // A link inside the folder must not lead out of it either.
    const QString canonical = file.canonicalFilePath();
    if (canonical.isEmpty() || !canonical.startsWith(canonicalRoot + QLatin1Char('/')) ||
        !QFileInfo(canonical).isFile())
        return {};
    return canonical;
}

QByteArray TMapServer::contentType(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return "text/html; charset=utf-8";
    if (suffix == QLatin1String("js") || suffix == QLatin1String("mjs"))
        return "text/javascript; charset=utf-8";
    if (suffix == QLatin1String("css"))
        return "text/css; charset=utf-8";
    if (suffix == QLatin1String("json") || suffix == QLatin1String("map"))
        return "application/json";
    if (suffix == QLatin1String("geojson"))
        return "application/geo+json";
    if (suffix == QLatin1String("png"))
        return "image/png";
    if (suffix == QLatin1String("svg"))
        return "image/svg+xml";
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return "image/jpeg";
    if (suffix == QLatin1String("gif"))
        return "image/gif";
    if (suffix == QLatin1String("ico"))
        return "image/x-icon";
    if (suffix == QLatin1String("woff2"))
        return "font/woff2";
    if (suffix == QLatin1String("txt"))
        return "text/plain; charset=utf-8";
    return "application/octet-stream";
}

bool TMapServer::hostIsOurs(const QHttpServerRequest& request) const
{
    QByteArray host;
    int hosts = 0;
    const auto headers = request.headers();
    for (const auto& h : headers) {
        if (h.first.compare("host", Qt::CaseInsensitive) == 0) {
            host = h.second.trimmed().toLower();
            ++hosts;
        }
    }
    const QByteArray port = ':' + QByteArray::number(m_port);
    return hosts == 1 && (host == "127.0.0.1" + port || host == "localhost" + port);
}

bool TMapServer::admit(const QHttpServerRequest& request, QTcpSocket* socket, Access access)
{
    if (m_gate)
        m_gate->requestTaken(socket, request.value("connection").trimmed().toLower() == "close");
    bool ok = hostIsOurs(request);
    if (ok && access == Access::Keyed) {
        // Compared in full whatever the first difference, so that the time
        // taken tells nothing of the key.
        const QByteArray given = request.value(kKeyHeader);
        unsigned diff = given.size() != m_key.size() ? 1u : 0u;
        for (qsizetype i = 0; i < m_key.size(); ++i)
            diff |= unsigned(uchar(m_key[i]) ^ uchar(i < given.size() ? given[i] : 0));
        ok = diff == 0;
    }
    if (!ok)
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::Forbidden);
    return ok;
}

bool TMapServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const bool search = m_search && request.url().path() == kSearchPath;
    if (!admit(request, socket, search ? Access::Keyed : Access::Open))
        return true;
    if (search && request.method() == QHttpServerRequest::Method::Get) {
        answerSearch(request, socket);
        return true;
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    const QString file = request.method() == QHttpServerRequest::Method::Get
        ? resolve(m_root, request.url().path(QUrl::FullyEncoded))
        : QString();
    QFile f(file);
    if (file.isEmpty() || !f.open(QIODevice::ReadOnly)) {
        responder.write(QByteArray("Not Found"), "text/plain; charset=utf-8",
                        QHttpServerResponder::StatusCode::NotFound);
        return true;
    }
    responder.write(
        f.readAll(),
        {{"Content-Type", contentType(file)}, {"Cache-Control", "no-cache"}, {"X-Content-Type-Options", "nosniff"}});
    return true;
}

void TMapServer::answerSearch(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QString query = QUrlQuery(request.url()).queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded);
    // The answer may come long after this returns; by then the page may have
    // gone and its connection with it.
    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    QPointer<QTcpSocket> alive(socket);
    m_search->lookup(query, [responder, alive](int status, const QByteArray& body) {
        if (!alive)
            return;
        const QByteArray type =
            status == 200 ? QByteArray("application/json") : QByteArray("text/plain; charset=utf-8");
        responder->write(body, {{"Content-Type", type}, {"Cache-Control", "no-store"}},
                         QHttpServerResponder::StatusCode(status));
    });
}

void TMapServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (!admit(request, socket, Access::Open))
        return;
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

} // namespace tessolo::app
