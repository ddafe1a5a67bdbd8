#include "ui/errordisplay.h"

#include <QApplication>
#include <QMessageBox>

namespace tessolo::ui {

namespace {
ErrorHook& hook()
{
    static ErrorHook h;
    return h;
}
QStringList& recent()
{
    static QStringList r;
    return r;
}
} // namespace

QStringList recentErrors() { return recent(); }

void setErrorHook(ErrorHook h) { hook() = std::move(h); }

void showError(const QString& message)
{
    constexpr int kKept = 10;
    recent().append(message);
    while (recent().size() > kKept)
        recent().removeFirst();
    if (hook()) {
        hook()(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), message);
}

} // namespace tessolo::ui
