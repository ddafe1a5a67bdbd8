#pragma once
// Text folded for finding, so that what a user types matches what is stored
// however it was typed: full-width letters, digits and signs as ASCII, the
// ideographic blank as a blank, half-width katakana as full-width (sound marks
// merged), hiragana as katakana, and letters in lower case.

#include <QString>
#include <QStringView>

namespace tessolo {

QString foldForSearch(QStringView text);

// A folded telephone or fax number without its separators (hyphens of every
// kind, the long-vowel mark an input method may give for one, blanks and
// brackets), so 03(1234)5678 and 03-1234-5678 read alike.
QString phoneDigits(QStringView folded);

} // namespace tessolo
