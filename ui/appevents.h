#pragma once
// The messages that cross from one part of the program to another: a note
// for the status bar, data replaced under the windows, an error or a closing
// notice to show, an address to hand to the desktop. The part that raises one
// knows nothing of who shows it. The application owns one of these objects
// and the map window connects to it; a test makes its own and reads what is
// raised instead of the screen. Where nothing is connected, an error or a
// notice is shown in a message box and an address goes to the desktop.

#include <QMetaMethod>
#include <QObject>
#include <QString>

class QWidget;

namespace tessolo::ui {

class TAppEvents : public QObject {
    Q_OBJECT
public:
    // The newest object made is the one raised on; the one before it is again
    // when it goes.
    explicit TAppEvents(QObject* parent = nullptr);
    ~TAppEvents() override;
    TAppEvents(const TAppEvents&) = delete;
    TAppEvents& operator=(const TAppEvents&) = delete;

    // The object raised on; null where none has been made.
    static TAppEvents* current();

    // True when something is connected to `signal` of the current object.
    template <typename Signal> static bool isListened(Signal signal)
    {
        return current() && current()->isSignalConnected(QMetaMethod::fromSignal(signal));
    }

signals:
    void statusMessage(const QString& message);
    void dataReplaced();
    void errorRaised(const QString& message);
    void noticeRaised(QWidget* parent, const QString& message);
    void openRequested(const QString& address);

private:
    TAppEvents* m_previous = nullptr;
};

} // namespace tessolo::ui
