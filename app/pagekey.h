#pragma once
// Hands the page server's key to every request the browser control sends to
// that server, and to that server only: the page itself never sees the key,
// so no other page, and no other program on the machine, can learn it from
// the page or its address. Requests pass on to `next` (the offline guard,
// when there is one) first.

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWebEngineUrlRequestInterceptor>

namespace tessolo::app {

class TPageKey : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    explicit TPageKey(QWebEngineUrlRequestInterceptor* next, QObject* parent = nullptr);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    // `hostPort` is "127.0.0.1:<port>" as the server gives it.
    void setServer(const QString& hostPort, const QByteArray& headerName, const QByteArray& key);

private:
    QPointer<QWebEngineUrlRequestInterceptor> m_next;
    QString m_hostPort;
    QByteArray m_header;
    QByteArray m_key;
};

} // namespace tessolo::app
