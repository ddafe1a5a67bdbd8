#include "data/pgconnection.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QUrl>
#include <QUrlQuery>
#include <libpq-fe.h>
#include <sys/select.h>

namespace tessolo::store {

namespace {

// Passwords asked for during this run, by URI: asked once per start, never
// written anywhere.
QHash<QString, QString>& knownPasswords()
{
    static QHash<QString, QString> passwords;
    return passwords;
}

pg_conn* connectTo(const QString& uri, const std::optional<QString>& password)
{
    const QByteArray dbname = uri.toUtf8();
    const QByteArray pass = password ? password->toUtf8() : QByteArray();
    // A server that does not answer is said within seconds, not minutes;
    // keepalives find a server that went away while the program waits.
    std::vector<const char*> keys{"dbname",          "client_encoding",     "connect_timeout", "application_name",
                                  "keepalives_idle", "keepalives_interval", "keepalives_count"};
    std::vector<const char*> values{dbname.constData(), "UTF8", "5", "tessolo", "10", "5", "3"};
    if (password) {
        keys.push_back("password");
        values.push_back(pass.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    return PQconnectdbParams(keys.data(), values.data(), 1);
}

QString serverMessage(pg_conn* conn) { return QString::fromUtf8(PQerrorMessage(conn)).trimmed(); }

} // namespace

TPgResult::~TPgResult()
{
    if (m_result)
        PQclear(m_result);
}

int TPgResult::rows() const { return PQntuples(m_result); }

bool TPgResult::isNull(int row, int col) const { return PQgetisnull(m_result, row, col) != 0; }

QString TPgResult::text(int row, int col) const
{
    return QString::fromUtf8(PQgetvalue(m_result, row, col), PQgetlength(m_result, row, col));
}

QByteArray TPgResult::bytes(int row, int col) const
{
    if (isNull(row, col))
        return QByteArray();
    return QByteArray(PQgetvalue(m_result, row, col), PQgetlength(m_result, row, col));
}

qint64 TPgResult::number(int row, int col) const { return QByteArray(PQgetvalue(m_result, row, col)).toLongLong(); }

qint64 TPgResult::affected() const { return QByteArray(PQcmdTuples(m_result)).toLongLong(); }

TPgConnection::TPgConnection(const QString& uri)
    : m_uri(uri)
{
    const auto known = knownPasswords().constFind(uri);
    std::optional<QString> password;
    if (known != knownPasswords().cend())
        password = *known;
    m_conn = connectTo(uri, password);
    if (PQstatus(m_conn) != CONNECTION_OK && PQconnectionNeedsPassword(m_conn) && !password) {
        if (const PasswordPrompt prompt = passwordPrompt()) {
            if (const auto asked = prompt(shownUri(uri))) {
                PQfinish(m_conn);
                m_conn = connectTo(uri, asked);
                if (PQstatus(m_conn) == CONNECTION_OK)
                    knownPasswords().insert(uri, *asked);
            }
        }
    }
    if (PQstatus(m_conn) == CONNECTION_OK) {
        // The server's notices (a table that already exists, …) are for
        // its log, not for the user's terminal.
        PQsetNoticeProcessor(
            m_conn, [](void*, const char*) {}, nullptr);
    }
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString message = serverMessage(m_conn);
        PQfinish(m_conn);
        m_conn = nullptr;
        throw EServerUnavailable(
            QStringLiteral("データベースサーバー（%1）に接続できません。\n%2").arg(shownUri(uri), message));
    }
}

TPgConnection::~TPgConnection()
{
    if (m_conn)
        PQfinish(m_conn);
}

QString TPgConnection::shownUri(const QString& uri)
{
    QUrl url(uri);
    if (!url.isValid())
        return uri;
    url.setPassword(QString());
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("password"));
    url.setQuery(query);
    return url.toString();
}

void TPgConnection::raise(const QString& what, pg_result* result)
{
    const QString message = result ? QString::fromUtf8(PQresultErrorMessage(result)).trimmed() : serverMessage(m_conn);
    if (result)
        PQclear(result);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        throw EServerUnavailable(
            QStringLiteral("データベースサーバー（%1）との接続が切れました。この操作は保存されていません。"
                           "入力した内容はそのままです。サーバーが戻ったら、もう一度実行してください。\n%2")
                .arg(shownUri(m_uri), message));
    }
    throw TessoloError(QStringLiteral("データベースサーバーが%1を受け付けませんでした。\n%2").arg(what, message));
}

void TPgConnection::ensureOpen()
{
    if (PQstatus(m_conn) == CONNECTION_OK)
        return;
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        throw EServerUnavailable(
            QStringLiteral("データベースサーバー（%1）に接続できません。入力した内容はそのままです。"
                           "サーバーが戻ったら、もう一度実行してください。\n%2")
                .arg(shownUri(m_uri), serverMessage(m_conn)));
    }
}

TPgResult TPgConnection::exec(const QByteArray& sql, const QByteArrayList& params)
{
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const QByteArray& p : params)
        values.push_back(p.isNull() ? nullptr : p.constData());
    pg_result* result = params.isEmpty()
        ? PQexec(m_conn, sql.constData())
        : PQexecParams(m_conn, sql.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        raise(QStringLiteral("命令"), result);
    return TPgResult(result);
}

void TPgConnection::copyIn(const QByteArray& copySql, const std::function<bool(QByteArray& chunk)>& nextChunk)
{
    pg_result* start = PQexec(m_conn, copySql.constData());
    if (!start || PQresultStatus(start) != PGRES_COPY_IN)
        raise(QStringLiteral("一括読み込み"), start);
    PQclear(start);
    QByteArray chunk;
    try {
        while (nextChunk(chunk)) {
            if (!chunk.isEmpty() && PQputCopyData(m_conn, chunk.constData(), int(chunk.size())) != 1)
                raise(QStringLiteral("一括読み込み"));
            chunk.clear();
        }
    } catch (...) {
        // The source failed: the server is told, so that nothing of the
        // COPY is kept, and the source's error is the one shown.
        PQputCopyEnd(m_conn, "cancelled by the client");
        while (pg_result* r = PQgetResult(m_conn))
            PQclear(r);
        throw;
    }
    if (PQputCopyEnd(m_conn, nullptr) != 1)
        raise(QStringLiteral("一括読み込み"));
    pg_result* end = PQgetResult(m_conn);
    const bool ok = end && PQresultStatus(end) == PGRES_COMMAND_OK;
    while (pg_result* r = PQgetResult(m_conn))
        PQclear(r);
    if (!ok)
        raise(QStringLiteral("一括読み込み"), end);
    PQclear(end);
}

std::optional<QByteArray> TPgConnection::waitForNotification(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (PQconsumeInput(m_conn) != 1)
            raise(QStringLiteral("変更の通知"));
        if (PGnotify* n = PQnotifies(m_conn)) {
            QByteArray payload(n->extra);
            PQfreemem(n);
            return payload;
        }
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return std::nullopt;
        const int socket = PQsocket(m_conn);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        timeval wait{left / 1000, (left % 1000) * 1000};
        select(socket + 1, &readable, nullptr, nullptr, &wait);
    }
}

int TPgConnection::backendPid() const { return PQbackendPID(m_conn); }

TPgTransaction::TPgTransaction(TPgConnection& conn)
    : m_conn(conn)
{
    m_conn.exec("begin");
}

TPgTransaction::~TPgTransaction()
{
    if (m_done)
        return;
    try {
        m_conn.exec("rollback");
    } catch (const TessoloError&) {
        // The server went away or the transaction is gone with the
        // connection; the error already unwinding is the one to show.
    }
}

void TPgTransaction::commit()
{
    m_conn.exec("commit");
    m_done = true;
}

void appendCopyField(QByteArray& line, const QByteArray& utf8)
{
    if (utf8.isNull()) {
        line += "\\N";
        return;
    }
    for (const char c : utf8) {
        switch (c) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line += c;
        }
    }
}

} // namespace tessolo::store
