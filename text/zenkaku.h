#pragma once
// Half-width to full-width conversion of readings: ASCII to the full-width
// forms, the blank to U+3000, half-width katakana and punctuation to their
// full-width pairs with voiced and semi-voiced marks merged into one letter.
// Everything else (hiragana, kanji, text already full-width) is left alone.

#include <QString>

namespace tessolo {

class TCnvk2K {
public:
    QString ToZenkaku(const QString& value) const;
};

} // namespace tessolo
