#pragma once
// The web server that serves the map page to the browser control. It listens
// on the loopback address only, on a port the system picks, and serves the
// files of one folder under "/velmo/"; anything else, and any path that would
// leave the folder, is answered 404. "/velmo/address-search?q=<address>" is
// answered by the program's address search, when it has one.

#include <QAbstractHttpServer>
#include <QString>

namespace tessolo::app {

class TAddressSearch;

class TMapServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit TMapServer(QString root, QObject* parent = nullptr);

    // Starts listening on 127.0.0.1; raises TessoloError when no port is free.
    void start();
    quint16 port() const { return m_port; }
    // "127.0.0.1:<port>", the host part of the page's address.
    QString host() const;
    const QString& root() const { return m_root; }
    void setAddressSearch(TAddressSearch* search) { m_search = search; }

    // The folder beside the executable, unless a test has chosen another.
    static QString defaultRoot();
    static void setDefaultRootForTesting(const QString& dir);

    // The file a request path names inside `root`, or an empty string when the
    // path is not under "/velmo/", leaves the folder, or names no file.
    static QString resolve(const QString& root, const QString& urlPath);
    // The Content-Type for a file name.
    static QByteArray contentType(const QString& fileName);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void answerSearch(const QHttpServerRequest& request, QTcpSocket* socket);

    QString m_root;
    TAddressSearch* m_search = nullptr;
    quint16 m_port = 0;
};

} // namespace tessolo::app
