#include "app/gatedtcpserver.h"

#include <QTcpSocket>
#include <QTimer>

namespace tessolo::app {

namespace {

QTimer* clockOf(QTcpSocket* socket) { return socket->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly); }

// Waiting for a request (its clock runs kIdleMs), or answering one.
const char* const kAnswering = "tessoloAnswering";
// The client asked for the connection to end with this answer.
const char* const kLast = "tessoloLast";

bool answering(QTcpSocket* socket) { return socket->property(kAnswering).toBool(); }

} // namespace

TGatedTcpServer::TGatedTcpServer(QObject* parent)
    : QTcpServer(parent)
{
    // A short queue of connections not yet taken would, when flooded, make
    // the kernel hold the page's own connection back for seconds; taken,
    // each is dealt with at once.
    setListenBacklogSize(kBacklog);
}

void TGatedTcpServer::incomingConnection(qintptr handle)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    makeRoom();
    // The socket reads no further than one head ahead, also later, while the
    // HTTP server holds it: a longer head stalls and runs out of time.
    socket->setReadBufferSize(kMaxHeadBytes);
    m_live.append(socket);
    connect(socket, &QObject::destroyed, this, [this, socket] { m_live.removeOne(socket); });
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);

    auto* clock = new QTimer(socket);
    clock->setSingleShot(true);
    clock->setInterval(kIdleMs);
    connect(clock, &QTimer::timeout, socket, [socket] { socket->abort(); });
    // An answer being read restarts the clock; one that is not read for
    // kAnswerMs (a client that asked for a file and stopped reading) ends it.
    connect(socket, &QIODevice::bytesWritten, clock, [socket, clock] {
        const bool done = socket->bytesToWrite() == 0;
        socket->setProperty(kAnswering, !done);
        clock->start(done ? kIdleMs : kAnswerMs);
        if (done && socket->property(kLast).toBool())
            socket->disconnectFromHost();
    });
    clock->start(kIdleMs);

    connect(socket, &QIODevice::readyRead, this, [this, socket] { checkHead(socket); });
    checkHead(socket);
}

void TGatedTcpServer::makeRoom()
{
    if (m_live.size() < kMaxConnections)
        return;
    // The oldest connection that is only waiting goes; when every one is
    // being answered, the oldest of them. A new connection always gets in,
    // so the page is answered however many others hold the port.
    QTcpSocket* victim = m_live.first();
    for (QTcpSocket* old : std::as_const(m_live)) {
        if (!answering(old)) {
            victim = old;
            break;
        }
    }
    m_live.removeOne(victim);
    victim->abort();
}

void TGatedTcpServer::checkHead(QTcpSocket* socket)
{
    const QByteArray seen = socket->peek(kMaxHeadBytes);
    const qsizetype end = seen.indexOf("\r\n\r\n");
    if (end < 0) {
        if (seen.size() >= kMaxHeadBytes)
            refuse(socket, "431 Request Header Fields Too Large");
        return;
    }
    if (hasBody(seen.left(end + 2))) {
        refuse(socket, "413 Content Too Large");
        return;
    }
    handOver(socket);
}

bool TGatedTcpServer::hasBody(const QByteArray& head)
{
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "transfer-encoding")
            return true;
        if (name == "content-length" && value != "0")
            return true;
    }
    return false;
}

void TGatedTcpServer::handOver(QTcpSocket* socket)
{
    disconnect(socket, &QIODevice::readyRead, this, nullptr);
    addPendingConnection(socket);
    // The HTTP server reads on readyRead only, and the head came before it
    // took the socket.
    QMetaObject::invokeMethod(
        socket, [socket] { emit socket->readyRead(); }, Qt::QueuedConnection);
}

void TGatedTcpServer::requestTaken(QTcpSocket* socket, bool last)
{
    socket->setProperty(kAnswering, true);
    socket->setProperty(kLast, last);
    if (QTimer* clock = clockOf(socket))
        clock->start(kAnswerMs);
}

void TGatedTcpServer::refuse(QTcpSocket* socket, const QByteArray& status)
{
    disconnect(socket, &QIODevice::readyRead, nullptr, nullptr);
    socket->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
}

} // namespace tessolo::app
