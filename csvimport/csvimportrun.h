#pragma once
// The customer CSV import without its window: the preview of a file's first
// line as numbered column entries, the reading of the user's assignments back
// from those entries, and the run that inserts one customer per line.
//
// The run is all or nothing: a line that fails stops it before a row is
// written, so pressing "実行" again after fixing the file never inserts a
// line twice.

#include "customer/customer.h"
#include "text/textfile.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <vector>
#include <optional>

namespace tessolo {
class TCnvk2K;
}

namespace tessolo::csvimport {

class TAddressSplitter;

inline constexpr int kFieldCount = customer::kColumnCount;

// The CSV columns assigned to one customer field. An empty optional is
// "unassigned": no column number can mean that, column 99 included.
struct Assignment {
    std::optional<int> first;
    std::optional<int> second;
};
// The seventeen fields, then the fields that are no column of their own,
// each numbered after the last: "住所（一括）", one column holding the whole
// address, split on import into prefecture, city and the rest (town). A
// further such field goes after it, with its caption in kExtraCaptions.
inline constexpr int kWholeAddress = kFieldCount;
inline constexpr int kExtraFieldCount = 2;
inline const QString kWholeAddressCaption = QStringLiteral("住所（一括）");
// Then "グループ": the customer's groups, split at ・、, and blanks, added to
// the memo.
inline constexpr int kGroups = kFieldCount + 1;
inline const QString kGroupsCaption = QStringLiteral("グループ");
inline const std::array<QString, kExtraFieldCount> kExtraCaptions = {kWholeAddressCaption, kGroupsCaption};
using ColumnMap = std::array<Assignment, kFieldCount + kExtraFieldCount>;

// The memo `memo` with the groups listed in `value` joined to it.
QString memoWithGroups(const QString& memo, QString value);

// "%.2d", a blank, the value: "03 山田".
QString columnEntry(int column, const QString& value);
// The column number at the front of an entry (up to its first blank); empty
// for an empty cell or one that does not start with a number.
std::optional<int> entryColumn(const QString& entry);

// A spreadsheet runs a cell that starts with = + - @, a tab or a CR as a
// formula; the export writes such a value behind an apostrophe, and the
// import takes the apostrophe off again so the value comes back as it was.
QString withoutFormulaGuard(const QString& value);

// One line of a customer list as the import reads it: decoded once, split
// with its blanks kept, a spreadsheet's formula guard removed.
struct SourceLine {
    QString text; // the line as decoded, before it is split
    QStringList fields;
    qint64 number = 0;    // the line of the file (blank lines counted), or the sheet's row
    qsizetype faults = 0; // byte sequences that were no character ('?' now)
};

// The one reader from a file to its lines, for the preview, the run and the
// postal check alike: a text file in the encoding given or detected (code
// page 932, UTF-8 with or without byte-order mark, UTF-16 with it, EUC-JP),
// or the first sheet of an .xlsx workbook. A quoted value that runs over
// line ends (a spreadsheet's line break in a cell) keeps its lines together,
// joined by CR LF as memos are stored. Throws EFileError when the file
// cannot be read.
class TLineSource {
public:
    explicit TLineSource(const QString& fileName, std::optional<TextEncoding> encoding = std::nullopt);
    ~TLineSource();
    TLineSource(const TLineSource&) = delete;
    TLineSource& operator=(const TLineSource&) = delete;

    // False after the last line. A quote still open at the end of the file
    // throws TessoloError naming its line, unless `lenient` (the preview).
    bool next(SourceLine& line, bool lenient = false);
    bool isSpreadsheet() const;
    // The encoding the text was read in (UTF-8 for a workbook).
    TextEncoding encoding() const;
    // Byte sequences of the whole file that are no character of it.
    qsizetype faults() const;
    // Progress: how far the reading is, out of size().
    qint64 position() const;
    qint64 size() const;

private:
    struct Text;
    struct Sheet;
    std::unique_ptr<Text> m_text;
    std::unique_ptr<Sheet> m_sheet;
};

bool isSpreadsheetFile(const QString& fileName);

// The first lines of a file as the window shows them, and what it was read as.
struct Preview {
    TextEncoding encoding = TextEncoding::Cp932;
    bool spreadsheet = false;
    // Faults in the whole file read in `encoding`, and whether some other
    // encoding reads it without any (then that is offered).
    qsizetype faults = 0;
    std::optional<TextEncoding> cleanEncoding;
    QList<QStringList> rows;
};
Preview preview(const QString& fileName, std::optional<TextEncoding> encoding = std::nullopt, int rows = 20);

// The lines of a file, decoded, blank lines left out (a workbook's rows with
// their values joined by commas): the window's allBuf.
QStringList readLines(const QString& fileName, std::optional<TextEncoding> encoding = std::nullopt);

// The column each field gets from a header line: the one whose name is the
// field's caption or a common alias of it (名前, フリガナ, 〒, TEL, メール,
// ホームページ, メモ, ...), compared without regard to width, case, blanks
// and brackets. The first column that names a field wins.
std::array<std::optional<int>, kFieldCount> headerColumns(const QStringList& headerFields);

// The column a header names 住所 when no column is named for the prefecture
// or the city: the whole address is in it, for 住所（一括）.
std::optional<int> wholeAddressColumn(const QStringList& headerFields);

// The numbered entries of one line's values.
QStringList columnEntries(const QStringList& fields);

// Whether any field (or 住所（一括）) has a column: a run without one would
// store nothing but empty customers.
bool anyAssigned(const ColumnMap& map);
// What a run without any assigned field is refused with.
QString noAssignmentMessage();

// The seventeen values of one split line. A column the line lacks gives an
// empty value. The readings are trimmed and widened; the postal code is
// cleaned as people write it (〒, blanks, hyphens of every kind, full-width
// digits) when that leaves seven digits, and kept as given otherwise.
customer::Record buildRecord(const QStringList& fields, const ColumnMap& map, const TCnvk2K& zenkaku);

// The 住所（一括） value of a split line (empty when unassigned).
QString wholeAddressOf(const QStringList& fields, const ColumnMap& map);

// Puts a 住所（一括） value into prefecture and city (where those are still
// empty) and before the town. False when it cannot be split: the whole
// value then goes before the town.
bool applyWholeAddress(customer::Record& r, const QString& whole, const TAddressSplitter& splitter);

// What the check before the commit found: lines to look at before they go in.
struct Check {
    qint64 noName = 0;        // neither a person's nor a company's name
    qint64 postalForm = 0;    // a postal code that is not seven digits after cleaning
    qint64 postalUnknown = 0; // seven digits the loaded postal list does not hold
    qint64 postalDiffers = 0; // prefecture or city other than the list's for that code
    qint64 replaced = 0;      // characters that became '?'
    QSet<qint64> lines;       // their indexes (header left out, from 0)
    QList<qint64> firstLines; // the file lines of the first few

    bool any() const { return !lines.isEmpty(); }
};

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
    // Lines left out on the user's word (duplicates and checked lines), and
    // their records, for writing them out.
    qint64 skipped = 0;
    qint64 skippedChecked = 0; // of them flagged by the check, not duplicates
    std::vector<customer::Record> leftOut;
    // Lines whose 住所（一括） could not be split (kept whole in the town).
    qint64 unsplitAddresses = 0;
    // Lines with fewer values than the first line (the missing ones stored
    // empty) and with more (the unassigned ones dropped).
    qint64 shortLines = 0;
    qint64 longLines = 0;
    // Postal codes that got their leading 0 back from the postal list.
    qint64 zeroRestored = 0;
};

// Told the bytes read so far and the file's size; answers false to cancel.
using ProgressFn = std::function<bool(qint64 done, qint64 total)>;

struct Duplicates;
// What the run asks about before it stores anything: the duplicates
// (see duplicates.h) and the check's findings together.
struct Review;
// Asked once a run has read the whole file, before anything is stored, when
// lines repeat a customer or the check flags lines: true leaves those lines
// out, false keeps them; throwing EAbort stops the run with nothing stored.
using DuplicatesFn = std::function<bool(const Review& found)>;

struct Options {
    std::optional<TextEncoding> encoding; // detected when not given
};

// Inserts one row per line, but for the first line when it is a header.
// Throws TessoloError before reading when no field is assigned. The file is
// read once; given `onDuplicates`, the roster is compared with the lines and
// the question asked before anything is written. On failure nothing is
// stored and the error names the file line where the run stopped; a cancel
// throws EAbort.
Result run(const QString& fileName, const ColumnMap& map, const ProgressFn& progress = {},
           bool firstLineIsHeader = false, const DuplicatesFn& onDuplicates = {}, const Options& options = {});

// The closing message of a run that succeeded.
QString summary(const Result& result);

} // namespace tessolo::csvimport
