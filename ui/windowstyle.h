#pragma once
// What every window sets up first: its name (the one tests and tools find it
// by), its caption and its background colour. The Japanese font family is the
// application's own, installed once at start-up, so no window names a font.

#include <QColor>
#include <QString>

class QWidget;

namespace tessolo::ui {

void setupWindow(QWidget* window, const QString& objectName, const QString& caption, const QColor& background);

} // namespace tessolo::ui
