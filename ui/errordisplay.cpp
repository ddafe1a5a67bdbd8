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
} // namespace

void setErrorHook(ErrorHook h) { hook() = std::move(h); }

void showError(const QString& message)
{
    if (hook()) {
        hook()(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), message);
}

} // namespace tessolo::ui
