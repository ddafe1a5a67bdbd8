#pragma once
// Long work on the data (a copy of a large database, a restore) runs on a
// thread of its own, so that the windows keep drawing; a progress dialog with
// a cancel button appears once it has lasted a second.

#include <QString>
#include <functional>

class QWidget;

namespace tessolo::ui {

// Told how far the work has come; answers false once the user cancelled.
using WorkProgress = std::function<bool(qint64 done, qint64 total)>;

// Runs `work` off the window's thread and returns when it ends, rethrowing
// what it threw. The user's input waits meanwhile, except for the dialog's
// cancel button.
void runInBackground(QWidget* parent, const QString& label, const std::function<void(const WorkProgress&)>& work);

// True while such work runs, or work on the window's thread under a progress
// dialog (TWorkRunning): what would read the database meanwhile (a list's
// reload on a timer) waits for the next time instead of a lock.
bool backgroundWorkRunning();

// Marks work as running for its lifetime. Work on the window's thread needs
// it too: its progress dialog lets timers run, and a read there would wait
// for the lock the work itself holds, seconds at a time.
class TWorkRunning {
public:
    TWorkRunning();
    ~TWorkRunning();
    TWorkRunning(const TWorkRunning&) = delete;
    TWorkRunning& operator=(const TWorkRunning&) = delete;
};

} // namespace tessolo::ui
