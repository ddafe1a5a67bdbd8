#include "customer/customer.h"

#include "data/sqlitedo.h"
#include "data/sqltext.h"

namespace tessolo::customer {

const std::array<QString, kColumnCount> kColumns = fields::each(kFields, &Field::column);
const std::array<QString, kColumnCount> kCsvCaptions = fields::each(kFields, &Field::caption);

namespace {
QStringList toList(const Record& r) { return QStringList(r.begin(), r.end()); }
} // namespace

QString insertSql(const Record& r) { return sqltext::insertValues(u"t_customer", toList(r)); }

QString updateSql(const Record& r, const QString& strRow)
{
    return sqltext::updateAll(u"t_customer", fields::texts(kFields, &Field::column), toList(r), strRow);
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
    return QStringLiteral("select rowid, * from t_customer where rowid in (") + list
           + QStringLiteral(") order by instr(',") + list + QStringLiteral(",', ',' || rowid || ',')");
}

QString deleteRowsSql(const QStringList& rowids)
{
    return QStringLiteral("delete from t_customer where rowid in (") + rowids.join(QLatin1Char(',')) + QLatin1Char(')');
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

} // namespace tessolo::customer
