#pragma once
// The two forms of a postal code: the masked field's text "123-4567" (blanks
// for empty positions, "   -    " when nothing is typed) and the stored seven
// digits without hyphen (or the empty string). Every window converts through
// these, and the lookup key is formed by the same field-to-stored rule.

#include <QString>

namespace tessolo::postal {

inline const QString kEmptyField = QStringLiteral("   -    ");

// Field text to stored value: empty form -> "", otherwise every '-' removed.
QString toStored(const QString& fieldText);

// Stored value to field text: first three characters, '-', then up to four.
QString postal2mask(const QString& stored);

} // namespace tessolo::postal
