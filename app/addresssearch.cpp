#include "app/addresssearch.h"

#include "app/startoptions.h"
#include "data/errors.h"
#include "data/safefile.h"

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
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessolo::app {

namespace {

QString& cacheFileSetting()
{
    static QString f;
    return f;
}

// More features than the page ever looks at only fill the file.
constexpr qsizetype kKeptFeatures = 10;

} // namespace

TAddressSearch::TAddressSearch(QString cacheFile, QObject* parent)
    : TAddressSearch(std::move(cacheFile), kKeptAnswers, parent)
{ }

TAddressSearch::TAddressSearch(QString cacheFile, qsizetype keptAnswers, QObject* parent)
    : QObject(parent),
      m_endpoint(serviceEndpoint()),
      m_keptAnswers(keptAnswers > 0 ? keptAnswers : kKeptAnswers),
      m_file(std::move(cacheFile))
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

QUrl TAddressSearch::serviceEndpoint()
{
    return QUrl(QStringLiteral("https://msearch.gsi.go.jp/address-search/AddressSearch"));
}

bool TAddressSearch::trimAnswer(const QByteArray& body, QByteArray* out)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &err);
    if (err.error != QJsonParseError::NoError || !doc.isArray())
        return false;
    QJsonArray kept;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject f = v.toObject();
        const QJsonArray c =
            f.value(QLatin1String("geometry")).toObject().value(QLatin1String("coordinates")).toArray();
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

std::unique_ptr<QFile> TAddressSearch::openFile(QIODevice::OpenMode mode)
{
    const bool writing = mode.testFlag(QIODevice::WriteOnly);
    // O_NOFOLLOW: a link is refused, not followed; O_NONBLOCK: a FIFO does
    // not wait for a writer before fstat can tell what it is.
    const int flags = (writing ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::open(QFile::encodeName(m_file).constData(), flags, 0600);
    if (fd < 0) {
        if (errno == ELOOP)
            giveUpFile(QStringLiteral("シンボリックリンクです"));
        return nullptr; // none yet, or no room for one: memory only this time
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        giveUpFile(QStringLiteral("通常のファイルではありません"));
        return nullptr;
    }
    auto f = std::make_unique<QFile>();
    if (!f->open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return f;
}

void TAddressSearch::giveUpFile(const QString& why)
{
    // What matters first: a status bar cuts a long path off at its end.
    m_problem = QStringLiteral("住所検索の控えを使わずに続けます（地図はそのまま使えます）。%2: %1")
                    .arg(QDir::toNativeSeparators(m_file), why);
    m_file.clear();
    emit problemFound(m_problem);
}

void TAddressSearch::load()
{
    if (m_file.isEmpty())
        return;
    const std::unique_ptr<QFile> f = openFile(QIODevice::ReadOnly);
    if (!f)
        return;
    const qint64 size = f->size();
    // Newest first, from the end, and only until enough answers are found:
    // the time and memory a start takes do not grow with the file.
    qint64 pos = size;
    qsizetype lines = 0;
    bool older = false; // lines left unread before the answers kept
    QByteArray carry;   // the end of a line whose beginning is further back
    while (pos > 0 && !older) {
        const qint64 from = std::max<qint64>(0, pos - kReadBlock);
        QByteArray text;
        if (!f->seek(from) || (text = f->read(pos - from)).size() != pos - from)
            break;
        text += carry;
        pos = from;
        // Before the first line break, a line that began further back.
        const qsizetype firstBreak = pos > 0 ? text.indexOf('\n') : -1;
        if (pos > 0 && firstBreak < 0) {
            carry = text.size() <= kMaxLineBytes ? text : QByteArray(); // longer than any answer: dropped
            continue;
        }
        carry = firstBreak + 1 <= kMaxLineBytes ? text.left(firstBreak + 1) : QByteArray();
        older = takeNewestFirst(QByteArrayView(text).sliced(firstBreak + 1), lines) || (pos > 0 && full());
    }
    std::reverse(m_order.begin(), m_order.end());
    if (size > 0 && f->seek(size - 1)) {
        char last = '\n';
        f->getChar(&last);
        m_newlineFirst = last != '\n';
    }
    if (older || lines > m_keptAnswers + m_keptAnswers / 10)
        compact();
}

bool TAddressSearch::full() const { return m_cache.size() >= m_keptAnswers; }

bool TAddressSearch::takeNewestFirst(QByteArrayView text, qsizetype& lines)
{
    qsizetype end = text.size();
    while (end > 0) {
        if (full())
            return true;
        const qsizetype start = text.first(end - (text[end - 1] == '\n' ? 1 : 0)).lastIndexOf('\n') + 1;
        const QByteArrayView line = text.sliced(start, end - start);
        end = start;
        ++lines;
        if (line.size() > kMaxLineBytes)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line.toByteArray()).object();
        const QString q = o.value(QLatin1String("q")).toString();
        const QJsonValue a = o.value(QLatin1String("a"));
        if (q.isEmpty() || !a.isArray() || m_cache.contains(q))
            continue; // a torn or foreign line, or an older answer
        m_cache.insert(q, QJsonDocument(a.toArray()).toJson(QJsonDocument::Compact));
        m_order.append(q);
    }
    return false;
}

namespace {

QByteArray cacheLine(const QString& query, const QByteArray& answer)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("q"), query},
                                     {QStringLiteral("a"), QJsonDocument::fromJson(answer).array()}})
               .toJson(QJsonDocument::Compact) +
        '\n';
}

} // namespace

void TAddressSearch::compact()
{
    // The newest answer of each address, newest kept.
    QList<QString> kept;
    QSet<QString> seen;
    for (auto it = m_order.crbegin(); it != m_order.crend() && kept.size() < m_keptAnswers; ++it) {
        if (!seen.contains(*it) && m_cache.contains(*it)) {
            seen.insert(*it);
            kept.append(*it);
        }
    }
    std::reverse(kept.begin(), kept.end());
    QHash<QString, QByteArray> cache;
    for (const QString& q : std::as_const(kept))
        cache.insert(q, m_cache.value(q));
    m_cache.swap(cache);
    m_order = kept;
    if (m_file.isEmpty())
        return;
    try {
        TSafeFile out(m_file);
        for (const QString& q : std::as_const(m_order))
            out.write(cacheLine(q, m_cache.value(q)));
        out.commit();
        m_newlineFirst = false;
    } catch (const TessoloError&) {
        // The old file stays; it is only longer than it should be.
    }
}

void TAddressSearch::store(const QString& query, const QByteArray& answer)
{
    m_cache.insert(query, answer);
    m_order.append(query);
    if (m_file.isEmpty())
        return;
    // The cache only saves asking again: when it cannot be written the answer
    // still serves this start, and nothing else is lost.
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    const std::unique_ptr<QFile> f = openFile(QIODevice::WriteOnly | QIODevice::Append);
    if (!f)
        return;
    QByteArray line;
    if (m_newlineFirst)
        line += '\n';
    line += cacheLine(query, answer);
    // One write, so that two programs appending at once do not interleave.
    // A write that did not reach the disk whole (disk full) may have left
    // part of the line: the next one starts on a line of its own.
    const bool whole = f->write(line) == line.size() && f->flush();
    m_newlineFirst = !whole;
    if (m_order.size() > m_keptAnswers + m_keptAnswers / 10)
        compact();
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
    QUrl url = m_endpoint;
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
