#pragma once
// Moving a roster between a SQLite file of the program's schema and a server:
// the office moving its file onto the server (データの読み込み, or
// --import-file), and the server's roster written out as a file (データの書き出し,
// the backup of a server roster). The three tables move whole, each row with
// its rowid, in one transaction on the server; a file that comes back out
// holds the same stored bytes the file that went in held.

#include <QString>

namespace tessolo::store {

class TPgStore;

struct TransferCount {
    qint64 customers = 0;
    qint64 sites = 0;
    qint64 postalRows = 0;
    // Values the server cannot keep byte for byte: bytes that are no code
    // page 932 character (kept as '?'), or a number where text belongs
    // (kept as its digits). Zero for every file this program wrote.
    qint64 altered = 0;
};

enum class ImportMode {
    // Refuse, changing nothing, when the server already holds customers or
    // sites: moving a file in must never mix two rosters unasked.
    IntoEmpty,
    // The server's three tables are replaced by the file's.
    Replace,
};

// Copies the file's three tables into the server in one transaction: all of
// them or, on any failure, nothing. Throws TessoloError.
TransferCount importFile(TPgStore& server, const QString& fileName, ImportMode mode);

// Writes the server's three tables into a new SQLite file of the program's
// schema; an existing file is replaced only once the new one is complete.
TransferCount exportFile(TPgStore& server, const QString& fileName);

} // namespace tessolo::store
