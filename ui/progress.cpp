#include "ui/progress.h"

#include <QApplication>

namespace tessolo::ui {

namespace {
constexpr int kSteps = 1000;
constexpr int kPaintEveryMs = 100;
} // namespace

TBusyProgress::TBusyProgress(QWidget* parent, const QString& label)
    : m_dialog(label, QStringLiteral("キャンセル"), 0, kSteps, parent)
{
    m_dialog.setObjectName(QStringLiteral("ProgressDialog"));
    m_dialog.setWindowTitle(QApplication::applicationDisplayName());
    m_dialog.setWindowModality(Qt::ApplicationModal);
    m_dialog.setAutoClose(false);
    m_dialog.setAutoReset(false);
    m_dialog.setMinimumDuration(500);
    m_dialog.setValue(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_cursorSet = true;
}

TBusyProgress::~TBusyProgress() { finish(); }

void TBusyProgress::finish()
{
    m_dialog.close();
    if (m_cursorSet) {
        QApplication::restoreOverrideCursor();
        m_cursorSet = false;
    }
}

bool TBusyProgress::update(qint64 done, qint64 total)
{
    const int value = total > 0 ? int(qBound(qint64(0), done * kSteps / total, qint64(kSteps))) : kSteps;
    // Once shown, every new value repaints the dialog and runs the event loop
    // (about half a millisecond); a bulk load reports hundreds of times a
    // second, which cost the postal list a tenth of its time. Ten times a
    // second still moves the bar smoothly and takes a cancel click within a
    // tenth of a second; the end is always shown.
    if (value < kSteps && m_painted.isValid() && !m_painted.hasExpired(kPaintEveryMs))
        return !m_dialog.wasCanceled();
    m_painted.start();
    // Modal: setValue lets the dialog paint and take the cancel click.
    m_dialog.setValue(value);
    return !m_dialog.wasCanceled();
}

std::function<bool(qint64, qint64)> TBusyProgress::callback()
{
    return [this](qint64 done, qint64 total) { return update(done, total); };
}

TBusyCursor::TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

TBusyCursor::~TBusyCursor() { QApplication::restoreOverrideCursor(); }

} // namespace tessolo::ui
