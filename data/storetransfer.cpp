#include "data/storetransfer.h"

#include "data/pgconnection.h"
#include "data/pgstore.h"
#include "data/sqlitedb.h"
#include "data/sqlitedo.h"
#include "data/transaction.h"
#include "text/cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>
#include <sqlite3.h>

namespace tessolo::store {

namespace {

struct TableLayout {
    QByteArray name;
    QByteArrayList columns;
    bool versioned; // has row_version on the server
};

QByteArrayList namesOf(const auto& fields)
{
    QByteArrayList names;
    for (const auto& f : fields)
        names << f.column.toUtf8();
    return names;
}

QList<TableLayout> tables()
{
    QByteArrayList postal;
    for (const QString& c : kPostalColumns)
        postal << c.toUtf8();
    return {
        {"t_customer", namesOf(customer::kFields), true},
        {"m_our_company", namesOf(ourcompany::kFields), true},
        {"m_postal", postal, false},
    };
}

// A prepared SQLite statement, finalised when the scope ends.
class Statement {
public:
    Statement(TSQLiteDatabase& db, const QByteArray& sql)
        : m_db(db)
    {
        if (sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &m_stmt, nullptr) != SQLITE_OK)
            db.RaiseError(QStringLiteral("Error compiling SQL"), sql);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }
    TSQLiteDatabase& db() const { return m_db; }

private:
    TSQLiteDatabase& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

void refuseWhenHolding(TPgConnection& conn)
{
    const TPgResult held = conn.exec("select (select count(*) from t_customer), (select count(*) from m_our_company)");
    if (held.number(0, 0) > 0 || held.number(0, 1) > 0) {
        throw TessoloError(QStringLiteral("サーバーには既に顧客 %1 件、自社住所 %2 件があります。"
                                          "ファイルの内容と混ざらないよう、読み込みを取りやめました。")
                               .arg(held.number(0, 0))
                               .arg(held.number(0, 1)));
    }
}

qint64 copyTable(TPgConnection& conn, TSQLiteDatabase& file, const TableLayout& table, qint64& altered)
{
    if (!file.TableExists(QString::fromLatin1(table.name)))
        return 0;
    Statement select(file, "select rowid, " + table.columns.join(',') + " from " + table.name + " order by rowid");
    qint64 rows = 0;
    int rc = SQLITE_ROW;
    conn.copyIn("copy " + table.name + " (rowid," + table.columns.join(',') + ") from stdin", [&](QByteArray& chunk) {
        // A finished statement would start over if stepped again.
        while (rc == SQLITE_ROW && chunk.size() < (1 << 20)) {
            rc = sqlite3_step(select.get());
            if (rc != SQLITE_ROW)
                break;
            chunk += QByteArray::number(sqlite3_column_int64(select.get(), 0));
            for (int c = 1; c <= int(table.columns.size()); ++c) {
                chunk += '\t';
                const int type = sqlite3_column_type(select.get(), c);
                if (type == SQLITE_NULL) {
                    appendCopyField(chunk, QByteArray());
                    continue;
                }
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select.get(), c));
                const QByteArrayView stored(text, sqlite3_column_bytes(select.get(), c));
                const QString decoded = cp932::decode(stored);
                const QByteArray back = cp932::encode(decoded);
                if (type != SQLITE_TEXT || back != stored)
                    ++altered;
                // An empty text stays a text, apart from NULL.
                const QByteArray utf8 = cp932::decode(back).toUtf8();
                appendCopyField(chunk, utf8.isNull() ? QByteArray("") : utf8);
            }
            chunk += '\n';
            ++rows;
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            file.RaiseError(QStringLiteral("Error reading table"), table.name);
        return !chunk.isEmpty();
    });
    // New rows go on after the highest key that came in.
    conn.exec("select setval(pg_get_serial_sequence('" + table.name +
              "', 'rowid'), coalesce(max(rowid), 0) + 1, "
              "false) from " +
              table.name);
    return rows;
}

void writeTable(TPgConnection& conn, TSQLiteDatabase& file, const TableLayout& table, qint64& count)
{
    const TPgResult rows =
        conn.exec("select rowid, " + table.columns.join(',') + " from " + table.name + " order by rowid");
    QByteArrayList marks(table.columns.size() + 1, "?");
    Statement insert(file,
                     "insert into " + table.name + " (rowid, " + table.columns.join(',') + ") values (" +
                         marks.join(',') + ")");
    for (int r = 0; r < rows.rows(); ++r) {
        sqlite3_reset(insert.get());
        sqlite3_bind_int64(insert.get(), 1, rows.number(r, 0));
        for (int c = 1; c <= int(table.columns.size()); ++c) {
            if (rows.isNull(r, c)) {
                sqlite3_bind_null(insert.get(), c + 1);
            } else {
                const QByteArray bytes = cp932::encode(rows.text(r, c));
                // A null pointer would bind NULL: the empty text needs one of its own.
                sqlite3_bind_text(insert.get(), c + 1, bytes.isNull() ? "" : bytes.constData(), int(bytes.size()),
                                  SQLITE_TRANSIENT);
            }
        }
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            file.RaiseError(QStringLiteral("Error executing SQL statement"), table.name);
        ++count;
    }
}

} // namespace

TransferCount importFile(TPgStore& server, const QString& fileName, ImportMode mode)
{
    if (!QFileInfo(fileName).isFile())
        throw TessoloError(QStringLiteral("ファイル「%1」が見つかりません。").arg(fileName));
    TSQLiteDatabase file(fileName);
    if (!file.TableExists(QStringLiteral("t_customer")))
        throw TessoloError(QStringLiteral("ファイル「%1」にはこのプログラムの顧客の表がありません。").arg(fileName));
    TPgConnection& conn = server.connection();
    TPgTransaction transaction(conn);
    // No other PC writes while the roster is swapped under it.
    conn.exec("lock table t_customer, m_our_company, m_postal in exclusive mode");
    if (mode == ImportMode::IntoEmpty)
        refuseWhenHolding(conn);
    conn.exec("truncate t_customer, m_our_company, m_postal restart identity");
    TransferCount count;
    const QList<TableLayout> layouts = tables();
    count.customers = copyTable(conn, file, layouts[0], count.altered);
    count.sites = copyTable(conn, file, layouts[1], count.altered);
    count.postalRows = copyTable(conn, file, layouts[2], count.altered);
    transaction.commit();
    return count;
}

TransferCount exportFile(TPgStore& server, const QString& fileName)
{
    const QFileInfo target(fileName);
    // Written beside its place and renamed over it only when complete, so a
    // failure leaves an earlier file as it was.
    QTemporaryFile part(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!part.open())
        throw TessoloError(QStringLiteral("「%1」に書き込めません: %2").arg(fileName, part.errorString()));
    part.close();
    TransferCount count;
    {
        TSQLiteDatabase file(part.fileName());
        TSQLiteDo::createMissingTables(file);
        TPgConnection& conn = server.connection();
        // One snapshot of the server: the three tables as they were at one
        // moment, whatever the other PCs write meanwhile.
        TPgTransaction snapshot(conn);
        conn.exec("set transaction isolation level repeatable read, read only");
        TTransaction transaction(file);
        const QList<TableLayout> layouts = tables();
        writeTable(conn, file, layouts[0], count.customers);
        writeTable(conn, file, layouts[1], count.sites);
        writeTable(conn, file, layouts[2], count.postalRows);
        transaction.commit();
        snapshot.commit();
    }
    if (std::rename(QFile::encodeName(part.fileName()).constData(), QFile::encodeName(fileName).constData()) != 0)
        throw TessoloError(QStringLiteral("「%1」に書き込めません。").arg(fileName));
    part.setAutoRemove(false);
    return count;
}

} // namespace tessolo::store
