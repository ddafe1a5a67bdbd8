#pragma once
// A modal progress dialog with a busy cursor for the long runs (postal list,
// customer CSV import). It appears only when the run lasts long enough to be
// worth watching, and its cancel button asks the run to stop; the run then
// rolls back, so a cancel never leaves half a list behind.

#include "ui/backgroundrun.h"

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QString>
#include <functional>

namespace tessolo::ui {

class TBusyProgress {
public:
    TBusyProgress(QWidget* parent, const QString& label);
    // Restores the cursor and closes the dialog, on every way out of the run.
    ~TBusyProgress();
    TBusyProgress(const TBusyProgress&) = delete;
    TBusyProgress& operator=(const TBusyProgress&) = delete;

    // Shows `done` of `total` bytes; false once the user has cancelled.
    bool update(qint64 done, qint64 total);
    // update() as the runs take it.
    std::function<bool(qint64, qint64)> callback();
    // Closes the dialog before the closing message (the cursor comes back too).
    void finish();

private:
    TWorkRunning m_running; // from the start of the run to its end, past finish()
    QProgressDialog m_dialog;
    QElapsedTimer m_painted; // since the dialog was last given a value
    bool m_cursorSet = false;
};

// A wait cursor for a short run that needs no dialog (a backup copy),
// restored on every way out.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

} // namespace tessolo::ui
