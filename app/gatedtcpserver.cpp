#include "app/gatedtcpserver.h"

#include <QTcpSocket>
#include <QTimer>

namespace tessolo::app {

namespace {

QTimer* clockOf(QTcpSocket* socket) { return socket->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly); }

} // namespace

TGatedTcpServer::TGatedTcpServer(QObject* parent)
    : QTcpServer(parent)
{
}

void TGatedTcpServer::incomingConnection(qintptr handle)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    if (!makeRoom()) {
        socket->abort();
        socket->deleteLater();
        return;
    }
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
    connect(socket, &QIODevice::bytesWritten, clock, [socket, clock] {
        if (socket->bytesToWrite() == 0)
            clock->start();
    });
    clock->start();

    connect(socket, &QIODevice::readyRead, this, [this, socket] { checkHead(socket); });
    checkHead(socket);
}

bool TGatedTcpServer::makeRoom()
{
    if (m_live.size() < kMaxConnections)
        return true;
    // Only a connection still waiting for its request may go; one being
    // answered stays.
    for (QTcpSocket* old : std::as_const(m_live)) {
        QTimer* clock = clockOf(old);
        if (clock && clock->isActive()) {
            m_live.removeOne(old);
            old->abort();
            return true;
        }
    }
    return false;
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

void TGatedTcpServer::requestTaken(QTcpSocket* socket)
{
    if (QTimer* clock = clockOf(socket))
        clock->stop();
}

void TGatedTcpServer::refuse(QTcpSocket* socket, const QByteArray& status)
{
    disconnect(socket, &QIODevice::readyRead, nullptr, nullptr);
    socket->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
}

} // namespace tessolo::app
