#include "data/sqltext.h"

namespace tessolo::sqltext {

QString literal(QStringView value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += QLatin1Char('\'');
    for (QChar c : value) {
        out += c;
        if (c == QLatin1Char('\''))
            out += c;
    }
    out += QLatin1Char('\'');
    return out;
}

QString insertValues(QStringView table, const QStringList& values, QStringView terminator)
{
    QString sql = QStringLiteral("insert into ") + table.toString() + QStringLiteral(" values (");
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i)
            sql += QLatin1Char(',');
        sql += literal(values[i]);
    }
    sql += QLatin1Char(')');
    sql += terminator;
    return sql;
}

QString updateAll(QStringView table, const QStringList& columns, const QStringList& values, QStringView rowid)
{
    QString sql = QStringLiteral("update ") + table.toString() + QStringLiteral(" set ");
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (i)
            sql += QLatin1Char(',');
        sql += columns[i] + QLatin1Char('=') + literal(values.value(i));
    }
    sql += QStringLiteral(" where rowid=") + rowid.toString();
    return sql;
}

} // namespace tessolo::sqltext
