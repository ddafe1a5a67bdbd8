#include "data/sqlitestore.h"

#include "data/bulkinsert.h"
#include "data/datalocation.h"
#include "data/sqlitedb.h"
#include "data/sqlitedo.h"
#include "data/sqltext.h"
#include "data/transaction.h"
#include "text/cp932.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <sqlite3.h>

namespace tessolo::store {

namespace {

const QString kRowid = QStringLiteral("rowid");

// What one table of the roster is made of, for the code the customers and
// the sites share.
template <typename Values> struct TableOf;
template <> struct TableOf<CustomerValues> {
    static QString name() { return QStringLiteral("t_customer"); }
    static const auto& fields() { return customer::kFields; }
};
template <> struct TableOf<SiteValues> {
    static QString name() { return QStringLiteral("m_our_company"); }
    static const auto& fields() { return ourcompany::kFields; }
};

template <typename Values> Row<Values> rowAt(const TSQLiteTable& table)
{
    Row<Values> row;
    row.key = table.NamedFieldAsString(kRowid).toLongLong();
    const auto& fields = TableOf<Values>::fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        row.values[i] = table.NamedFieldAsString(fields[i].column.toString());
    return row;
}

template <typename Values> QList<Row<Values>> rowsOf(TSQLiteDatabase& db, const QString& sql)
{
    QList<Row<Values>> rows;
    const auto table = db.GetTable(cp932::encode(sql));
    for (table->MoveFirst(); !table->Eof(); table->Next())
        rows.append(rowAt<Values>(*table));
    return rows;
}

template <typename Values> std::optional<Row<Values>> rowWithKey(TSQLiteDatabase& db, qint64 key)
{
    const auto rows = rowsOf<Values>(
        db, QStringLiteral("select rowid, * from %1 where rowid = %2;").arg(TableOf<Values>::name()).arg(key));
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first();
}

QStringList listOf(const auto& values) { return QStringList(values.begin(), values.end()); }

template <typename Values> Row<Values> insertRow(TSQLiteDatabase& db, const Values& values)
{
    TTransaction transaction(db);
    // The statement the windows have always run; the terminator is the
    // customer insert's (none) for both, which SQLite reads alike.
    db.ExecSQL(cp932::encode(sqltext::insertValues(TableOf<Values>::name(), listOf(values))));
    const qint64 key = sqlite3_last_insert_rowid(db.handle());
    auto row = rowWithKey<Values>(db, key);
    transaction.commit();
    return *row;
}

// The stored row must still be the one loaded: compared as the windows see
// it, decoded, since that is what `loaded` holds.
template <typename Values> void checkUnchanged(TSQLiteDatabase& db, const Row<Values>& loaded)
{
    const auto now = rowWithKey<Values>(db, loaded.key);
    if (!now || now->values != loaded.values)
        throw conflictOf<Values>();
}

template <typename Values> Row<Values> updateRow(TSQLiteDatabase& db, const Row<Values>& loaded, const Values& values)
{
    TTransaction transaction(db);
    checkUnchanged(db, loaded);
    db.ExecSQL(cp932::encode(sqltext::updateAll(TableOf<Values>::name(),
                                                fields::texts(TableOf<Values>::fields(), &fields::Field::column),
                                                listOf(values), QString::number(loaded.key))));
    auto row = rowWithKey<Values>(db, loaded.key);
    transaction.commit();
    return *row;
}

template <typename Values> void deleteRow(TSQLiteDatabase& db, const Row<Values>& loaded)
{
    TTransaction transaction(db);
    checkUnchanged(db, loaded);
    db.ExecSQL(
        cp932::encode(QStringLiteral("delete from %1 where rowid = %2;").arg(TableOf<Values>::name()).arg(loaded.key)));
    transaction.commit();
}

// Keys go into statements this many at a time, well under SQLite's limit on
// the terms of one expression.
constexpr qsizetype kKeySlice = 500;

template <typename Each> void forKeySlices(const QList<qint64>& keys, Each each)
{
    for (qsizetype from = 0; from < keys.size(); from += kKeySlice) {
        QStringList ids;
        for (const qint64 key : keys.mid(from, kKeySlice))
            ids << QString::number(key);
        each(ids.join(QLatin1Char(',')));
    }
}

// Only the columns that differ are written: a value read and written back
// whole could change bytes the file holds that code page 932 cannot show.
QString changedColumnsSql(const CustomerRow& stored, const CustomerValues& after)
{
    QStringList sets;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] != stored.values[i])
            sets << customer::kFields[i].column.toString() + QLatin1Char('=') + sqltext::literal(after[i]);
    }
    if (sets.isEmpty())
        return {};
    return QStringLiteral("update t_customer set %1 where rowid=%2").arg(sets.join(QLatin1Char(','))).arg(stored.key);
}

qint64 dataVersion(TSQLiteDatabase& db)
{
    const auto table = db.GetTable(QByteArrayLiteral("PRAGMA data_version"));
    table->MoveFirst();
    return table->Eof() ? -1 : table->NamedFieldAsString(QStringLiteral("data_version")).toLongLong();
}

// Whether an index leads with the postal code (the program's own, or one of
// the same kind made elsewhere).
bool hasPostalIndex(TSQLiteDatabase& db)
{
    bool found = false;
    db.ForEachStoredRow(QByteArrayLiteral("select 1 from pragma_index_list('m_postal') as l, "
                                          "pragma_index_info(l.name) as i "
                                          "where i.seqno = 0 and lower(i.name) = 'postal_code2' limit 1"),
                        [&found](const QList<QByteArrayView>&) { found = true; });
    return found;
}

} // namespace

TSqliteStore::TSqliteStore(QString path)
    : m_path(std::move(path))
{ }

TSqliteStore::~TSqliteStore() = default;

QString TSqliteStore::path() const { return m_path.isEmpty() ? location::databaseFile() : m_path; }

std::unique_ptr<TSQLiteDatabase> TSqliteStore::connect() const { return std::make_unique<TSQLiteDatabase>(path()); }

void TSqliteStore::noteOwnWrite()
{
    if (m_watch)
        m_seenVersion = dataVersion(*m_watch);
}

void TSqliteStore::ensureSchema()
{
    const auto db = connect();
    TSQLiteDo::createMissingTables(*db);
    TSQLiteDo::createIndexes(*db);
}

QList<CustomerRow> TSqliteStore::customers()
{
    return rowsOf<CustomerValues>(*connect(),
                                  QStringLiteral("select rowid, * from t_customer order by person_kana collate kana"));
}

std::optional<CustomerRow> TSqliteStore::customer(qint64 key) { return rowWithKey<CustomerValues>(*connect(), key); }

CustomerRow TSqliteStore::insertCustomer(const CustomerValues& values)
{
    auto row = insertRow(*connect(), values);
    noteOwnWrite();
    return row;
}

CustomerRow TSqliteStore::updateCustomer(const CustomerRow& loaded, const CustomerValues& values)
{
    auto row = updateRow(*connect(), loaded, values);
    noteOwnWrite();
    return row;
}

void TSqliteStore::deleteCustomer(const CustomerRow& loaded)
{
    deleteRow(*connect(), loaded);
    noteOwnWrite();
}

qsizetype TSqliteStore::insertCustomers(const QList<CustomerValues>& rows)
{
    const auto db = connect();
    TTransaction transaction(*db);
    TBulkInsert insert(*db, QStringLiteral("t_customer"), int(customer::kFields.size()));
    for (const CustomerValues& values : rows)
        insert.insert(listOf(values));
    transaction.commit();
    noteOwnWrite();
    return rows.size();
}

qsizetype TSqliteStore::deleteCustomers(const QList<qint64>& keys)
{
    const auto db = connect();
    TTransaction transaction(*db);
    qsizetype deleted = 0;
    forKeySlices(keys, [&](const QString& ids) {
        db->ExecSQL(cp932::encode(QStringLiteral("delete from t_customer where rowid in (%1)").arg(ids)));
        deleted += sqlite3_changes(db->handle());
    });
    transaction.commit();
    noteOwnWrite();
    return deleted;
}

qsizetype TSqliteStore::updateCustomers(const QList<qint64>& keys, const CustomerChange& change)
{
    const auto db = connect();
    // A writer that commits between these reads and the writes makes the
    // first write fail (the snapshot is stale) rather than be overwritten.
    TTransaction transaction(*db);
    qsizetype changed = 0;
    forKeySlices(keys, [&](const QString& ids) {
        const auto rows =
            rowsOf<CustomerValues>(*db, QStringLiteral("select rowid, * from t_customer where rowid in (%1)").arg(ids));
        for (const CustomerRow& row : rows) {
            const std::optional<CustomerValues> after = change(row.values);
            const QString sql = after ? changedColumnsSql(row, *after) : QString();
            if (sql.isEmpty())
                continue;
            db->ExecSQL(cp932::encode(sql));
            ++changed;
        }
    });
    transaction.commit();
    noteOwnWrite();
    return changed;
}

QList<SiteRow> TSqliteStore::sites()
{
    return rowsOf<SiteValues>(*connect(), QStringLiteral("select rowid, * from m_our_company order by rowid"));
}

SiteRow TSqliteStore::insertSite(const SiteValues& values)
{
    auto row = insertRow(*connect(), values);
    noteOwnWrite();
    return row;
}

SiteRow TSqliteStore::updateSite(const SiteRow& loaded, const SiteValues& values)
{
    auto row = updateRow(*connect(), loaded, values);
    noteOwnWrite();
    return row;
}

void TSqliteStore::deleteSite(const SiteRow& loaded)
{
    deleteRow(*connect(), loaded);
    noteOwnWrite();
}

QList<postal::PostalAddress> TSqliteStore::postalAddresses(const QString& code)
{
    // The helper's own lookup, so that the file answers exactly as before.
    TSQLiteDo db;
    db.SQLiteDB = connect();
    return db.postalAddresses(code);
}

TStore::PostalAddressesByCode TSqliteStore::postalAddressesOf(const QSet<QString>& codes)
{
    // In the index's order: lookups that follow one another read the pages
    // they share once, where the national list is far larger than the cache.
    QList<QString> asked(codes.begin(), codes.end());
    std::sort(asked.begin(), asked.end());
    PostalAddressesByCode found;
    found.reserve(asked.size());
    QList<QByteArray> keys;
    keys.reserve(asked.size());
    QHash<QByteArray, qsizetype> keyOf;
    for (const QString& code : asked) {
        found.insert(code, {}); // all in place: the visit below holds a pointer into it
        keys << cp932::encode(code);
        keyOf.insert(keys.last(), keys.size() - 1);
    }
    // Rows of one code mostly share their prefecture and city: each is
    // decoded once in a row.
    QByteArray prefectureBytes, cityBytes;
    QString prefecture, city;
    QList<postal::PostalAddress>* rows = nullptr;
    qsizetype rowsOf = -1;
    const auto add = [&](qsizetype key, QByteArrayView prefectureCell, QByteArrayView cityCell,
                         QByteArrayView townCell) {
        if (key != rowsOf) {
            rows = &found[asked[key]];
            rowsOf = key;
        }
        if (prefectureCell != prefectureBytes) {
            prefectureBytes = prefectureCell.toByteArray();
            prefecture = cp932::decode(prefectureCell);
        }
        if (cityCell != cityBytes) {
            cityBytes = cityCell.toByteArray();
            city = cp932::decode(cityCell);
        }
        addPostalRow(*rows, prefecture, city, cp932::decode(townCell));
    };
    // One read transaction: outside one, each lookup would take and drop the
    // file's lock.
    const auto db = connect();
    TTransaction reading(*db);
    if (keys.size() <= 1 || hasPostalIndex(*db)) {
        db->ForEachStoredRowOf(
            QByteArrayLiteral("select prefecture2, city2, town2 from m_postal where postal_code2 = ?"), keys,
            [&](qsizetype key, const QList<QByteArrayView>& cells) { add(key, cells[0], cells[1], cells[2]); });
    } else {
        // A file that could not take the index: without it each lookup would
        // read the whole list, so the list is read once.
        db->ForEachStoredRow(QByteArrayLiteral("select postal_code2, prefecture2, city2, town2 from m_postal"),
                             [&](const QList<QByteArrayView>& cells) {
                                 const auto it = keyOf.constFind(cells[0].toByteArray());
                                 if (it != keyOf.constEnd())
                                     add(*it, cells[1], cells[2], cells[3]);
                             });
    }
    reading.commit();
    return found;
}

bool TSqliteStore::postalListLoaded()
{
    TSQLiteDo db;
    db.SQLiteDB = connect();
    return db.postalListLoaded();
}

std::optional<TStore::Business> TSqliteStore::postalBusiness(const QString& code)
{
    TSQLiteDo db;
    db.SQLiteDB = connect();
    Business found;
    if (!db.postal2business(code, found.name, found.reading))
        return std::nullopt;
    return found;
}

qint64 TSqliteStore::loadPostalList(PostalKind kind, const PostalSource& next)
{
    const auto db = connect();
    TTransaction transaction(*db);
    db->ExecSQL(kind == PostalKind::Businesses
                    ? QByteArrayLiteral("delete from m_postal where prefecture1 = ''")
                    : QByteArrayLiteral("delete from m_postal where prefecture1 is null or prefecture1 <> ''"));
    TBulkInsert insert(*db, QStringLiteral("m_postal"), kPostalColumnCount);
    PostalValues line;
    qint64 count = 0;
    while (next(line)) {
        insert.insert(listOf(line));
        ++count;
    }
    transaction.commit();
    return count;
}

bool TSqliteStore::waitForChange(int timeoutMs)
{
    if (!m_watch) {
        m_watch = connect();
        m_seenVersion = dataVersion(*m_watch);
    }
    // SQLite tells a connection when another one committed; polled, since
    // a file has no way to call.
    constexpr int kPollMs = 50;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 version = dataVersion(*m_watch);
        if (version != m_seenVersion) {
            m_seenVersion = version;
            return true;
        }
        if (clock.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(kPollMs);
    }
}

} // namespace tessolo::store
