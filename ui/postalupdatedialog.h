#pragma once
// The roster's "郵便データ更新" (Ctrl+U): choose the national postal code
// list, replace m_postal with it under a progress dialog, and say how many
// rows came in. Failures are shown by the default error display and leave
// the old rows; a cancel is silent and leaves them too.

#include <QString>

class QFileDialog;
class QWidget;

namespace tessolo::ui {

// Asks for the file with `dialog` (the roster's OpenTextFileDialog1; its
// filter becomes "CSV|*.csv"), or with a dialog of its own when none is
// given. True when the table was replaced; false when cancelled or failed.
bool runPostalUpdate(QWidget* parent, QFileDialog* dialog = nullptr);

// The same for a file already chosen.
bool runPostalUpdateFile(QWidget* parent, const QString& fileName);

} // namespace tessolo::ui
