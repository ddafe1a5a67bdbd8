#pragma once
// The roster's list as a model: every customer read once, in reading order,
// with the values the list shows, the key the search compares and the rowid
// that names the customer everywhere else. The rowid is the model's, never a
// shown column's: what a user sorts, hides or resizes cannot change which
// customer a row is.
//
// TCustomerFilter sits between the model and the view. It narrows by the
// kana row, by the search and by any further test a window adds, and sorts by
// the column the user chose. Its rows, in its order, are what every command
// that takes "the customers shown" receives.

#include "customer/customer.h"
#include "customer/customersearch.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QSortFilterProxyModel>
#include <functional>
#include <map>
#include <vector>

namespace tessolo {
class TSQLiteDatabase;
}

namespace tessolo::customer {

// The columns of the list, in the order shown.
namespace listcol {
enum : int { PersonName, PersonKana, CompanyName, Department, Position, Prefecture, City, Address, Postal, Tel, Count };
}

// A customer as the list holds it: the stored values in one text, so that a
// list of a hundred thousand is a few allocations per customer, and the
// shown values cut from it when a line is drawn.
struct ListRow {
    qint64 rowid = 0;
    QString text;                              // the values in table order, each ended by kSeparator
    std::array<qint32, kColumnCount + 1> from; // where each value starts in text
    customersearch::Key key;

    static constexpr char16_t kSeparator = 0x1F;
    QStringView value(int column) const
    {
        return QStringView(text).sliced(from[size_t(column)], from[size_t(column) + 1] - from[size_t(column)] - 1);
    }
    // The value of a list column, as the list shows it.
    QString shown(int listColumn) const;
};

class TCustomerListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int RowidRole = Qt::UserRole + 1;

    explicit TCustomerListModel(QObject* parent = nullptr);

    // Reads every customer in reading order (the kana collation) from the
    // open connection, replacing what the model held.
    void load(TSQLiteDatabase& db);
    // Takes rows read elsewhere (an office's server), already in reading
    // order, each with its rowid.
    void load(const QList<std::pair<qint64, Record>>& rows);
    void clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const ListRow& at(int row) const { return m_rows[size_t(row)]; }
    qint64 rowidAt(int row) const { return m_rows[size_t(row)].rowid; }
    // The model row of a customer, -1 when it is not listed.
    int rowOf(qint64 rowid) const { return m_byRowid.value(rowid, -1); }

    // The order of the rows by a column, made when that column is first
    // sorted by and kept until the rows are read again: the position of each
    // row (0 first) in the kana collation's order of that column's stored
    // text. The reading's is the read order itself.
    const std::vector<int>& rankBy(int column) const;

private:
    void take(std::vector<ListRow> rows);

    std::vector<ListRow> m_rows;
    QHash<qint64, int> m_byRowid;
    mutable std::map<int, std::vector<int>> m_ranks;
};

class TCustomerFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    // A further condition on a listed customer, by its model row.
    using RowTest = std::function<bool(const TCustomerListModel& model, int row)>;

    explicit TCustomerFilter(TCustomerListModel* model, QObject* parent = nullptr);

    // 0 (or anything outside 1..56) lets every reading through.
    void setKanaCode(int code);
    int kanaCode() const { return m_kana; }
    void setSearch(const QString& typed);
    QString search() const { return m_typed; }
    // Adds, replaces (same name) or, with an empty test, removes a condition.
    void setTest(const QString& name, RowTest test);

    qint64 rowidAt(int row) const;
    // The rowids of the rows shown, in the order shown.
    QList<qint64> rowids() const;
    // The row that shows a customer, -1 when it is filtered out.
    int rowOf(qint64 rowid) const;
    // Whether the customer would pass the conditions now in force.
    bool accepts(qint64 rowid) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    TCustomerListModel* m_model;
    int m_kana = 0;
    QString m_typed;
    customersearch::TQuery m_query;
    std::map<QString, RowTest> m_tests;
};

// Whether a reading belongs to a kana code's row or single kana, as the kana
// buttons' statement decides it (a hiragana reading reads as its katakana).
bool kanaMatches(int kanaCode, QStringView reading);

} // namespace tessolo::customer
