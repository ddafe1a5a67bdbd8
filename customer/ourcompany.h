#pragma once
// The own company's sites (m_our_company) and their statements.

#include "data/fieldtable.h"

#include <QString>
#include <array>

namespace tessolo::ourcompany {

inline constexpr int kColumnCount = int(kFields.size());
// Column names in table order; the insert gives values by this position.
extern const std::array<QString, kColumnCount> kColumns;
using Record = std::array<QString, kColumnCount>;

inline const QString kSitesSql = QStringLiteral("select rowid, * from m_our_company");
inline const QString kListSql = QStringLiteral("select rowid, * from m_our_company order by rowid");
QString selectOneSql(const QString& rowid);
QString insertSql(const Record& r);
QString updateSql(const Record& r, const QString& strRow);
QString deleteSql(const QString& strRow);

} // namespace tessolo::ourcompany
