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

// A postal code as people write it, reduced to what is stored: the 〒 sign,
// blanks and hyphens of every width and kind (- － ‐ ー − …) removed and
// full-width digits made half-width. "〒２１５－００２５" and "215 0025" give
// "2150025". Anything else (letters, a 6-digit code) is kept as it is, for
// the caller's check to name.
QString cleaned(const QString& given);
// Seven ASCII digits: the only form a digit box can print.
bool isSevenDigits(const QString& stored);

// One address that a postal code stands for.
struct PostalAddress {
    QString prefecture;
    QString city;
    QString town;
    bool operator==(const PostalAddress&) const = default;
};

// The town of a row of the published list as it belongs in an address. The
// list writes notes where a code has no town of its own (以下に掲載がない場合,
// …の次に番地がくる場合, …一円): those give an empty town. A part in
// parentheses names blocks or buildings, not the town, and is dropped; a row
// that only continues such a part from the row before gives an empty town.
QString townName(const QString& town2);

} // namespace tessolo::postal
