#pragma once
// One connection to a PostgreSQL server through libpq: statements with their
// values passed apart from the text (never spliced in), results read as
// UTF-8 text, COPY for the bulk loads, LISTEN for other PCs' changes.
// Every failure is an exception the user can read: a server that cannot be
// reached or went away is EServerUnavailable, in Japanese; a statement the
// server refused is TessoloError with the server's own message.

#include "data/store.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <memory>
#include <optional>

struct pg_conn;
struct pg_result;

namespace tessolo::store {

// A result held until the object goes.
class TPgResult {
public:
    explicit TPgResult(pg_result* result)
        : m_result(result)
    { }
    ~TPgResult();
    TPgResult(TPgResult&& other) noexcept
        : m_result(std::exchange(other.m_result, nullptr))
    { }
    TPgResult(const TPgResult&) = delete;
    TPgResult& operator=(const TPgResult&) = delete;
    TPgResult& operator=(TPgResult&&) = delete;

    int rows() const;
    bool isNull(int row, int col) const;
    QString text(int row, int col) const;
    QByteArray bytes(int row, int col) const;
    qint64 number(int row, int col) const;
    // Rows an update or delete touched.
    qint64 affected() const;

private:
    pg_result* m_result;
};

class TPgConnection {
public:
    // Connects to the libpq URI. A server that asks for a password is asked
    // through the password prompt once; the answer is kept for this run of
    // the program only.
    explicit TPgConnection(const QString& uri);
    ~TPgConnection();
    TPgConnection(const TPgConnection&) = delete;
    TPgConnection& operator=(const TPgConnection&) = delete;

    // The URI with any password left out, for messages.
    static QString shownUri(const QString& uri);

    // Runs one statement; `params` are UTF-8 texts ($1, $2 …), a null
    // QByteArray is SQL NULL.
    TPgResult exec(const QByteArray& sql, const QByteArrayList& params = {});
    // COPY … FROM STDIN: `data` in COPY's text format, sent in pieces.
    void copyIn(const QByteArray& copySql, const std::function<bool(QByteArray& chunk)>& nextChunk);

    // Waits up to `timeoutMs` for a notification on a channel this
    // connection listens to; returns its payload.
    std::optional<QByteArray> waitForNotification(int timeoutMs);
    int backendPid() const;

    // Re-establishes a connection the server dropped; throws when it
    // cannot. Called before each piece of work, so that 更新 after the
    // server is back simply works.
    void ensureOpen();

private:
    [[noreturn]] void raise(const QString& what, pg_result* result = nullptr);

    QString m_uri;
    pg_conn* m_conn = nullptr;
};

// One transaction on a server connection, rolled back when the scope is left
// without commit().
class TPgTransaction {
public:
    explicit TPgTransaction(TPgConnection& conn);
    ~TPgTransaction();
    TPgTransaction(const TPgTransaction&) = delete;
    TPgTransaction& operator=(const TPgTransaction&) = delete;
    void commit();

private:
    TPgConnection& m_conn;
    bool m_done = false;
};

// A text in COPY's text format: backslash, tab, line feed and carriage
// return escaped; a null QByteArray becomes \N.
void appendCopyField(QByteArray& line, const QByteArray& utf8);

} // namespace tessolo::store
