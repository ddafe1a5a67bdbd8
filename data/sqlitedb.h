#pragma once
// A thin object layer over SQLite: a connection that executes statements and
// runs transactions, and a query result held wholly in memory, read by column
// name as text. Statement text is 8-bit code page 932 text, passed to SQLite
// byte for byte; cell text and column names are decoded from code page 932.

#include "data/errors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

struct sqlite3;

namespace tessolo {

// Column type codes of a result, decided from its first row.
enum class ColumnType { Integer = 1, Float = 2, Text = 3, Blob = 4, Null = 5 };

QString ErrorCodeText(int code);

// What a user is told, in Japanese, for the SQLite results that are no
// fault of the program (a file another program holds, a full disk): what
// happened and what to do. Empty for the other codes; SQLite's own words
// follow it in the message.
QString UserAdvice(int code);

class TSQLiteDatabase;

class TSQLiteTable {
public:
    // Runs the query on `db` and holds every row. Throws ESQLiteException.
    TSQLiteTable(TSQLiteDatabase& db, const QByteArray& sql);

    bool MoveFirst();
    bool Next();
    bool Eof() const { return fRow >= fRowCount; } // EOF is a C macro
    bool Bof() const { return fRow == 0; }
    QString NamedFieldAsString(const QString& name) const;
    // The column a name (case ignored) stands for, -1 if none; with
    // FieldAsString, many rows are read without a name lookup per cell.
    qsizetype FieldIndex(const QString& name) const;
    QString FieldAsString(qsizetype col) const;
    quint32 Count() const { return fRowCount; }
    quint32 RowCount() const { return fRowCount; }
    quint32 ColCount() const { return fColCount; }
    quint32 Row() const { return fRow; }
    const QStringList& Columns() const { return fCols; }
    ColumnType ColumnTypeAt(quint32 col) const { return fColTypes.at(col); }

private:
    QVector<QVariant> fResults; // invalid QVariant = absent cell (SQL NULL)
    quint32 fRowCount = 0;
    quint32 fColCount = 0;
    QStringList fCols;
    QVector<ColumnType> fColTypes;
    quint32 fRow = 0;
};

class TSQLiteDatabase {
public:
    // Opens or creates the file; the path reaches sqlite3_open as UTF-8.
    explicit TSQLiteDatabase(const QString& fileName);
    // Rolls back an open transaction and closes the handle.
    ~TSQLiteDatabase();
    TSQLiteDatabase(const TSQLiteDatabase&) = delete;
    TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

    void ExecSQL(const QByteArray& sql);
    std::unique_ptr<TSQLiteTable> GetTable(const QByteArray& sql);
    // Runs a query and hands over each row's cells as the bytes stored,
    // undecoded and valid only during the call: for comparing many values
    // as they are kept, where decoding every cell would cost the most.
    void ForEachStoredRow(const QByteArray& sql, const std::function<void(const QList<QByteArrayView>& cells)>& visit);
    // Runs `sql`, which takes one parameter, once for each of `keys`, handing
    // each row to `visit` with the index of its key: one statement prepared
    // for many lookups.
    void ForEachStoredRowOf(const QByteArray& sql, const QList<QByteArray>& keys,
                            const std::function<void(qsizetype key, const QList<QByteArrayView>& cells)>& visit);
    void BeginTransaction();
    void Commit();
    void Rollback();
    bool TableExists(const QString& tableName);
    bool IsTransactionOpen() const { return fInTrans; }
    sqlite3* handle() const { return fDB; }

    // Raises ESQLiteException for operation `s` with the connection's error.
    [[noreturn]] void RaiseError(const QString& s, const QByteArray& sql) const;

private:
    // Runs `sql` once, or once for each of `keys` bound to its parameter.
    void StepRows(const QByteArray& sql, const QList<QByteArray>* keys,
                  const std::function<void(qsizetype key, const QList<QByteArrayView>& cells)>& visit);

    sqlite3* fDB = nullptr;
    bool fInTrans = false;
};

} // namespace tessolo
