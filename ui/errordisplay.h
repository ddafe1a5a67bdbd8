#pragma once
// The application's one default error display: an exception that leaves a
// handler is shown in a message box with its message. Tests listen to
// TAppEvents::errorRaised and read the message instead of the screen.

#include <QString>
#include <QStringList>
#include <exception>
#include <functional>

#include "data/errors.h"

namespace tessolo::ui {

void showError(const QString& message);
// The last errors shown, oldest first (for a problem report).
QStringList recentErrors();

// Runs a handler; EAbort ends it silently, any other exception is shown.
template <class F> void runHandler(F&& f)
{
    try {
        f();
    } catch (const EAbort&) {
    } catch (const TessoloError& e) {
        showError(e.message());
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
    }
}

// Wraps a handler for connect(): connect(b, &QPushButton::clicked, this, guarded([this]{ ... }));
template <class F> auto guarded(F f)
{
    return [f = std::move(f)](auto&&...) { runHandler(f); };
}

} // namespace tessolo::ui
