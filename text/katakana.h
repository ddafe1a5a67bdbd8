#pragma once
// Kana as the input method hands it over: hiragana turned into the katakana
// of the same sound, and the test for a text made only of kana. The katakana
// mode of a field and the reading capture both rely on these.

#include <QString>
#include <QStringView>

namespace tessolo {

// Hiragana (with ゝ ゞ) to the full-width katakana of the same sound; every
// other character stays as it is.
QString hiraganaToKatakana(QStringView text);

// True for a non-empty text of hiragana, katakana (full or half width) and ー.
bool isKanaOnly(QStringView text);

} // namespace tessolo
