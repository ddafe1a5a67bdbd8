#include "ui/errordisplay.h"

#include "ui/appevents.h"

#include <QApplication>
#include <QMessageBox>

namespace tessolo::ui {

namespace {
QStringList& recent()
{
    static QStringList r;
    return r;
}
} // namespace

QStringList recentErrors() { return recent(); }

void showError(const QString& message)
{
    constexpr int kKept = 10;
    recent().append(message);
    while (recent().size() > kKept)
        recent().removeFirst();
    if (TAppEvents::isListened(&TAppEvents::errorRaised)) {
        emit TAppEvents::current()->errorRaised(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), message);
}

} // namespace tessolo::ui
