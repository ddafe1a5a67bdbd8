#include "ui/errordisplay.h"

#include "ui/appevents.h"

#include <QApplication>
#include <QMessageBox>

namespace tessolo::ui {

void showError(const QString& message)
{
    if (AppEvents::isListened(&AppEvents::errorRaised)) {
        emit AppEvents::current()->errorRaised(message);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), message);
}

} // namespace tessolo::ui
