#include "roster/readingcapture.h"

#include "text/zenkaku.h"

namespace tessolo::roster {

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

QString readingForField(const QString& raw)
{
    QString s = hiraganaToKatakana(raw);
    // Trim every character at or below U+0020 on both ends.
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 0x20)
        --e;
    return TCnvk2K().ToZenkaku(s.mid(b, e - b));
}

void TReadingTracker::preedit(const QString& text)
{
    if (isKanaOnly(text))
        m_reading = text;
}

QString TReadingTracker::commit(const QString& text)
{
    QString reading = isKanaOnly(text) ? text : m_reading;
    m_reading.clear();
    return reading;
}

} // namespace tessolo::roster
