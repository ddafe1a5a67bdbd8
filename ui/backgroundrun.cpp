#include "ui/backgroundrun.h"

#include "ui/progress.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <exception>
#include <memory>

namespace tessolo::ui {

namespace {
int running = 0; // the window's thread alone changes and reads it
} // namespace

bool backgroundWorkRunning() { return running > 0; }

TWorkRunning::TWorkRunning() { ++running; }

TWorkRunning::~TWorkRunning() { --running; }

void runInBackground(QWidget* parent, const QString& label, const std::function<void(const WorkProgress&)>& work)
{
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};
    std::atomic<bool> cancelled{false};
    std::exception_ptr failure;
    const WorkProgress progress = [&](qint64 d, qint64 t) {
        done = d;
        total = t;
        return !cancelled.load();
    };
    std::unique_ptr<QThread> thread(QThread::create([&] {
        // Carried over to the window's thread, where the handlers expect it.
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    TBusyCursor cursor;
    TWorkRunning mark;
    thread->start();
    QEventLoop loop;
    // Polled rather than signalled: a thread that ends before the loop runs
    // would leave a signalled loop waiting forever.
    QTimer poll;
    std::unique_ptr<TBusyProgress> dialog;
    QElapsedTimer started;
    started.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (thread->isFinished()) {
            loop.quit();
            return;
        }
        // The first second without a dialog: most copies are done by then.
        if (!dialog && started.elapsed() >= 1000) {
            dialog = std::make_unique<TBusyProgress>(parent, label);
            loop.quit(); // again, now taking the dialog's input
        }
        if (dialog && !dialog->update(done, total))
            cancelled = true;
    });
    poll.start(50);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!thread->isFinished())
        loop.exec();
    poll.stop();
    dialog.reset();
    thread->wait();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace tessolo::ui
