#pragma once
// The customer record (one row of t_customer, seventeen text columns in table
// order) and the statements through which every window reads and writes it.

#include "data/fieldtable.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace tessolo::customer {

inline constexpr int kColumnCount = int(kFields.size());
// Column names in table order; the insert gives values by this position.
extern const std::array<QString, kColumnCount> kColumns;

// The field names as the CSV import window captions them, in table order;
// the export's header line uses the same, so an exported file maps itself.
extern const std::array<QString, kColumnCount> kCsvCaptions;

// Values in table order (postal code already in its stored form).
using Record = std::array<QString, kColumnCount>;

// The address as one text, as the map and the lists show it: prefecture,
// city and town joined (the building stays apart).
inline QString address(const Record& r) { return r[col::Prefecture] + r[col::City] + r[col::Town]; }

QString insertSql(const Record& r);
QString updateSql(const Record& r, const QString& strRow);
QString deleteSql(const QString& strRow);
QString selectOneSql(const QString& rowid);
// The customers of the given rowids (decimal numbers, nothing else), in the
// order given: a choice made outside the lists, as on the map.
QString rowidsSql(const QStringList& rowids);
// Deletes the customers with these rowids (decimal texts).
QString deleteRowsSql(const QStringList& rowids);
inline const QString kListSql = QStringLiteral("select rowid, * from t_customer order by person_kana collate kana");

// The rowids a customer list statement yields, in its order.
QList<qint64> rowidsOf(const QString& listSql);

// The stored customers of these rowids, in the order given, each once; a
// rowid no longer stored is passed over.
struct Stored {
    qint64 rowid;
    Record record;
};
std::vector<Stored> recordsOf(const QList<qint64>& rowids);

} // namespace tessolo::customer
