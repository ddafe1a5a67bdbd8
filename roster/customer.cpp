#include "roster/customer.h"

#include "data/sqltext.h"

namespace tessolo::customer {

const std::array<QString, kColumnCount> kColumns = {
    QStringLiteral("person_name"), QStringLiteral("person_kana"), QStringLiteral("company_name"),
    QStringLiteral("company_kana"), QStringLiteral("cm_position"), QStringLiteral("department"),
    QStringLiteral("postal_code"), QStringLiteral("prefecture"), QStringLiteral("city"),
    QStringLiteral("town"), QStringLiteral("building"), QStringLiteral("tel"),
    QStringLiteral("fax"), QStringLiteral("email1"), QStringLiteral("email2"),
    QStringLiteral("url"), QStringLiteral("memo"),
};

const std::array<QString, kColumnCount> kCsvCaptions = {
    QStringLiteral("氏名"), QStringLiteral("氏名「カナ」"), QStringLiteral("会社名"),
    QStringLiteral("会社名「カナ」"), QStringLiteral("役職"), QStringLiteral("部署"),
    QStringLiteral("郵便番号"), QStringLiteral("都道府県"), QStringLiteral("市区町村"),
    QStringLiteral("住所"), QStringLiteral("ビルマンション名"), QStringLiteral("電話番号"),
    QStringLiteral("ＦＡＸ"), QStringLiteral("email1"), QStringLiteral("email2"),
    QStringLiteral("URL"), QStringLiteral("備考"),
};

namespace {
QStringList toList(const Record& r) { return QStringList(r.begin(), r.end()); }
} // namespace

QString insertSql(const Record& r) { return sqltext::insertValues(u"t_customer", toList(r)); }

QString updateSql(const Record& r, const QString& strRow)
{
    return sqltext::updateAll(u"t_customer", QStringList(kColumns.begin(), kColumns.end()), toList(r), strRow);
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

} // namespace tessolo::customer
