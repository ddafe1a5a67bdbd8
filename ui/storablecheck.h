#pragma once
// Before a record goes into the database: a value with characters code page
// 932 lacks would be stored with "?" in their place. The user is told which
// characters of which field, and either goes back to that field (nothing is
// stored) or stores the record with the substitutes.

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace tessolo::ui {

// `fields` and `values` run in parallel. True when every value can be kept or
// the user chose to store with substitutes; false after the user chose to go
// back, with the focus in the first field concerned.
bool confirmStorable(QWidget* window, const QList<QWidget*>& fields, const QStringList& values);

inline const QString kStoreWithSubstitutes = QStringLiteral("「?」にして保存");
inline const QString kBackToField = QStringLiteral("戻って直す");

} // namespace tessolo::ui
