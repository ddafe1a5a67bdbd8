#pragma once
// The customer record (one row of t_customer, seventeen text columns in table
// order) and the statements through which every window reads and writes it.

#include "data/fieldtable.h"
#include "data/errors.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>

namespace tessolo {
class TSQLiteDatabase;
class TSQLiteTable;
} // namespace tessolo
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
inline const QString kListSql = QStringLiteral("select rowid, * from t_customer order by person_kana collate kana");

// The rowids a customer list statement yields, in its order.
QList<qint64> rowidsOf(const QString& listSql);

// "mailto:" and the address alone: whatever follows it in the field (a
// "?attach=…" or other header, a second address) never reaches the mail
// program.
QString mailtoUrl(const QString& email);

// The record in the current row of a customer query.
Record recordOf(const TSQLiteTable& table);

// 更新 and 削除 while another program may share the file: the row changes only
// while it still holds every column as `loaded` (what the form was filled
// from). A customer changed or deleted elsewhere, or a new one that took its
// rowid, is left alone.
QString updateIfUnchangedSql(const Record& r, const Record& loaded, const QString& strRow);
QString deleteIfUnchangedSql(const Record& loaded, const QString& strRow);

inline const QString kChangedElsewhere = QStringLiteral("この顧客は他で変更または削除されました。");
class EChangedElsewhere : public TessoloError {
public:
    EChangedElsewhere()
        : TessoloError(kChangedElsewhere)
    { }
};
// Runs one of those statements in the database every window opens; throws
// EChangedElsewhere when it found no row to change.
void runIfUnchanged(const QString& sql);

// Whether another connection (another program, another PC on a shared
// folder, another window of this one) changed the database since last asked,
// by SQLite's data version of a connection kept for asking.
class TDataWatch {
public:
    TDataWatch();
    ~TDataWatch();
    TDataWatch(const TDataWatch&) = delete;
    TDataWatch& operator=(const TDataWatch&) = delete;
    // False the first time, and whenever the file cannot be read just now.
    bool changed();

private:
    std::unique_ptr<TSQLiteDatabase> m_db;
    QString m_path;
    qint64 m_version = -1;
};
// The stored customers of these rowids (from the file, or from the office's
// server the windows use), in the order given, each once; a
// rowid no longer stored is passed over.
struct Stored {
    qint64 rowid;
    Record record;
};
std::vector<Stored> recordsOf(const QList<qint64>& rowids);

} // namespace tessolo::customer
