#pragma once
// Whole-row inserts for the bulk loads (postal list, customer CSV files).
// The statement is the same "insert into <table> values ('v0',...)" every
// other insert uses, but compiling one text per row costs several times the
// insert itself on a list of 120,000 lines. So the statement is compiled once
// with a placeholder per column and each row's values are bound as the same
// code page 932 bytes the literal would have carried: the stored bytes are
// identical, and a value can never end its literal early. On failure the
// error names the statement text as it would have been built for that row.

#include "data/sqlitedb.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <vector>

struct sqlite3_stmt;

namespace tessolo {

class TBulkInsert {
public:
    // Compiles the insert for `columnCount` values on an open connection.
    TBulkInsert(TSQLiteDatabase& db, const QString& table, int columnCount);
    ~TBulkInsert();
    TBulkInsert(const TBulkInsert&) = delete;
    TBulkInsert& operator=(const TBulkInsert&) = delete;

    // Inserts one row. Returns how many of its values held characters code
    // page 932 lacks, stored as '?'. Throws ESQLiteException.
    qsizetype insert(const QStringList& values);
    // Inserts one row whose values are already code page 932 bytes; the
    // views need to stay good only until the call returns.
    void insertEncoded(const QList<QByteArrayView>& values);
    // The rowid of the row inserted last.
    qint64 lastRowid() const;

private:
    void step(const QList<QByteArrayView>& values);

    TSQLiteDatabase& m_db;
    QString m_table;
    int m_columnCount;
    sqlite3_stmt* m_stmt = nullptr;
    std::vector<QByteArray> m_bytes; // the encoded values of insert(), kept until the row is stepped
    QList<QByteArrayView> m_views;
};

} // namespace tessolo

namespace tessolo {

// Ends a failed bulk load's transaction, keeping none of its rows. SQLite may
// already have rolled back on its own (after an I/O error); then there is
// nothing left to end, and the error that stopped the load is the one shown.
void rollbackQuietly(TSQLiteDatabase& db);

} // namespace tessolo
