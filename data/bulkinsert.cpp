#include "data/bulkinsert.h"

#include "text/cp932.h"
#include "data/sqltext.h"

#include <algorithm>
#include <sqlite3.h>

namespace tessolo {

TBulkInsert::TBulkInsert(TSQLiteDatabase& db, const QString& table, int columnCount)
    : m_db(db),
      m_table(table),
      m_columnCount(columnCount),
      m_bytes(size_t(columnCount))
{
    QByteArray sql = "insert into " + cp932::encode(table) + " values (";
    for (int i = 0; i < columnCount; ++i)
        sql += i ? ",?" : "?";
    sql += ')';
    if (sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        db.RaiseError(QStringLiteral("Error executing SQL"), sql);
    }
}

TBulkInsert::~TBulkInsert() { sqlite3_finalize(m_stmt); }

qsizetype TBulkInsert::insert(const QStringList& values)
{
    qsizetype changedValues = 0;
    for (int i = 0; i < m_columnCount; ++i) {
        const QStringView value = i < values.size() ? QStringView(values[i]) : QStringView();
        // ASCII is itself in code page 932; only the rest needs the converter.
        const bool ascii = std::all_of(value.begin(), value.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (ascii) {
            m_bytes[size_t(i)] = value.toLatin1();
        } else {
            qsizetype substituted = 0;
            m_bytes[size_t(i)] = cp932::encode(value, &substituted);
            changedValues += substituted > 0;
        }
    }
    m_views.clear();
    for (const QByteArray& b : m_bytes)
        m_views << QByteArrayView(b);
    step(m_views);
    return changedValues;
}

void TBulkInsert::insertEncoded(const QList<QByteArrayView>& values) { step(values); }

void TBulkInsert::step(const QList<QByteArrayView>& values)
{
    for (int i = 0; i < m_columnCount; ++i) {
        const QByteArrayView b = i < values.size() ? values[i] : QByteArrayView();
        // A literal '' stores the empty text, never NULL; a null data pointer
        // would bind NULL, hence the "" for an empty value.
        sqlite3_bind_text(m_stmt, i + 1, b.isEmpty() ? "" : b.data(), int(b.size()), SQLITE_STATIC);
    }
    const int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    if (rc != SQLITE_DONE) {
        // sqlite3_reset returned the same error; the connection still carries
        // it for the message. The statement shown is the text of this row.
        QStringList texts;
        for (int i = 0; i < m_columnCount; ++i)
            texts << cp932::decode(i < values.size() ? values[i] : QByteArrayView());
        const QByteArray text = cp932::encode(sqltext::insertValues(m_table, texts));
        m_db.RaiseError(QStringLiteral("Error executing SQL statement"), text);
    }
}

} // namespace tessolo

namespace tessolo {

void rollbackQuietly(TSQLiteDatabase& db)
{
    if (!db.IsTransactionOpen())
        return;
    try {
        db.Rollback();
    } catch (const ESQLiteException&) {
        // Nothing was committed; the connection's release rolls back again.
    }
}

qint64 TBulkInsert::lastRowid() const { return sqlite3_last_insert_rowid(m_db.handle()); }

} // namespace tessolo
