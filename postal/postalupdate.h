#pragma once
// Replacing m_postal with a national postal code list (a CSV file). The old
// rows are deleted and the new ones inserted in one transaction: whatever
// stops the update (a short line, an unreadable file, a locked or failing
// database, the user's cancel) leaves the old rows as they were, so address
// completion never goes dead half-way.
//
// Japan Post publishes two lists: the addresses (KEN_ALL.CSV) and the codes
// of large businesses (JIGYOSYO.CSV, 13 fields a line, the 8th the code).
// Both live in m_postal, a business row laid out so that the one lookup
// finds it: gov_code, old code, code, '' (no prefecture reading), the name's
// reading, the name, prefecture, city, town with its block and number. Its
// empty prefecture1 tells it from an address row, and loading one list
// replaces only the rows of its own kind.

#include <QString>
#include <functional>

namespace tessolo::postalupdate {

// Told the bytes read so far and the file's size; answers false to cancel.
using ProgressFn = std::function<bool(qint64 done, qint64 total)>;

enum class ListKind { Addresses, Businesses };

// The kind a list is, told from the fields of its first line.
ListKind kindOf(const QStringList& firstLineFields);

struct Result {
    ListKind kind = ListKind::Addresses;
    qint64 rows = 0;         // rows the list put in m_postal
    qint64 substituted = 0;  // values with characters code page 932 lacks, stored as '?'
    qint64 invalidLines = 0; // lines with bytes that are no character, stored as '?'
};

// Each line becomes one row, its fields exactly as split: no line skipped or
// merged, nothing trimmed; an address line's first nine fields in order. A
// file without any line (empty, or blanks only) is refused: emptying the
// table would leave address completion dead. Throws TessoloError
// (EListIndexError, EFileError, ESQLiteException) after rolling back, EAbort
// when cancelled.
Result run(const QString& fileName, const ProgressFn& progress = {});

} // namespace tessolo::postalupdate
