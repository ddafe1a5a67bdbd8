#pragma once
// The web server that serves the map page to the browser control. It listens
// on the loopback address only, on a port the system picks, and serves the
// files of one folder under "/velmo/"; anything else, and any path that would
// leave the folder, is answered 404. "/velmo/address-search?q=<address>" is
// answered by the program's address search, when it has one.
//
// Only the program's own page is answered. Every request must name this
// server as its Host (127.0.0.1:<port> or localhost:<port>), which a page
// elsewhere that rebinds its name to this machine cannot; and a route that
// tells or changes anything (the address search and whatever joins it) wants
// the key made afresh at each start, which the program's browser control
// sends in the header kKeyHeader and no one else knows. The rest is answered
// 403 and nothing more. Heads, bodies, slow and idle clients and the number
// of connections are bounded by TGatedTcpServer.

#include <QAbstractHttpServer>
#include <QString>

namespace tessolo::app {

class TAddressSearch;
class TGatedTcpServer;

class TMapServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit TMapServer(QString root, QObject* parent = nullptr);

    // Starts listening on 127.0.0.1; raises TessoloError when no port is free.
    void start();
    quint16 port() const { return m_port; }
    // "127.0.0.1:<port>", the host part of the page's address.
    QString host() const;
    // The key the keyed routes want, made at construction.
    const QByteArray& key() const { return m_key; }
    static constexpr char kKeyHeader[] = "X-Tessolo-Key";
    const QString& root() const { return m_root; }
    // Serves another folder from the next request on: a page being worked on,
    // or a test's own files.
    void setRoot(const QString& root) { m_root = root; }
    void setAddressSearch(TAddressSearch* search) { m_search = search; }

    // The "velmo" folder beside the executable, or the installed one.
    static QString defaultRoot();

    // The file a request path names inside `root`, or an empty string when the
    // path is not under "/velmo/", leaves the folder, or names no file.
    static QString resolve(const QString& root, const QString& urlPath);
    // The Content-Type for a file name.
    static QByteArray contentType(const QString& fileName);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    enum class Access { Open, Keyed };
    // The one check every route passes: false, and 403 has been answered,
    // when the request is not from the program's page.
    bool admit(const QHttpServerRequest& request, QTcpSocket* socket, Access access);
    bool hostIsOurs(const QHttpServerRequest& request) const;
    void answerSearch(const QHttpServerRequest& request, QTcpSocket* socket);

    TGatedTcpServer* m_gate = nullptr;
    QByteArray m_key;

    QString m_root;
    TAddressSearch* m_search = nullptr;
    quint16 m_port = 0;
};

} // namespace tessolo::app
