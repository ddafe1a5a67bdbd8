#pragma once
// Input as the window system delivers it: keys and clicks go to a top-level
// window (QWindow) and travel through QApplication, so modal blocking,
// focus changes and default buttons act as they do for a user. QTest calls
// on a widget skip all of that.

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>

namespace realevents {

inline QWindow* windowOf(QWidget* w) { return w->window()->windowHandle(); }

inline QPoint inWindow(QWidget* target, QPoint at)
{
    return target->mapTo(target->window(), at.isNull() ? target->rect().center() : at);
}

// A key on the window that holds `anyWidget` (the focused control gets it).
inline void key(QWidget* anyWidget, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::keyClick(windowOf(anyWidget), k, mods);
}

// A key press and release carrying `text`, as an input method off or a
// keyboard layout would send it (full-width digits, other scripts).
inline void typeText(QWidget* anyWidget, const QString& text)
{
    QWindow* win = windowOf(anyWidget);
    for (char32_t c : text.toUcs4()) // a character outside the BMP is one key
        QTest::sendKeyEvent(QTest::Click, win, Qt::Key_unknown, QString::fromUcs4(&c, 1), Qt::NoModifier);
}

inline void press(QWidget* target, Qt::MouseButton b = Qt::LeftButton, QPoint at = {})
{
    QTest::mousePress(windowOf(target), b, {}, inWindow(target, at));
}

inline void release(QWidget* target, Qt::MouseButton b = Qt::LeftButton, QPoint at = {})
{
    QTest::mouseRelease(windowOf(target), b, {}, inWindow(target, at));
}

inline void click(QWidget* target, Qt::MouseButton b = Qt::LeftButton, QPoint at = {})
{
    QTest::mouseClick(windowOf(target), b, {}, inWindow(target, at));
}

// Runs `act` on the next modal window once it is up (a message box or a
// dialog's exec()), from the event loop that window runs. Gives up after
// `timeoutMs`, so a box that never comes fails the test instead of hanging.
// `wanted` passes over other modal windows meanwhile (a progress dialog
// that comes and goes first).
inline void onNextModal(std::function<void(QWidget* modal)> act, int timeoutMs = 5000,
                        std::function<bool(QWidget*)> wanted = {})
{
    auto* timer = new QTimer(qApp);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, started, timeoutMs, wanted] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && modal->windowHandle() && modal->windowHandle()->isExposed() &&
            (!wanted || wanted(modal))) {
            timer->deleteLater();
            timer->stop();
            act(modal);
        } else if (started->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// The next modal window of type T.
template <class T> void onNext(std::function<void(T*)> act, int timeoutMs = 5000)
{
    onNextModal([act](QWidget* modal) { act(static_cast<T*>(modal)); }, timeoutMs,
                [](QWidget* modal) { return qobject_cast<T*>(modal) != nullptr; });
}

} // namespace realevents
