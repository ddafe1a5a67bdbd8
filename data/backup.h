#pragma once
// Copies of the database, so that a wrong import, a wrong delete or a failed
// disk never costs the roster: a dated copy in the folder backup/ beside the
// database, the rotation that keeps the folder small, the check that a copy
// (or a file brought from another PC) is whole and of this program, and
// putting one back.
//
// Copies are made with SQLite's online backup API, never by copying the file
// of a database in use, and are written beside their final name, synced and
// only then renamed: a copy under its final name was written whole.

#include "data/errors.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace tessolo::backup {

class EBackupError : public TessoloError {
public:
    using TessoloError::TessoloError;
};

// The newest copies kept whatever their age, and the months of which the
// newest copy is kept besides them (this month and the eleven before).
inline constexpr int kKeepLatest = 10;
inline constexpr int kKeepMonths = 12;
// How long a copy or a restore waits for another program's write to end.
inline constexpr int kBusyWaitMs = 3000;

// The database every window opens, and the folder of its copies.
QString databasePath();
QString folderOf(const QString& dbPath);

// "tessolo-20261209-213005.db"; a second copy in the same second gets "-2".
QString copyName(const QDateTime& when, int sequence = 1);
// The time in a copy's file name; empty for any other name.
std::optional<QDateTime> copyTime(const QString& fileName);

// Writes a consistent copy of the database `source` to `target`. Waits up
// to `busyWaitMs` while another program writes. Throws EBackupError; on
// failure nothing is left under `target`.
void copyDatabase(const QString& source, const QString& target, int busyWaitMs = kBusyWaitMs);

// A dated copy of `dbPath` in its backup folder, then the rotation. Returns
// the copy's path. Throws EBackupError.
QString makeCopy(const QString& dbPath, const QDateTime& now = QDateTime::currentDateTime());
bool hasCopyFrom(const QString& dbPath, const QDate& day);

// Of the copies' file names in one folder, those the rotation removes on
// `today`. Names that are not copies are never among them.
QStringList expiredCopies(const QStringList& names, const QDate& today);
// Removes the expired copies of `folder` and the leftovers of copies that
// never finished.
void rotate(const QString& folder, const QDate& today);

struct CopyInfo {
    QString path;
    QDateTime time;
    qint64 size = 0;
    qint64 customers = -1;
    // Why the file cannot be put back; empty when it can.
    QString problem;
    bool usable() const { return problem.isEmpty(); }
};

// Reads the file itself: whether it opens as a database, passes
// quick_check and has the tables and columns of this program, and how many
// customers it holds.
CopyInfo inspect(const QString& path);
// The copies of `dbPath`, newest first.
QList<CopyInfo> listCopies(const QString& dbPath);

// Replaces the data of `dbPath` by that of `file` after the checks of
// inspect(). Refused while another program holds the database. Throws
// EBackupError; then, and if the process dies half-way, the data is as it was.
void restore(const QString& file, const QString& dbPath, int busyWaitMs = kBusyWaitMs);

} // namespace tessolo::backup
