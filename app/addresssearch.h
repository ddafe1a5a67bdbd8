#pragma once
// The address search behind the page server: the map page asks the program
// (same origin, so no cross-origin headers are needed from anyone), and the
// program asks the address search of the Geospatial Information Authority of
// Japan once per address text and keeps the answer. The answers live in a
// file of their own beside the browser profile, so that a later start, on
// whatever port, finds them again without asking.
//
// The file holds one JSON object a line, {"q": address, "a": answer}, appended
// as answers come; a torn last line (a crash mid-write) is skipped on reading.
// Only a regular file is used, never through a symbolic link: anything else
// at its place (a FIFO would block the start, a link would have answers
// written wherever it points) is left alone and the answers are kept in
// memory only, with a word in problem(). The file keeps the newest
// kKeptAnswers answers: it is read from its end until that many are found,
// and rewritten with those alone when it holds more (at a start) or has
// grown a tenth past them (while the program runs).

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QIODevice>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QFile;

class QNetworkAccessManager;

namespace tessolo::app {

class TAddressSearch : public QObject {
    Q_OBJECT
public:
    // `cacheFile` empty: answers are kept in memory only (tests, and a
    // profile that is not kept on disk either).
    explicit TAddressSearch(QString cacheFile, QObject* parent = nullptr);
    // Keeping at most `keptAnswers` answers (0: kKeptAnswers).
    TAddressSearch(QString cacheFile, qsizetype keptAnswers, QObject* parent = nullptr);
    ~TAddressSearch() override;

    // The file every search made afterwards keeps its answers in; set once by
    // start-up beside the browser profile.
    static void setDefaultCacheFile(const QString& path);
    static QString defaultCacheFile();
    // ~/.local/share/Tessolo/address-search.jsonl, beside QtWebEngine/.
    static QString profileCacheFile();

    // https://msearch.gsi.go.jp/address-search/AddressSearch, which every
    // search asks unless told another (a mirror, or a test's stand-in).
    static QUrl serviceEndpoint();
    const QUrl& endpoint() const { return m_endpoint; }
    void setEndpoint(const QUrl& url) { m_endpoint = url; }

    // Status and body for the page: 200 with the service's answer (a JSON
    // array of point features, kept to title and coordinates), 400 for an
    // empty or overlong query, 403 when the program runs offline, 502 when
    // the service answered with something else, 503 when it cannot be
    // reached (and for a minute after, without trying).
    using Reply = std::function<void(int status, const QByteArray& body)>;
    void lookup(const QString& query, Reply reply);

    qsizetype cachedCount() const { return m_cache.size(); }
    // Why the file is not used, for the status bar; empty while it is.
    const QString& problem() const { return m_problem; }

    // The service's answer reduced to what the page reads; false when it is
    // not a JSON array.
    static bool trimAnswer(const QByteArray& body, QByteArray* out);

    static constexpr int kMaxQueryLength = 200;
    static constexpr int kPauseMs = 60000;
    static constexpr int kTimeoutMs = 10000;
    static constexpr qsizetype kKeptAnswers = 50000;
    // The file is read from its end in blocks of this size; a line longer
    // than kMaxLineBytes is no answer of ours and is skipped.
    static constexpr qint64 kReadBlock = 1 << 20;
    static constexpr qsizetype kMaxLineBytes = qsizetype{64} * 1024;

signals:
    // The file turned out unusable while the program ran.
    void problemFound(const QString& message);

private:
    void load();
    // Takes the lines of `text`, last first, counting them in `lines`, until
    // kKeptAnswers answers are kept; true when it stopped before the first.
    bool takeNewestFirst(QByteArrayView text, qsizetype& lines);
    bool full() const;
    void store(const QString& query, const QByteArray& answer);
    void compact();
    // The cache file opened without following a link; null and a problem
    // noted when it is anything but a regular file.
    std::unique_ptr<QFile> openFile(QIODevice::OpenMode mode);
    void giveUpFile(const QString& why);

    QUrl m_endpoint;
    qsizetype m_keptAnswers;
    QString m_problem;
    QList<QString> m_order; // as written, oldest first

    QString m_file;
    QHash<QString, QByteArray> m_cache;
    QHash<QString, QList<Reply>> m_waiting;
    QNetworkAccessManager* m_net = nullptr;
    qint64 m_pausedUntil = 0;
    bool m_newlineFirst = false;
};

} // namespace tessolo::app
