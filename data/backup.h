#pragma once
// Copies of the database, so that a wrong import, a wrong delete or a failed
// disk never costs the roster: a dated copy in the folder backup/ beside the
// database, the rotation that keeps the folder small, the check that a copy
// (or a file brought from another PC) is whole and of this program, and
// putting one back.
//
// A copy, and whatever is put back, carries rows, never a file: the rows of
// the three tables are written into a fresh file made with the program's own
// schema, so a trigger, a view, an index or a table brought in a file from
// elsewhere never reaches the live data. Copies are written beside their
// final name, synced and only then renamed: a copy under its final name was
// written whole. Copies and the files read are opened read-only and
// immutable, so reading leaves no journal or WAL file beside them.

#include "data/errors.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
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

// Why a copy was made; the restore list says it.
enum class Reason { Unknown, Start, BeforeImport, BeforePostalUpdate, BeforeRestore, Manual };
// 起動時 / 取込前 / 郵便データ更新前 / 復元前 / 手動; empty for Unknown.
QString reasonText(Reason reason);

// Told `done` of `total` units as a long read or write goes on; answering
// false cancels it (EAbort, with nothing changed).
using Progress = std::function<bool(qint64 done, qint64 total)>;

// The database every window opens, and the folder of its copies.
QString databasePath();
QString folderOf(const QString& dbPath);

// "tessolo-20261209-213005.db"; a second copy in the same second gets "-2";
// the reason follows as a word ("tessolo-20261209-213005-start.db").
QString copyName(const QDateTime& when, int sequence = 1, Reason reason = Reason::Unknown);
// The time in a copy's file name; empty for any other name.
std::optional<QDateTime> copyTime(const QString& fileName);
Reason copyReason(const QString& fileName);

// Writes a consistent copy of the database `source` to `target` (mode
// 0600). Waits up to `busyWaitMs` while another program writes. Throws
// EBackupError; on failure or cancel nothing is left under `target`.
void copyDatabase(const QString& source, const QString& target, int busyWaitMs = kBusyWaitMs,
                  const Progress& progress = {});

// A dated copy of `dbPath` in its backup folder, then the rotation. Returns
// the copy's path. The postal list goes into the copy only when it differs
// from the one of the newest copy before it. Throws EBackupError.
QString makeCopy(const QString& dbPath, const QDateTime& now = QDateTime::currentDateTime(),
                 Reason reason = Reason::Unknown, const Progress& progress = {});
bool hasCopyFrom(const QString& dbPath, const QDate& day);

// Of the copies' file names in one folder, those the rotation removes on
// `today`. Names that are not copies are never among them, nor the first
// copy of `today` (the one from before the day's work).
QStringList expiredCopies(const QStringList& names, const QDate& today);
// Removes the expired copies of `folder` and the leftovers of copies that
// never finished.
void rotate(const QString& folder, const QDate& today);

struct CopyInfo {
    QString path;
    QDateTime time;
    qint64 size = 0;
    qint64 customers = -1;
    Reason reason = Reason::Unknown;
    // False for a copy made without the postal list (it was the same as the
    // copy's before); putting it back keeps the live list.
    bool hasPostalList = false;
    // Why the file cannot be put back; empty when it can.
    QString problem;
    bool usable() const { return problem.isEmpty(); }
};

// Reads the file itself: whether it is a regular file that opens as a
// database in UTF-8, passes quick_check, has the three tables (real tables,
// not views) with the columns of this program, and how many customers it
// holds. `progress` may cancel the check of a large file.
CopyInfo inspect(const QString& path, const Progress& progress = {});
// The copies of `dbPath`, newest first.
QList<CopyInfo> listCopies(const QString& dbPath);

// The customers in the database `dbPath` now.
qint64 customerCount(const QString& dbPath);

// Replaces the data of `dbPath` by the rows of `file` after the checks of
// inspect(); a file without a postal list keeps the live one. The live
// file keeps its journal mode. Refused while another program holds the
// database. Throws EBackupError (EAbort when `progress` cancels); then, and
// if the process dies half-way, the data is as it was.
void restore(const QString& file, const QString& dbPath, int busyWaitMs = kBusyWaitMs, const Progress& progress = {});

} // namespace tessolo::backup
