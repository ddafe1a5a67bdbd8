#include "ui/notice.h"

#include "ui/appevents.h"

#include <QApplication>
#include <QMessageBox>

namespace tessolo::ui {

void showNotice(QWidget* parent, const QString& message)
{
    if (TAppEvents::isListened(&TAppEvents::noticeRaised)) {
        emit TAppEvents::current()->noticeRaised(parent, message);
        return;
    }
    QMessageBox::information(parent, QApplication::applicationDisplayName(), message);
}

} // namespace tessolo::ui
