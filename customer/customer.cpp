#include "customer/customer.h"

#include "data/sqlitedb.h"
#include "data/sqlitedo.h"
#include "data/sqltext.h"
#include "data/store.h"
#include "data/transaction.h"
#include "text/cp932.h"

#include <QUrl>
#include <sqlite3.h>

#include <QHash>
#include <QSet>

namespace tessolo::customer {

const std::array<QString, kColumnCount> kColumns = fields::each(kFields, &Field::column);
const std::array<QString, kColumnCount> kCsvCaptions = fields::each(kFields, &Field::caption);

namespace {
QStringList toList(const Record& r) { return QStringList(r.begin(), r.end()); }

// " where rowid = N and <every column as loaded>": an absent value reads as
// empty in the form, so NULL and '' both match an empty field.
QString unchangedWhere(const Record& loaded, const QString& strRow)
{
    QString where = QStringLiteral(" where rowid = ") + strRow;
    for (int c = 0; c < kColumnCount; ++c)
        where += QStringLiteral(" and ifnull([") + kColumns[size_t(c)] + QStringLiteral("], '') = ") +
            sqltext::literal(loaded[size_t(c)]);
    return where;
}
} // namespace

QString insertSql(const Record& r) { return sqltext::insertValues(u"t_customer", toList(r)); }

QString updateSql(const Record& r, const QString& strRow)
{
    return sqltext::updateAll(u"t_customer", fields::texts(kFields, &Field::column), toList(r), strRow);
}

QString updateIfUnchangedSql(const Record& r, const Record& loaded, const QString& strRow)
{
    // The plain update ends "where rowid=N"; the comparison replaces that.
    const QString plain = updateSql(r, strRow);
    const qsizetype at = plain.lastIndexOf(QStringLiteral(" where "));
    return plain.left(at) + unchangedWhere(loaded, strRow);
}

QString deleteIfUnchangedSql(const Record& loaded, const QString& strRow)
{
    return QStringLiteral("delete from t_customer") + unchangedWhere(loaded, strRow);
}

void runIfUnchanged(const QString& sql)
{
    TSQLiteDo db;
    TSQLiteDatabase& connection = db.getDBpoint(kDatabaseName);
    TTransaction transaction(connection);
    connection.ExecSQL(cp932::encode(sql));
    if (sqlite3_changes(connection.handle()) == 0)
        throw EChangedElsewhere(); // the transaction ends unchanged
    transaction.commit();
}

QString mailtoUrl(const QString& email)
{
    const QString text = email.trimmed();
    qsizetype end = 0;
    while (end < text.size()) {
        const QChar c = text.at(end);
        if (c.isSpace() || c.category() == QChar::Other_Control || QStringLiteral("?#&,;<>\"").contains(c))
            break;
        ++end;
    }
    return QStringLiteral("mailto:") +
        QString::fromLatin1(QUrl::toPercentEncoding(text.left(end), "@.+-_!$*'=^`{|}~/"));
}

Record recordOf(const TSQLiteTable& table)
{
    Record r;
    for (int c = 0; c < kColumnCount; ++c)
        r[size_t(c)] = table.NamedFieldAsString(kColumns[size_t(c)]);
    return r;
}

TDataWatch::TDataWatch() = default;
TDataWatch::~TDataWatch() = default;

bool TDataWatch::changed()
{
    const QString path = TSQLiteDo::pathOf(kDatabaseName);
    try {
        if (!m_db || path != m_path) {
            m_db = std::make_unique<TSQLiteDatabase>(path);
            m_path = path;
            m_version = -1;
        }
        const qint64 version = m_db->GetTable(QByteArrayLiteral("PRAGMA data_version"))
                                   ->NamedFieldAsString(QStringLiteral("data_version"))
                                   .toLongLong();
        const bool changed = m_version >= 0 && version != m_version;
        m_version = version;
        return changed;
    } catch (const TessoloError&) {
        // Locked for a moment by a writer: asked again at the next tick.
        return false;
    }
}

QString deleteSql(const QString& strRow)
{
    return QStringLiteral("delete from t_customer where rowid = ") + strRow + QLatin1Char(';');
}

QString selectOneSql(const QString& rowid)
{
    return QStringLiteral("select rowid, * from t_customer where rowid = ") + rowid + QLatin1Char(';');
}

QString rowidsSql(const QStringList& rowids)
{
    const QString list = rowids.join(QLatin1Char(','));
    return QStringLiteral("select rowid, * from t_customer where rowid in (") + list +
        QStringLiteral(") order by instr(',") + list + QStringLiteral(",', ',' || rowid || ',')");
}

QList<qint64> rowidsOf(const QString& listSql)
{
    QList<qint64> out;
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto table = db.query(listSql);
    for (table->MoveFirst(); !table->Eof(); table->Next())
        out << table->NamedFieldAsString(QStringLiteral("rowid")).toLongLong();
    return out;
}

namespace {

// The file's rows of these rowids, by rowid.
QHash<qint64, Record> fileRecords(const QList<qint64>& rowids)
{
    // In slices, so that no statement grows past what SQLite takes, and
    // ordered by the caller: an "order by" over a list of thousands costs
    // more than the reading.
    constexpr qsizetype kSlice = 500;
    QHash<qint64, Record> byRowid;
    byRowid.reserve(rowids.size());
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    for (qsizetype from = 0; from < rowids.size(); from += kSlice) {
        QStringList ids;
        for (qint64 id : rowids.mid(from, kSlice))
            ids << QString::number(id);
        const auto table = db.query(QStringLiteral("select rowid, * from t_customer where rowid in (") +
                                    ids.join(QLatin1Char(',')) + QLatin1Char(')'));
        for (table->MoveFirst(); !table->Eof(); table->Next()) {
            Record r;
            for (int c = 0; c < kColumnCount; ++c)
                r[size_t(c)] = table->NamedFieldAsString(kColumns[size_t(c)]);
            byRowid.insert(table->NamedFieldAsString(QStringLiteral("rowid")).toLongLong(), r);
        }
    }
    db.closeDBpoint();
    return byRowid;
}

// An office's server gives its whole roster in one answer: cheaper than a
// question per slice over the network, and what the list read anyway.
QHash<qint64, Record> serverRecords(const QList<qint64>& rowids)
{
    const QSet<qint64> wanted(rowids.cbegin(), rowids.cend());
    QHash<qint64, Record> byRowid;
    for (const store::CustomerRow& r : store::current().customers()) {
        if (wanted.contains(r.key))
            byRowid.insert(r.key, r.values);
    }
    return byRowid;
}

} // namespace

std::vector<Stored> recordsOf(const QList<qint64>& rowids)
{
    const QHash<qint64, Record> byRowid = store::currentIsServer() ? serverRecords(rowids) : fileRecords(rowids);
    std::vector<Stored> out;
    out.reserve(size_t(rowids.size()));
    QSet<qint64> seen;
    for (qint64 id : rowids) {
        const auto it = byRowid.constFind(id);
        if (it == byRowid.constEnd() || seen.contains(id))
            continue;
        seen.insert(id);
        out.push_back({id, *it});
    }
    return out;
}

} // namespace tessolo::customer
