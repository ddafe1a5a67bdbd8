#include "ui/startfolder.h"

#include <QDir>
#include <QStandardPaths>

namespace tessolo::ui {

QString startFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(documents).exists() ? documents : QDir::homePath();
}

} // namespace tessolo::ui
