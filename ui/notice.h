#pragma once
// The short closing message of a long run ("… 件取り込みました。"). Tests
// install a hook and read the text instead of the screen.

#include <QString>
#include <functional>

class QWidget;

namespace tessolo::ui {

using NoticeHook = std::function<void(const QString& message)>;

// Replaces the message box (tests); an empty hook restores it.
void setNoticeHook(NoticeHook hook);
void showNotice(QWidget* parent, const QString& message);

} // namespace tessolo::ui
