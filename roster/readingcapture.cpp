#include "roster/readingcapture.h"

#include "text/katakana.h"
#include "text/zenkaku.h"

namespace tessolo::roster {

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
    if (text.isEmpty()) {
        m_emptied = true;
        return;
    }
    if (m_emptied)
        m_reading.clear(); // a new composition: the emptied one was cancelled
    m_emptied = false;
    if (isKanaOnly(text))
        m_reading = text;
}

QString TReadingTracker::commit(const QString& text)
{
    QString reading = isKanaOnly(text) ? text : m_reading;
    m_reading.clear();
    m_emptied = false;
    return reading;
}

} // namespace tessolo::roster
