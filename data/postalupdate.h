#pragma once
// Replacing m_postal with a national postal code list (a CSV file). The old
// rows are deleted and the new ones inserted in one transaction: whatever
// stops the update (a short line, an unreadable file, a locked or failing
// database, the user's cancel) leaves the old rows as they were, so address
// completion never goes dead half-way.

#include <QString>
#include <functional>

namespace tessolo::postalupdate {

// Told the bytes read so far and the file's size; answers false to cancel.
using ProgressFn = std::function<bool(qint64 done, qint64 total)>;

struct Result {
    qint64 rows = 0;        // rows now in m_postal
    qint64 substituted = 0; // values with characters code page 932 lacks, stored as '?'
    qint64 invalidLines = 0; // lines with bytes that are no character, stored as '?'
};

// Each line's first nine fields become one row, exactly as split: no line
// skipped or merged, nothing trimmed. A file without any line (empty, or
// blanks only) is refused: emptying the table would leave address completion
// dead. Throws TessoloError (EListIndexError, EFileError, ESQLiteException)
// after rolling back, EAbort when cancelled.
Result run(const QString& fileName, const ProgressFn& progress = {});

} // namespace tessolo::postalupdate
