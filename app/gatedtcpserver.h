#pragma once
// The listening socket of the page server, which no client can wear down:
// a connection is handed to the HTTP server only once its request head is
// whole and small, with no body (the page's routes take none); a head that
// grows past a few kilobytes, a body, or a client that sends nothing, or
// sends too slowly, is turned away, and so is one that stops reading its
// answer. At most a few dozen connections live at once: a new one pushes out
// the oldest that is only waiting (or else the oldest), so the page keeps
// being answered while another program floods the port.

#include <QByteArray>
#include <QList>
#include <QTcpServer>

class QTcpSocket;

namespace tessolo::app {

class TGatedTcpServer : public QTcpServer {
    Q_OBJECT
public:
    explicit TGatedTcpServer(QObject* parent = nullptr);

    // The server has read a request on `socket` and answers it: it has
    // kAnswerMs for the answer (the address search may wait on the
    // network), then kIdleMs again for the next request; with `last` (the
    // client sent "Connection: close") the connection ends after the answer.
    void requestTaken(QTcpSocket* socket, bool last);

    qsizetype liveConnections() const { return m_live.size(); }

    static constexpr qint64 kMaxHeadBytes = qint64{16} * 1024;
    static constexpr int kIdleMs = 5000;
    static constexpr int kAnswerMs = 30000;
    static constexpr int kBacklog = 1024;
    static constexpr qsizetype kMaxConnections = 32;

protected:
    void incomingConnection(qintptr handle) override;

private:
    void checkHead(QTcpSocket* socket);
    void handOver(QTcpSocket* socket);
    void makeRoom();
    static void refuse(QTcpSocket* socket, const QByteArray& status);
    static bool hasBody(const QByteArray& head);

    QList<QTcpSocket*> m_live; // oldest first
};

} // namespace tessolo::app
