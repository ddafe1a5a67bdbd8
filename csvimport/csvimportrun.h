#pragma once
// The customer CSV import without its window: the preview of a file's first
// line as numbered column entries, the reading of the user's assignments back
// from those entries, and the run that inserts one customer per line.
//
// The run is all or nothing: a line that fails stops it and rolls every row
// of the run back, so pressing "実行" again after fixing the file never
// inserts a line twice.

#include "customer/customer.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace tessolo {
class TCnvk2K;
}

namespace tessolo::csvimport {

class AddressSplitter;

inline constexpr int kFieldCount = customer::kColumnCount;

// The CSV columns assigned to one customer field. An empty optional is
// "unassigned": no column number can mean that, column 99 included.
struct Assignment {
    std::optional<int> first;
    std::optional<int> second;
};
// The seventeen fields, then "住所（一括）": one column holding the whole
// address, split on import into prefecture, city and the rest (town).
inline constexpr int kWholeAddress = kFieldCount;
inline const QString kWholeAddressCaption = QStringLiteral("住所（一括）");
// Then "グループ": the customer's groups, split at ・、, and blanks (a
// half-width blank has become "_" by then), added to the memo.
inline constexpr int kGroups = kFieldCount + 1;
inline const QString kGroupsCaption = QStringLiteral("グループ");
using ColumnMap = std::array<Assignment, kFieldCount + 2>;

// The memo `memo` with the groups listed in `value` joined to it.
QString memoWithGroups(const QString& memo, QString value);

// "%.2d", a blank, the value: "03 山田".
QString columnEntry(int column, const QString& value);
// The column number at the front of an entry (up to its first blank); empty
// for an empty cell or one that does not start with a number.
std::optional<int> entryColumn(const QString& entry);

// Every half-width blank becomes "_" before a line is split, so a blank never
// separates values; the full-width blank stays.
QString replaceBlanks(QString line);

// The file's lines, decoded and with blanks replaced. Throws EFileError.
// A quoted value that runs over line ends (a spreadsheet's line break in a
// cell) keeps its lines together, joined by CR LF as memos are stored; the
// line reader has already dropped the blanks at the start of each line.
QStringList readLines(const QString& fileName);

// The column each field gets from a header line: the one whose name is the
// field's caption or a common alias of it (名前, フリガナ, 〒, TEL, メール,
// ホームページ, メモ, ...), compared without regard to width, case, blanks
// and brackets. The first column that names a field wins.
std::array<std::optional<int>, kFieldCount> headerColumns(const QStringList& headerFields);

// The column a header names 住所 when no column is named for the prefecture
// or the city: the whole address is in it, for 住所（一括）.
std::optional<int> wholeAddressColumn(const QStringList& headerFields);

// The numbered entries of one line's columns.
QStringList columnEntries(const QString& line);

// The seventeen values of one split line. Throws EListIndexError naming the
// first assigned column the line lacks.
customer::Record buildRecord(const QStringList& fields, const ColumnMap& map, const TCnvk2K& zenkaku);

// The 住所（一括） value of a split line (empty when unassigned).
QString wholeAddressOf(const QStringList& fields, const ColumnMap& map);

// Puts a 住所（一括） value into prefecture and city (where those are still
// empty) and before the town. False when it cannot be split: the whole
// value then goes before the town.
bool applyWholeAddress(customer::Record& r, const QString& whole, const AddressSplitter& splitter);

// Every line the run would import (the header left out), split and built as
// the run builds it, handed over with its index among those lines. Only the
// `wanted` fields are sure to be filled. Throws what reading and building
// throw; a cancel throws EAbort.
using RecordFn = std::function<void(qint64 index, const customer::Record& record)>;
void forEachRecord(const QString& fileName, const ColumnMap& map, bool firstLineIsHeader, const QList<int>& wanted,
                   const RecordFn& visit, const std::function<bool(qint64 done, qint64 total)>& progress = {});

struct Result {
    qint64 rows = 0;
    // Values holding characters code page 932 lacks (stored with '?').
    qint64 substitutedValues = 0;
    // File lines holding such values: how many, and the first few numbers.
    qint64 substitutedLineCount = 0;
    QList<qint64> substitutedLines;
    // File lines holding bytes that are no character of the file's encoding
    // (stored as '?'): how many, and the first few numbers.
    qint64 invalidLineCount = 0;
    QList<qint64> invalidLines;
    // Lines left out on the user's word (duplicates).
    qint64 skipped = 0;
    // Lines whose 住所（一括） could not be split (kept whole in the town).
    qint64 unsplitAddresses = 0;
};

// Told the bytes read so far and the file's size; answers false to cancel.
using ProgressFn = std::function<bool(qint64 done, qint64 total)>;

struct Duplicates;
// Asked once a run has read the whole file, before anything is kept, when
// lines repeat a customer (see duplicates.h): true leaves those lines out,
// false keeps them; throwing EAbort undoes the run.
using DuplicatesFn = std::function<bool(const Duplicates& found)>;

// Inserts one row per line, but for the first line when it is a header.
// Given `onDuplicates`, the run finds the duplicates as it reads (the file is
// read once) and asks about them before it commits.
// On failure nothing stays inserted and the error
// names the file line where the run stopped; a cancel throws EAbort.
Result run(const QString& fileName, const ColumnMap& map, const ProgressFn& progress = {},
           bool firstLineIsHeader = false, const DuplicatesFn& onDuplicates = {});

// The closing message of a run that succeeded.
QString summary(const Result& result);

} // namespace tessolo::csvimport
