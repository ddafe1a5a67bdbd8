#pragma once
// The copies taken without being asked: before each bulk change and on the
// first start of a day. A copy that fails never stops the user's work: it is
// noted in the status bar, and a bulk change asks first whether to go on
// without one.

#include "data/backup.h"

#include <QString>
#include <functional>

class QWidget;

namespace tessolo::ui {

// A note that must not interrupt, raised as TAppEvents::statusMessage (the map
// window shows it in its status bar).
void reportStatus(const QString& message);

// A copy of the database before a bulk change, named for `reason`. When it
// fails the user is asked whether to go on without one; declining (or
// cancelling a long copy) throws EAbort.
void backupBeforeChange(QWidget* parent, backup::Reason reason = backup::Reason::BeforeImport);

// A copy on the user's demand: the copy's path. Throws EBackupError.
QString backupManually(QWidget* parent);

// A copy at the first start of the day; a failure is only noted.
void dailyBackup();

// Raises TAppEvents::dataReplaced after the data was replaced under the
// windows (a restore), so that whatever shows customers shows the new ones.
void notifyDataReplaced();

} // namespace tessolo::ui
