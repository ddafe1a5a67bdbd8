#include "text/katakana.h"

namespace tessolo {

namespace {
bool isHiragana(char16_t c) { return (c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E; }
bool isKatakana(char16_t c) { return (c >= 0x30A1 && c <= 0x30FA) || c == 0x30FD || c == 0x30FE; }
bool isHalfKatakana(char16_t c) { return c >= 0xFF66 && c <= 0xFF9F; }
constexpr char16_t kLongVowel = 0x30FC; // ー
} // namespace

QString hiraganaToKatakana(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        out.append(isHiragana(c) ? QChar(char16_t(c + 0x60)) : ch);
    }
    return out;
}

bool isKanaOnly(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (!isHiragana(c) && !isKatakana(c) && !isHalfKatakana(c) && c != kLongVowel)
            return false;
    }
    return true;
}

} // namespace tessolo
