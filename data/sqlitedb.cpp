#include "data/sqlitedb.h"

#include "text/cp932.h"
#include "text/cp932glob.h"
#include "text/kanafold.h"

#include <QLocale>
#include <sqlite3.h>
#include <cstring>

namespace tessolo {

namespace {

// Finalizes on every path out of ExecSQL and GetTable, errors included.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

} // namespace

QString ErrorCodeText(int code)
{
    switch (code) {
    case 0: return QStringLiteral("Successful result");
    case 1: return QStringLiteral("SQL error or missing database");
    case 2: return QStringLiteral("An internal logic error in SQLite");
    case 3: return QStringLiteral("Access permission denied");
    case 4: return QStringLiteral("Callback routine requested an abort");
    case 5: return QStringLiteral("The database file is locked");
    case 6: return QStringLiteral("A table in the database is locked");
    case 7: return QStringLiteral("A malloc() failed");
    case 8: return QStringLiteral("Attempt to write a readonly database");
    case 9: return QStringLiteral("Operation terminated by sqlite3_interrupt()");
    case 10: return QStringLiteral("Some kind of disk I/O error occurred");
    case 11: return QStringLiteral("The database disk image is malformed");
    case 12: return QStringLiteral("(Internal Only) Table or record not found");
    case 13: return QStringLiteral("Insertion failed because database is full");
    case 14: return QStringLiteral("Unable to open the database file");
    case 15: return QStringLiteral("Database lock protocol error");
    case 16: return QStringLiteral("Database is empty");
    case 17: return QStringLiteral("The database schema changed");
    case 18: return QStringLiteral("Too much data for one row of a table");
    case 19: return QStringLiteral("Abort due to contraint violation");
    case 20: return QStringLiteral("Data type mismatch");
    case 21: return QStringLiteral("Library used incorrectly");
    case 22: return QStringLiteral("Uses OS features not supported on host");
    case 23: return QStringLiteral("Authorization denied");
    case 24: return QStringLiteral("Auxiliary database format error");
    case 25: return QStringLiteral("2nd parameter to sqlite3_bind out of range");
    case 26: return QStringLiteral("File opened that is not a database file");
    case 100: return QStringLiteral("sqlite3_step() has another row ready");
    case 101: return QStringLiteral("sqlite3_step() has finished executing");
    default: return QStringLiteral("Unknown SQLite Error Code \"%1\"").arg(code);
    }
}

QString UserAdvice(int code)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral(
            "他のプログラムがこのファイルを使っています。そのプログラム（別のパソコンで開いている Tessolo "
            "を含みます）の作業が終わるのを待つか、そちらを閉じてから、もう一度お試しください。"
            "変更は保存されていません。");
    case SQLITE_FULL:
        return QStringLiteral(
            "ディスクがいっぱいのため書き込めませんでした。不要なファイルを削除するなどしてディスクに空きを"
            "作ってから、もう一度お試しください。変更は保存されていません。");
    case SQLITE_IOERR:
        return QStringLiteral(
            "ディスクへの読み書きに失敗しました。ディスクの空きと、ネットワーク上のフォルダーならその接続を"
            "確かめてから、もう一度お試しください。変更は保存されていません。");
    default: return {};
    }
}

// ---------------------------------------------------------------- connection

TSQLiteDatabase::TSQLiteDatabase(const QString& fileName)
{
    const QByteArray path = fileName.toUtf8();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open(path.constData(), &db);
    if (rc != SQLITE_OK) {
        QString message;
        if (db) {
            message = QStringLiteral("Failed to open database \"%1\" : %2")
                          .arg(fileName, QString::fromUtf8(sqlite3_errmsg(db)));
            if (const QString advice = UserAdvice(sqlite3_errcode(db)); !advice.isEmpty())
                message = advice + QStringLiteral("\n\n") + message;
            sqlite3_close(db);
        } else {
            message = QStringLiteral("Failed to open database \"%1\" : unknown error").arg(fileName);
        }
        throw ESQLiteException(message);
    }
    fDB = db;
    // Another copy of the program holding the write lock for a moment is
    // waited out; only a lock held longer ends in "database is locked".
    constexpr int kBusyTimeoutMs = 2000;
    sqlite3_busy_timeout(fDB, kBusyTimeoutMs);
    registerCp932Glob(fDB);
    kana::registerKanaCollation(fDB);
}

TSQLiteDatabase::~TSQLiteDatabase()
{
    if (fInTrans) {
        // A bulk load that did not commit is undone here.
        sqlite3_exec(fDB, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_close(fDB);
}

void TSQLiteDatabase::RaiseError(const QString& s, const QByteArray& sql) const
{
    const int code = sqlite3_errcode(fDB);
    if (code == 0)
        throw ESQLiteException(s);
    // SQLite quotes names and tokens of the statement in its message byte for
    // byte, so the message is code page 932 as the statement is; its own
    // wording is ASCII and reads the same either way.
    const QString advice = UserAdvice(code);
    throw ESQLiteException((advice.isEmpty() ? QString() : advice + QStringLiteral("\n\n")) +
                           QStringLiteral("%1.\rError [%2]: %3.\r\"%4\": %5")
                               .arg(s)
                               .arg(code)
                               .arg(ErrorCodeText(code), cp932::decode(sql), cp932::decode(sqlite3_errmsg(fDB))));
}

void TSQLiteDatabase::ExecSQL(const QByteArray& sql)
{
    Statement st;
    // Only the first statement of the text is compiled; the rest is ignored.
    if (sqlite3_prepare_v2(fDB, sql.constData(), -1, &st.stmt, nullptr) != SQLITE_OK)
        RaiseError(QStringLiteral("Error executing SQL"), sql);
    if (!st.stmt)
        RaiseError(QStringLiteral("Could not prepare SQL statement"), sql);
    if (sqlite3_step(st.stmt) != SQLITE_DONE) {
        sqlite3_reset(st.stmt);
        RaiseError(QStringLiteral("Error executing SQL statement"), sql);
    }
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::GetTable(const QByteArray& sql)
{
    return std::make_unique<TSQLiteTable>(*this, sql);
}

void TSQLiteDatabase::StepRows(const QByteArray& sql, const QList<QByteArray>* keys,
                               const std::function<void(qsizetype key, const QList<QByteArrayView>& cells)>& visit)
{
    Statement st;
    if (sqlite3_prepare_v2(fDB, sql.constData(), -1, &st.stmt, nullptr) != SQLITE_OK || !st.stmt)
        RaiseError(QStringLiteral("Error executing SQL"), sql);
    const int count = sqlite3_column_count(st.stmt);
    QList<QByteArrayView> cells(count);
    const qsizetype runs = keys ? keys->size() : 1;
    for (qsizetype k = 0; k < runs; ++k) {
        if (keys) {
            sqlite3_reset(st.stmt);
            sqlite3_bind_text(st.stmt, 1, (*keys)[k].constData(), int((*keys)[k].size()), SQLITE_STATIC);
        }
        for (;;) {
            const int rc = sqlite3_step(st.stmt);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW)
                RaiseError(QStringLiteral("Could not retrieve data"), sql);
            for (int c = 0; c < count; ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.stmt, c));
                cells[c] = QByteArrayView(text, text ? sqlite3_column_bytes(st.stmt, c) : 0);
            }
            visit(k, cells);
        }
    }
}

void TSQLiteDatabase::ForEachStoredRowOf(
    const QByteArray& sql, const QList<QByteArray>& keys,
    const std::function<void(qsizetype key, const QList<QByteArrayView>& cells)>& visit)
{
    StepRows(sql, &keys, visit);
}

void TSQLiteDatabase::ForEachStoredRow(const QByteArray& sql,
                                       const std::function<void(const QList<QByteArrayView>& cells)>& visit)
{
    StepRows(sql, nullptr, [&visit](qsizetype, const QList<QByteArrayView>& cells) { visit(cells); });
}

void TSQLiteDatabase::BeginTransaction()
{
    if (fInTrans)
        throw ESQLiteException(QStringLiteral("Transaction already open"));
    ExecSQL(QByteArrayLiteral("BEGIN TRANSACTION"));
    fInTrans = true;
}

void TSQLiteDatabase::Commit()
{
    // A failed commit leaves the flag set, so that release rolls back.
    ExecSQL(QByteArrayLiteral("COMMIT"));
    fInTrans = false;
}

void TSQLiteDatabase::Rollback()
{
    ExecSQL(QByteArrayLiteral("ROLLBACK"));
    fInTrans = false;
}

bool TSQLiteDatabase::TableExists(const QString& tableName)
{
    QByteArray lowered = cp932::encode(tableName);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    // Quotes doubled: a table name is not a statement.
    lowered.replace('\'', QByteArrayLiteral("''"));
    auto table =
        GetTable(QByteArrayLiteral("select [sql] from sqlite_master where [type] = 'table' and lower(name) = '") +
                 lowered + QByteArrayLiteral("' "));
    return table->Count() > 0;
}

// -------------------------------------------------------------------- result

namespace {

ColumnType typeFromDecl(const char* decl, int storageClass)
{
    if (!decl)
        return ColumnType(storageClass);
    const QByteArray d(decl);
    // Compared exactly, letter case included: "Varchar(7)" and "integer" are text.
    if (d == "INTEGER" || d == "BOOLEAN")
        return ColumnType::Integer;
    if (d == "NUMERIC" || d == "FLOAT" || d == "DOUBLE" || d == "REAL")
        return ColumnType::Float;
    if (d == "BLOB")
        return ColumnType::Blob;
    return ColumnType::Text;
}

// A cell that is not read as text: absent for NULL, else by its column's type.
// Text cells return an invalid QVariant and `isText` set; the caller decodes
// them a row at a time.
QVariant readCell(sqlite3_stmt* stmt, int col, ColumnType type, bool& isText)
{
    isText = false;
    if (sqlite3_column_type(stmt, col) == SQLITE_NULL)
        return {};
    switch (type) {
    case ColumnType::Integer: return QVariant(qint64(sqlite3_column_int64(stmt, col)));
    case ColumnType::Float: return QVariant(sqlite3_column_double(stmt, col));
    case ColumnType::Blob: {
        const int n = sqlite3_column_bytes(stmt, col);
        if (n <= 0)
            return {};
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, col)), n));
    }
    case ColumnType::Text:
    case ColumnType::Null: break;
    }
    isText = true;
    return {};
}

} // namespace

TSQLiteTable::TSQLiteTable(TSQLiteDatabase& db, const QByteArray& sql)
{
    sqlite3* h = db.handle();
    Statement st;
    if (sqlite3_prepare_v2(h, sql.constData(), -1, &st.stmt, nullptr) != SQLITE_OK)
        db.RaiseError(QStringLiteral("Error executing SQL"), sql);
    if (!st.stmt)
        db.RaiseError(QStringLiteral("Could not prepare SQL statement"), sql);

    QByteArray rowText;
    QVector<quint32> textColumns;
    for (;;) {
        const int rc = sqlite3_step(st.stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc == SQLITE_BUSY)
            throw ESQLiteException(QStringLiteral("Could not prepare SQL statement"));
        if (rc != SQLITE_ROW) {
            sqlite3_reset(st.stmt);
            db.RaiseError(QStringLiteral("Could not retrieve data"), sql);
        }
        ++fRowCount;
        if (fRowCount == 1) {
            fColCount = quint32(sqlite3_column_count(st.stmt));
            for (quint32 c = 0; c < fColCount; ++c) {
                const char* name = sqlite3_column_name(st.stmt, int(c));
                fCols << cp932::decode(QByteArrayView(name, name ? qsizetype(strlen(name)) : 0)).toUpper();
                fColTypes << typeFromDecl(sqlite3_column_decltype(st.stmt, int(c)),
                                          sqlite3_column_type(st.stmt, int(c)));
            }
        }
        // The text cells of a row are decoded in one call: a call of the
        // code page converter costs far more than the few bytes of a cell.
        // Cells are read up to their terminating zero, so a zero byte can
        // join them and split them again after decoding.
        const qsizetype first = fResults.size();
        rowText.clear();
        textColumns.clear();
        for (quint32 c = 0; c < fColCount; ++c) {
            bool isText = false;
            fResults.push_back(readCell(st.stmt, int(c), fColTypes[c], isText));
            if (!isText)
                continue;
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.stmt, int(c)));
            if (!textColumns.isEmpty())
                rowText.append('\0');
            rowText.append(text ? text : "");
            textColumns << c;
        }
        if (!textColumns.isEmpty()) {
            const QString decoded = cp932::decode(rowText);
            qsizetype from = 0;
            for (quint32 c : textColumns) {
                qsizetype to = decoded.indexOf(QChar(0), from);
                if (to < 0)
                    to = decoded.size();
                fResults[first + c] = QVariant(decoded.sliced(from, to - from));
                from = to + 1;
            }
        }
    }
    fRow = 0;
}

bool TSQLiteTable::MoveFirst()
{
    if (fRowCount == 0)
        return false;
    fRow = 0;
    return true;
}

bool TSQLiteTable::Next()
{
    if (Eof())
        return false;
    ++fRow;
    return true;
}

qsizetype TSQLiteTable::FieldIndex(const QString& name) const
{
    // The names are held upper-cased; the comparison ignores case anyway.
    for (qsizetype i = 0; i < fCols.size(); ++i)
        if (fCols[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString TSQLiteTable::NamedFieldAsString(const QString& name) const
{
    if (fCols.isEmpty())
        throw ESQLiteException(QStringLiteral("Field ") + name + QStringLiteral(" Not found. Empty dataset"));
    const qsizetype col = FieldIndex(name);
    if (col < 0)
        throw ESQLiteException(QStringLiteral("Field not found in dataset: ") + name);
    return FieldAsString(col);
}

QString TSQLiteTable::FieldAsString(qsizetype col) const
{
    if (col < 0 || col >= qsizetype(fColCount))
        throw ESQLiteException(QStringLiteral("Field not found in dataset: %1").arg(col));
    if (Eof())
        throw ESQLiteException(QStringLiteral("Table is at End of File"));

    const QVariant& cell = fResults.at(qsizetype(fRow) * fColCount + col);
    switch (fColTypes.at(col)) {
    case ColumnType::Integer: return cell.isValid() ? QString::number(cell.toLongLong()) : QStringLiteral("0");
    case ColumnType::Float:
        return cell.isValid() ? QString::number(cell.toDouble(), 'g', QLocale::FloatingPointShortest)
                              : QStringLiteral("0");
    case ColumnType::Text: return cell.isValid() ? cell.toString() : QString();
    case ColumnType::Blob: return cell.isValid() ? cp932::decode(cell.toByteArray()) : QString();
    case ColumnType::Null: return QString();
    }
    return QString();
}

} // namespace tessolo
