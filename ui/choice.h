#pragma once
// A question with answers of its own wording ("重複を除いて取り込む" …), asked
// in a message box. Escape and the close box give the last answer, which
// is always the one that changes nothing.

#include <QString>
#include <QStringList>

class QWidget;

namespace tessolo::ui {

// The index of the answer chosen.
int askChoice(QWidget* parent, const QString& text, const QStringList& answers);

} // namespace tessolo::ui
