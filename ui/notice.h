#pragma once
// The short closing message of a long run ("… 件取り込みました。"). Tests
// listen to TAppEvents::noticeRaised and read the text instead of the screen.

#include <QString>
#include <functional>

class QWidget;

namespace tessolo::ui {

void showNotice(QWidget* parent, const QString& message);

} // namespace tessolo::ui
