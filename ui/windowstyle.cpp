#include "ui/windowstyle.h"

#include <QPalette>
#include <QWidget>

namespace tessolo::ui {

void setupWindow(QWidget* window, const QString& objectName, const QString& caption, const QColor& background)
{
    window->setObjectName(objectName);
    window->setWindowTitle(caption);
    window->setAutoFillBackground(true);
    QPalette pal = window->palette();
    pal.setColor(QPalette::Window, background);
    window->setPalette(pal);
}

} // namespace tessolo::ui
