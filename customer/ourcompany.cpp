#include "customer/ourcompany.h"

#include "data/sqltext.h"

namespace tessolo::ourcompany {

const std::array<QString, kColumnCount> kColumns = fields::each(kFields, &Field::column);

namespace {
QStringList toList(const Record& r) { return QStringList(r.begin(), r.end()); }
} // namespace

QString selectOneSql(const QString& rowid)
{
    return QStringLiteral("select rowid, * from m_our_company where rowid = ") + rowid + QLatin1Char(';');
}

// Unlike the customer insert, this one ends with a semicolon.
QString insertSql(const Record& r) { return sqltext::insertValues(u"m_our_company", toList(r), u";"); }

QString updateSql(const Record& r, const QString& strRow)
{
    return sqltext::updateAll(u"m_our_company", fields::texts(kFields, &Field::column), toList(r), strRow);
}

QString deleteSql(const QString& strRow)
{
    return QStringLiteral("delete from m_our_company where rowid = ") + strRow + QLatin1Char(';');
}

} // namespace tessolo::ourcompany
