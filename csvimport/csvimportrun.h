#pragma once
// The customer CSV import without its window: the preview of a file's first
// line as numbered column entries, the reading of the user's assignments back
// from those entries, and the run that inserts one customer per line.
//
// The run is all or nothing: a line that fails stops it and rolls every row
// of the run back, so pressing "実行" again after fixing the file never
// inserts a line twice.

#include "roster/customer.h"

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

inline constexpr int kFieldCount = customer::kColumnCount;

// The CSV columns assigned to one customer field. An empty optional is
// "unassigned": no column number can mean that, column 99 included.
struct Assignment {
    std::optional<int> first;
    std::optional<int> second;
};
using ColumnMap = std::array<Assignment, kFieldCount>;

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

// The numbered entries of one line's columns.
QStringList columnEntries(const QString& line);

// The seventeen values of one split line. Throws EListIndexError naming the
// first assigned column the line lacks.
customer::Record buildRecord(const QStringList& fields, const ColumnMap& map, const TCnvk2K& zenkaku);

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
};

// Told the bytes read so far and the file's size; answers false to cancel.
using ProgressFn = std::function<bool(qint64 done, qint64 total)>;

// Inserts one row per line, but for the first line when it is a header.
// On failure nothing stays inserted and the error
// names the file line where the run stopped; a cancel throws EAbort.
Result run(const QString& fileName, const ColumnMap& map, const ProgressFn& progress = {},
           bool firstLineIsHeader = false);

// The closing message of a run that succeeded.
QString summary(const Result& result);

} // namespace tessolo::csvimport
