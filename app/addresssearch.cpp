#include "app/addresssearch.h"

#include "app/startoptions.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>

namespace tessolo::app {

namespace {

QString& cacheFileSetting()
{
    static QString f;
    return f;
}

QUrl& endpointOverride()
{
    static QUrl u;
    return u;
}

// More features than the page ever looks at only fill the file.
constexpr qsizetype kKeptFeatures = 10;

} // namespace

TAddressSearch::TAddressSearch(QString cacheFile, QObject* parent)
    : QObject(parent), m_file(std::move(cacheFile))
{
    load();
}

TAddressSearch::~TAddressSearch() = default;

void TAddressSearch::setDefaultCacheFile(const QString& path) { cacheFileSetting() = path; }

QString TAddressSearch::defaultCacheFile() { return cacheFileSetting(); }

QString TAddressSearch::profileCacheFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("address-search.jsonl"));
}

QUrl TAddressSearch::endpoint()
{
    if (endpointOverride().isValid())
        return endpointOverride();
    return QUrl(QStringLiteral("https://msearch.gsi.go.jp/address-search/AddressSearch"));
}

void TAddressSearch::setEndpointForTesting(const QUrl& url) { endpointOverride() = url; }

bool TAddressSearch::trimAnswer(const QByteArray& body, QByteArray* out)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &err);
    if (err.error != QJsonParseError::NoError || !doc.isArray())
        return false;
    QJsonArray kept;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject f = v.toObject();
        const QJsonArray c = f.value(QLatin1String("geometry")).toObject().value(QLatin1String("coordinates")).toArray();
        const QJsonValue title = f.value(QLatin1String("properties")).toObject().value(QLatin1String("title"));
        if (c.size() < 2 || !c.at(0).isDouble() || !c.at(1).isDouble() || !title.isString())
            continue;
        kept.append(QJsonObject{
            {QStringLiteral("geometry"), QJsonObject{{QStringLiteral("coordinates"), QJsonArray{c.at(0), c.at(1)}}}},
            {QStringLiteral("properties"), QJsonObject{{QStringLiteral("title"), title}}}});
        if (kept.size() >= kKeptFeatures)
            break;
    }
    *out = QJsonDocument(kept).toJson(QJsonDocument::Compact);
    return true;
}

void TAddressSearch::load()
{
    if (m_file.isEmpty())
        return;
    QFile f(m_file);
    if (!f.open(QIODevice::ReadOnly))
        return; // none yet
    const QByteArray all = f.readAll();
    m_newlineFirst = !all.isEmpty() && !all.endsWith('\n');
    for (const QByteArray& line : all.split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString q = o.value(QLatin1String("q")).toString();
        const QJsonValue a = o.value(QLatin1String("a"));
        if (q.isEmpty() || !a.isArray())
            continue; // a torn or foreign line
        m_cache.insert(q, QJsonDocument(a.toArray()).toJson(QJsonDocument::Compact));
    }
}

void TAddressSearch::store(const QString& query, const QByteArray& answer)
{
    m_cache.insert(query, answer);
    if (m_file.isEmpty())
        return;
    // The cache only saves asking again: when it cannot be written the answer
    // still serves this start, and nothing else is lost.
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QFile f(m_file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QByteArray line;
    if (m_newlineFirst)
        line += '\n';
    line += QJsonDocument(QJsonObject{{QStringLiteral("q"), query},
                                      {QStringLiteral("a"), QJsonDocument::fromJson(answer).array()}})
                .toJson(QJsonDocument::Compact);
    line += '\n';
    // One write, so that two programs appending at once do not interleave.
    // A write that did not reach the disk whole (disk full) may have left
    // part of the line: the next one starts on a line of its own.
    const bool whole = f.write(line) == line.size() && f.flush();
    m_newlineFirst = !whole;
}

void TAddressSearch::lookup(const QString& rawQuery, Reply reply)
{
    const QString query = rawQuery.trimmed();
    if (query.isEmpty() || query.size() > kMaxQueryLength) {
        reply(400, QByteArrayLiteral("no address, or one too long"));
        return;
    }
    const auto hit = m_cache.constFind(query);
    if (hit != m_cache.cend()) {
        reply(200, *hit);
        return;
    }
    if (offlineMode()) {
        reply(403, QByteArrayLiteral("offline"));
        return;
    }
    if (QDateTime::currentMSecsSinceEpoch() < m_pausedUntil) {
        reply(503, QByteArrayLiteral("the address search was unreachable a moment ago"));
        return;
    }
    // The same address asked twice before the first answer: one question.
    auto waiting = m_waiting.find(query);
    if (waiting != m_waiting.end()) {
        waiting->append(std::move(reply));
        return;
    }
    m_waiting.insert(query, {std::move(reply)});

    if (!m_net)
        m_net = new QNetworkAccessManager(this);
    QUrl url = endpoint();
    url.setQuery(QStringLiteral("q=") + QString::fromLatin1(QUrl::toPercentEncoding(query)), QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tessolo/1.0"));
    request.setTransferTimeout(kTimeoutMs);
    // Nothing but the address: no cookie is kept from one question to the next.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    QNetworkReply* r = m_net->get(request);
    connect(r, &QNetworkReply::finished, this, [this, r, query] {
        r->deleteLater();
        const int http = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        int status = 200;
        QByteArray body;
        if (r->error() != QNetworkReply::NoError && http == 0) {
            // No network, or no answer in time: leave the service alone for a
            // while instead of failing once per customer.
            m_pausedUntil = QDateTime::currentMSecsSinceEpoch() + kPauseMs;
            status = 503;
            body = QByteArrayLiteral("the address search cannot be reached");
        } else if (http != 200 || !trimAnswer(r->readAll(), &body)) {
            status = 502;
            body = QByteArrayLiteral("the address search gave no usable answer");
        } else {
            store(query, body);
        }
        const QList<Reply> replies = m_waiting.take(query);
        for (const Reply& rep : replies)
            rep(status, body);
    });
}

} // namespace tessolo::app
