#include "customer/customerlist.h"

#include "data/sqlitedb.h"
#include "postal/postalcode.h"
#include "text/cp932.h"
#include "text/kanacodes.h"
#include "text/kanafold.h"

#include <algorithm>
#include <numeric>

namespace tessolo::customer {

namespace {

QByteArray listQuery()
{
    QString sql = QStringLiteral("select rowid");
    for (const QString& c : kColumns)
        sql += QStringLiteral(", ") + c;
    // Unordered: the rows are put in reading order here, each reading folded
    // once, where the collation in SQL would fold both sides of every
    // comparison.
    return (sql + QStringLiteral(" from t_customer")).toLatin1();
}

// A postal code as people write it; anything not seven digits as stored.
QString postalShown(const QString& stored)
{
    return postal::isSevenDigits(stored) ? stored.left(3) + QLatin1Char('-') + stored.mid(3) : stored;
}

QChar katakanaOf(QChar c)
{
    // ぁ..ん stand for ァ..ン, as the kana collation and glob read them.
    return (c.unicode() >= 0x3041 && c.unicode() <= 0x3093) ? QChar(char16_t(c.unicode() + 0x60)) : c;
}

bool isAscii(QByteArrayView b)
{
    for (char ch : b) {
        if (static_cast<unsigned char>(ch) >= 0x80)
            return false;
    }
    return true;
}

// One conversion per row, not per cell: a call of the converter costs far
// more than the few characters of a value. The cells are joined by a control
// character that code page 932 never uses inside a character; a row that
// holds one itself has it dropped from its values.
void decodeRow(const QList<QByteArrayView>& cells, ListRow& row)
{
    constexpr char kSep = char(ListRow::kSeparator);
    QByteArray joined;
    bool ascii = true;
    for (int c = 0; c < kColumnCount; ++c) {
        QByteArrayView cell = cells[c + 1];
        QByteArray cleaned;
        if (cell.contains(kSep)) {
            cleaned = cell.toByteArray();
            cleaned.replace(kSep, QByteArray());
            cell = cleaned;
        }
        ascii = ascii && isAscii(cell);
        joined += cell;
        joined += kSep;
    }
    row.text = ascii ? QString::fromLatin1(joined) : cp932::decode(joined);
    qsizetype at = 0;
    for (int c = 0; c < kColumnCount; ++c) {
        row.from[size_t(c)] = qint32(at);
        const qsizetype end = row.text.indexOf(QChar(ListRow::kSeparator), at);
        at = end < 0 ? row.text.size() : end + 1;
    }
    row.from[size_t(kColumnCount)] = qint32(at);
}

} // namespace

QString ListRow::shown(int listColumn) const
{
    switch (listColumn) {
    case listcol::PersonName: return value(col::PersonName).toString();
    case listcol::PersonKana: return value(col::PersonKana).toString();
    case listcol::CompanyName: return value(col::CompanyName).toString();
    case listcol::Department: return value(col::Department).toString();
    case listcol::Position: return value(col::Position).toString();
    case listcol::Prefecture: return value(col::Prefecture).toString();
    case listcol::City: return value(col::City).toString();
    case listcol::Address: return value(col::Prefecture).toString().append(value(col::City)).append(value(col::Town));
    case listcol::Postal: return postalShown(value(col::PostalCode).toString());
    case listcol::Tel: return value(col::Tel).toString();
    default: return {};
    }
}

bool kanaMatches(int kanaCode, QStringView reading)
{
    if (kanaCode < 1 || kanaCode >= int(kana::codes().size()))
        return true;
    if (reading.isEmpty())
        return false;
    const QChar first = katakanaOf(reading.front());
    for (const QString& p : kana::codes()[size_t(kanaCode)].patterns) {
        if (!p.isEmpty() && p.front() == first)
            return true;
    }
    return false;
}

TCustomerListModel::TCustomerListModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

void TCustomerListModel::load(TSQLiteDatabase& db)
{
    struct Read {
        ListRow row;
        QByteArray folded; // the reading as the kana collation compares it
        QByteArray stored;
    };
    std::vector<Read> read;
    db.ForEachStoredRow(listQuery(), [&read](const QList<QByteArrayView>& cells) {
        Read one;
        one.row.rowid = cells[0].toLongLong();
        decodeRow(cells, one.row);
        customersearch::Values values;
        for (int c = 0; c < kColumnCount; ++c)
            values[size_t(c)] = one.row.value(c);
        one.row.key = customersearch::keyOf(values);
        one.stored = cells[1 + col::PersonKana].toByteArray();
        one.folded = kana::foldedBytes(one.stored);
        read.push_back(std::move(one));
    });
    // "order by person_kana collate kana, rowid": the folded bytes, then the
    // stored ones (hiragana first), then the rowid.
    std::vector<int> order(read.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&read](int a, int b) {
        const Read& x = read[size_t(a)];
        const Read& y = read[size_t(b)];
        if (x.folded != y.folded)
            return x.folded < y.folded;
        if (x.stored != y.stored)
            return x.stored < y.stored;
        return x.row.rowid < y.row.rowid;
    });
    std::vector<ListRow> rows;
    rows.reserve(read.size());
    for (int i : order)
        rows.push_back(std::move(read[size_t(i)].row));
    read.clear();

    take(std::move(rows));
}

void TCustomerListModel::load(const QList<std::pair<qint64, Record>>& stored)
{
    std::vector<ListRow> rows;
    rows.reserve(size_t(stored.size()));
    for (const auto& [rowid, record] : stored) {
        ListRow row;
        row.rowid = rowid;
        qsizetype at = 0;
        for (int c = 0; c < kColumnCount; ++c) {
            row.from[size_t(c)] = qint32(at);
            // The separator never stands inside a value, as in the file's reading.
            QString value = record[size_t(c)];
            value.remove(QChar(ListRow::kSeparator));
            row.text += value;
            row.text += QChar(ListRow::kSeparator);
            at = row.text.size();
        }
        row.from[size_t(kColumnCount)] = qint32(at);
        customersearch::Values values;
        for (int c = 0; c < kColumnCount; ++c)
            values[size_t(c)] = row.value(c);
        row.key = customersearch::keyOf(values);
        rows.push_back(std::move(row));
    }
    take(std::move(rows));
}

void TCustomerListModel::take(std::vector<ListRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_ranks.clear();
    m_byRowid.clear();
    m_byRowid.reserve(qsizetype(m_rows.size()));
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_byRowid.insert(m_rows[i].rowid, int(i));
    endResetModel();
}

void TCustomerListModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_ranks.clear();
    m_byRowid.clear();
    endResetModel();
}

int TCustomerListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

int TCustomerListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : listcol::Count; }

QVariant TCustomerListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const ListRow& r = m_rows[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return r.shown(index.column());
    if (role == RowidRole)
        return r.rowid;
    return {};
}

QVariant TCustomerListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= listcol::Count)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case listcol::Address: return QStringLiteral("住所");
    case listcol::Postal: return QStringLiteral("郵便番号");
    case listcol::Tel: return QStringLiteral("電話");
    default: return fields::byColumn(kFields, kListed[size_t(section)]).heading.toString();
    }
}

const std::vector<int>& TCustomerListModel::rankBy(int column) const
{
    auto found = m_ranks.find(column);
    if (found != m_ranks.end())
        return found->second;
    const int n = int(m_rows.size());
    std::vector<int> rank(static_cast<size_t>(n));
    if (column == listcol::PersonKana) {
        std::iota(rank.begin(), rank.end(), 0);
    } else {
        // The stored bytes in the kana collation, as an "order by … collate
        // kana" would give them; equal texts stay in reading order.
        // All values converted in one call, as the rows were read: the
        // separator never occurs inside a value or a code page 932 character.
        QString all;
        for (int i = 0; i < n; ++i)
            all.append(m_rows[size_t(i)].shown(column)).append(QChar(ListRow::kSeparator));
        const QByteArray bytes = kana::foldedBytes(cp932::encode(all));
        std::vector<QByteArrayView> keys(static_cast<size_t>(n));
        qsizetype at = 0;
        for (int i = 0; i < n; ++i) {
            qsizetype end = bytes.indexOf(char(ListRow::kSeparator), at);
            if (end < 0)
                end = bytes.size();
            keys[size_t(i)] = QByteArrayView(bytes).sliced(at, end - at);
            at = std::min(end + 1, bytes.size());
        }
        std::vector<int> order(static_cast<size_t>(n));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&keys](int a, int b) { return keys[size_t(a)] < keys[size_t(b)]; });
        for (int pos = 0; pos < n; ++pos)
            rank[size_t(order[size_t(pos)])] = pos;
    }
    return m_ranks.emplace(column, std::move(rank)).first->second;
}

TCustomerFilter::TCustomerFilter(TCustomerListModel* model, QObject* parent)
    : QSortFilterProxyModel(parent),
      m_model(model)
{
    setSourceModel(model);
    setDynamicSortFilter(true);
    sort(listcol::PersonKana, Qt::AscendingOrder);
}

void TCustomerFilter::setKanaCode(int code)
{
    if (code < 1 || code >= int(kana::codes().size()))
        code = 0;
    if (code == m_kana)
        return;
    m_kana = code;
    invalidateFilter();
}

void TCustomerFilter::setSearch(const QString& typed)
{
    if (typed == m_typed)
        return;
    m_typed = typed;
    m_query = customersearch::TQuery(typed);
    invalidateFilter();
}

void TCustomerFilter::setTest(const QString& name, RowTest test)
{
    if (test)
        m_tests[name] = std::move(test);
    else
        m_tests.erase(name);
    invalidateFilter();
}

qint64 TCustomerFilter::rowidAt(int row) const { return m_model->rowidAt(mapToSource(index(row, 0)).row()); }

QList<qint64> TCustomerFilter::rowids() const
{
    QList<qint64> out;
    const int n = rowCount();
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out << rowidAt(i);
    return out;
}

int TCustomerFilter::rowOf(qint64 rowid) const
{
    const int source = m_model->rowOf(rowid);
    if (source < 0)
        return -1;
    return mapFromSource(m_model->index(source, 0)).row();
}

bool TCustomerFilter::accepts(qint64 rowid) const
{
    const int source = m_model->rowOf(rowid);
    return source >= 0 && filterAcceptsRow(source, {});
}

bool TCustomerFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    const ListRow& r = m_model->at(sourceRow);
    if (!kanaMatches(m_kana, r.value(col::PersonKana)))
        return false;
    if (!m_query.isEmpty() && !m_query.matches(r.key))
        return false;
    for (const auto& [name, test] : m_tests) {
        if (!test(*m_model, sourceRow))
            return false;
    }
    return true;
}

bool TCustomerFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const std::vector<int>& rank = m_model->rankBy(left.column());
    return rank[size_t(left.row())] < rank[size_t(right.row())];
}

} // namespace tessolo::customer
