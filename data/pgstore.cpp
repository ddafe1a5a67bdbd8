#include "data/pgstore.h"

#include "data/pgconnection.h"
#include "text/cp932.h"
#include "text/kanafold.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <numeric>

namespace tessolo::store {

namespace {

// Statement-level triggers: one notification per change, whatever number of
// rows it touched; the payload is the writer's backend, so that a PC can
// tell its own changes from the others'.
const char* const kSchema = R"sql(
select pg_advisory_xact_lock(7369011);
create table if not exists m_postal (rowid bigserial primary key,
  gov_code text, postal_code1 text, postal_code2 text, prefecture1 text, city1 text, town1 text,
  prefecture2 text, city2 text, town2 text);
create index if not exists m_postal_postal_code2 on m_postal (postal_code2);
create table if not exists t_customer (rowid bigserial primary key, row_version bigint not null default 1,
  person_name text, person_kana text, company_name text, company_kana text, cm_position text, department text,
  postal_code text, prefecture text, city text, town text, building text, tel text, fax text, email1 text,
  email2 text, url text, memo text);
create table if not exists m_our_company (rowid bigserial primary key, row_version bigint not null default 1,
  co_name text, postal_code text, prefecture text, city text, town text, building text, tel text, fax text,
  email text, url text, memo text);
create or replace function tessolo_changed() returns trigger language plpgsql as $$
begin
  perform pg_notify('tessolo_changed', pg_backend_pid()::text);
  return null;
end $$;
create or replace trigger t_customer_changed after insert or update or delete or truncate on t_customer
  for each statement execute function tessolo_changed();
create or replace trigger m_our_company_changed after insert or update or delete or truncate on m_our_company
  for each statement execute function tessolo_changed();
)sql";

template <typename Values> struct TableOf;
template <> struct TableOf<CustomerValues> {
    static QByteArray name() { return "t_customer"; }
    static const auto& fields() { return customer::kFields; }
};
template <> struct TableOf<SiteValues> {
    static QByteArray name() { return "m_our_company"; }
    static const auto& fields() { return ourcompany::kFields; }
};

template <typename Values> QByteArray columnList()
{
    QByteArrayList names;
    for (const auto& f : TableOf<Values>::fields())
        names << f.column.toUtf8();
    return names.join(',');
}

template <typename Values> QByteArray selectList() { return "rowid,row_version," + columnList<Values>(); }

// A value as the server keeps it: what code page 932 holds, and never NULL
// (the windows always write a text, the empty one included).
QByteArray serverText(const QString& value)
{
    QByteArray utf8 = keptAsCp932(value).toUtf8();
    return utf8.isNull() ? QByteArray("") : utf8;
}

template <typename Values> QByteArrayList paramsOf(const Values& values)
{
    QByteArrayList params;
    for (const QString& v : values)
        params << serverText(v);
    return params;
}

template <typename Values> Row<Values> rowAt(const TPgResult& result, int r)
{
    Row<Values> row;
    row.key = result.number(r, 0);
    row.version = result.number(r, 1);
    for (std::size_t i = 0; i < row.values.size(); ++i)
        row.values[i] = result.text(r, int(i) + 2);
    return row;
}

template <typename Values> QList<Row<Values>> rowsOf(const TPgResult& result)
{
    QList<Row<Values>> rows;
    rows.reserve(result.rows());
    for (int r = 0; r < result.rows(); ++r)
        rows.append(rowAt<Values>(result, r));
    return rows;
}

template <typename Values> QByteArray placeholders(int from = 1)
{
    QByteArrayList p;
    for (std::size_t i = 0; i < std::tuple_size_v<Values>; ++i)
        p << "$" + QByteArray::number(from + int(i));
    return p.join(',');
}

template <typename Values> Row<Values> insertRow(TPgConnection& conn, const Values& values)
{
    conn.ensureOpen();
    const TPgResult result =
        conn.exec("insert into " + TableOf<Values>::name() + " (" + columnList<Values>() + ") values (" +
                      placeholders<Values>() + ") returning " + selectList<Values>(),
                  paramsOf(values));
    return rowAt<Values>(result, 0);
}

template <typename Values> Row<Values> updateRow(TPgConnection& conn, const Row<Values>& loaded, const Values& values)
{
    conn.ensureOpen();
    QByteArray sql = "update " + TableOf<Values>::name() + " set ";
    const auto& fields = TableOf<Values>::fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        sql += fields[i].column.toUtf8() + "=$" + QByteArray::number(int(i) + 1) + ",";
    const int n = int(fields.size());
    sql += "row_version=row_version+1 where rowid=$" + QByteArray::number(n + 1) + " and row_version=$" +
        QByteArray::number(n + 2) + " returning " + selectList<Values>();
    QByteArrayList params = paramsOf(values);
    params << QByteArray::number(loaded.key) << QByteArray::number(loaded.version);
    const TPgResult result = conn.exec(sql, params);
    if (result.rows() == 0)
        throw conflictOf<Values>();
    return rowAt<Values>(result, 0);
}

template <typename Values> void deleteRow(TPgConnection& conn, const Row<Values>& loaded)
{
    conn.ensureOpen();
    const TPgResult result = conn.exec("delete from " + TableOf<Values>::name() + " where rowid=$1 and row_version=$2",
                                       {QByteArray::number(loaded.key), QByteArray::number(loaded.version)});
    if (result.affected() == 0)
        throw conflictOf<Values>();
}

// COPY's input in pieces of about this size: large enough that the round
// trips do not count, small enough to stay out of the way of memory.
constexpr qsizetype kCopyChunk = 1 << 20;

} // namespace

TPgStore::TPgStore(const QString& uri)
    : m_uri(uri),
      m_conn(std::make_unique<TPgConnection>(uri))
{
    ensureSchema();
}

TPgStore::~TPgStore() = default;

QString TPgStore::description() const { return TPgConnection::shownUri(m_uri); }

TPgConnection& TPgStore::connection()
{
    m_conn->ensureOpen();
    return *m_conn;
}

void TPgStore::ensureSchema()
{
    // Two PCs starting at once must not both create the tables: the lock
    // in the first statement holds until the transaction ends.
    TPgConnection& conn = connection();
    TPgTransaction transaction(conn);
    conn.exec("set local client_min_messages = warning");
    conn.exec(kSchema);
    transaction.commit();
}

QList<CustomerRow> TPgStore::customers()
{
    QList<CustomerRow> rows =
        rowsOf<CustomerValues>(connection().exec("select " + selectList<CustomerValues>() + " from t_customer"));
    // The file's collate kana order, over the same bytes the file would hold.
    std::vector<QByteArray> keys;
    keys.reserve(rows.size());
    for (const CustomerRow& row : rows)
        keys.push_back(cp932::encode(row.values[customer::col::PersonKana]));
    std::vector<qsizetype> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int c = kana::compareReadings(keys[a], keys[b]);
        return c != 0 ? c < 0 : rows[a].key < rows[b].key;
    });
    QList<CustomerRow> sorted;
    sorted.reserve(rows.size());
    for (const qsizetype i : order)
        sorted.append(std::move(rows[i]));
    return sorted;
}

std::optional<CustomerRow> TPgStore::customer(qint64 key)
{
    const TPgResult result = connection().exec(
        "select " + selectList<CustomerValues>() + " from t_customer where rowid=$1", {QByteArray::number(key)});
    if (result.rows() == 0)
        return std::nullopt;
    return rowAt<CustomerValues>(result, 0);
}

CustomerRow TPgStore::insertCustomer(const CustomerValues& values) { return insertRow(*m_conn, values); }

CustomerRow TPgStore::updateCustomer(const CustomerRow& loaded, const CustomerValues& values)
{
    return updateRow(*m_conn, loaded, values);
}

void TPgStore::deleteCustomer(const CustomerRow& loaded) { deleteRow(*m_conn, loaded); }

qsizetype TPgStore::insertCustomers(const QList<CustomerValues>& rows)
{
    TPgConnection& conn = connection();
    TPgTransaction transaction(conn);
    qsizetype next = 0;
    conn.copyIn("copy t_customer (" + columnList<CustomerValues>() + ") from stdin", [&](QByteArray& chunk) {
        while (next < rows.size() && chunk.size() < kCopyChunk) {
            const CustomerValues& values = rows[next++];
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (i > 0)
                    chunk += '\t';
                appendCopyField(chunk, serverText(values[i]));
            }
            chunk += '\n';
        }
        return !chunk.isEmpty();
    });
    transaction.commit();
    return rows.size();
}

namespace {
// The keys as one array parameter: a statement of any length, one round trip.
QByteArray keyArray(const QList<qint64>& keys)
{
    QByteArrayList numbers;
    numbers.reserve(keys.size());
    for (const qint64 key : keys)
        numbers << QByteArray::number(key);
    return '{' + numbers.join(',') + '}';
}
} // namespace

qsizetype TPgStore::deleteCustomers(const QList<qint64>& keys)
{
    return connection().exec("delete from t_customer where rowid = any($1::bigint[])", {keyArray(keys)}).affected();
}

qsizetype TPgStore::updateCustomers(const QList<qint64>& keys, const CustomerChange& change)
{
    TPgConnection& conn = connection();
    TPgTransaction transaction(conn);
    // Locked as read, so that another PC's change waits for this commit
    // and then applies to what this one wrote.
    const QList<CustomerRow> rows = rowsOf<CustomerValues>(
        conn.exec("select " + selectList<CustomerValues>() + " from t_customer where rowid = any($1::bigint[]) " +
                      "order by rowid for update",
                  {keyArray(keys)}));
    qsizetype changed = 0;
    for (const CustomerRow& row : rows) {
        const std::optional<CustomerValues> after = change(row.values);
        if (!after || *after == row.values)
            continue;
        updateRow(conn, row, *after);
        ++changed;
    }
    transaction.commit();
    return changed;
}

QList<SiteRow> TPgStore::sites()
{
    return rowsOf<SiteValues>(
        connection().exec("select " + selectList<SiteValues>() + " from m_our_company order by rowid"));
}

SiteRow TPgStore::insertSite(const SiteValues& values) { return insertRow(*m_conn, values); }

SiteRow TPgStore::updateSite(const SiteRow& loaded, const SiteValues& values)
{
    return updateRow(*m_conn, loaded, values);
}

void TPgStore::deleteSite(const SiteRow& loaded) { deleteRow(*m_conn, loaded); }

QList<postal::PostalAddress> TPgStore::postalAddresses(const QString& code)
{
    const TPgResult result = connection().exec(
        "select prefecture2, city2, town2 from m_postal where postal_code2 = $1 order by rowid", {serverText(code)});
    QList<postal::PostalAddress> rows;
    for (int r = 0; r < result.rows(); ++r)
        addPostalRow(rows, result.text(r, 0), result.text(r, 1), result.text(r, 2));
    return rows;
}

TStore::PostalAddressesByCode TPgStore::postalAddressesOf(const QSet<QString>& codes)
{
    PostalAddressesByCode found;
    found.reserve(codes.size());
    QByteArrayList elements;
    for (const QString& code : codes) {
        found.insert(code, {});
        // An array element quoted, its quotes and backslashes escaped: a
        // code comes from a user's file.
        QByteArray e = serverText(code);
        e.replace('\\', "\\\\").replace('"', "\\\"");
        elements << '"' + e + '"';
    }
    const TPgResult result = connection().exec("select postal_code2, prefecture2, city2, town2 from m_postal "
                                               "where postal_code2 = any($1::text[]) order by rowid",
                                               {'{' + elements.join(',') + '}'});
    for (int r = 0; r < result.rows(); ++r) {
        const auto it = found.find(result.text(r, 0));
        if (it != found.end())
            addPostalRow(*it, result.text(r, 1), result.text(r, 2), result.text(r, 3));
    }
    return found;
}

std::optional<TStore::Business> TPgStore::postalBusiness(const QString& code)
{
    // A business row has no prefecture reading; its city1 and town1 hold the
    // name's reading and the name.
    const TPgResult result = connection().exec(
        "select town1, city1 from m_postal where prefecture1 = '' and postal_code2 = $1 order by rowid limit 1",
        {serverText(code)});
    if (result.rows() == 0)
        return std::nullopt;
    return Business{result.text(0, 0), result.text(0, 1)};
}

bool TPgStore::postalListLoaded() { return connection().exec("select 1 from m_postal limit 1").rows() > 0; }

qint64 TPgStore::loadPostalList(PostalKind kind, const PostalSource& next)
{
    TPgConnection& conn = connection();
    // One transaction for every PC: the others go on finding the old rows
    // until the commit, and then find the new ones.
    TPgTransaction transaction(conn);
    conn.exec(kind == PostalKind::Businesses ? "delete from m_postal where prefecture1 = ''"
                                             : "delete from m_postal where prefecture1 is null or prefecture1 <> ''");
    QByteArrayList names;
    for (const QString& c : kPostalColumns)
        names << c.toUtf8();
    qint64 count = 0;
    PostalValues line;
    bool more = true;
    conn.copyIn("copy m_postal (" + names.join(',') + ") from stdin", [&](QByteArray& chunk) {
        while (more && chunk.size() < kCopyChunk) {
            more = next(line);
            if (!more)
                break;
            for (int i = 0; i < kPostalColumnCount; ++i) {
                if (i > 0)
                    chunk += '\t';
                appendCopyField(chunk, serverText(line[i]));
            }
            chunk += '\n';
            ++count;
        }
        return !chunk.isEmpty();
    });
    transaction.commit();
    return count;
}

bool TPgStore::waitForChange(int timeoutMs)
{
    if (!m_listen) {
        m_listen = std::make_unique<TPgConnection>(m_uri);
        m_listen->exec("listen tessolo_changed");
    }
    const QByteArray own = QByteArray::number(m_conn->backendPid());
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        std::optional<QByteArray> payload;
        try {
            payload = m_listen->waitForNotification(int(std::max<qint64>(0, deadline.remainingTime())));
        } catch (const EServerUnavailable&) {
            // Notifications sent while the connection was down are lost:
            // after listening again, the list is read anew to be sure.
            m_listen.reset();
            return true;
        }
        if (!payload)
            return false;
        if (*payload != own)
            return true;
    }
}

} // namespace tessolo::store
