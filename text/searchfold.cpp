#include "text/searchfold.h"

#include "text/zenkaku.h"

namespace tessolo {

namespace {

bool isHalfWidthKana(char16_t c) { return c >= 0xFF61 && c <= 0xFF9F; }
bool isHiragana(char16_t c) { return (c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E; }

// Dashes a keyboard, a spreadsheet or an input method puts where a hyphen is meant.
bool isDash(char16_t c)
{
    return c == 0x2010 || c == 0x2011 || c == 0x2012 || c == 0x2013 || c == 0x2014 || c == 0x2015 || c == 0x2212;
}

char16_t foldChar(char16_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? char16_t(c + 0x20) : c;
    if (c >= 0xFF01 && c <= 0xFF5E)
        return foldChar(char16_t(c - 0xFEE0));
    if (c == 0x3000)
        return u' ';
    if (isHiragana(c))
        return char16_t(c + 0x60);
    if (isDash(c))
        return u'-';
    return QChar(c).toLower().unicode();
}

} // namespace

QString foldForSearch(QStringView text)
{
    QString wide;
    for (QChar ch : text) {
        if (isHalfWidthKana(ch.unicode())) {
            // The widening merges ｶﾞ into ガ; its widened ASCII folds back below.
            wide = TCnvk2K().ToZenkaku(text.toString());
            text = wide;
            break;
        }
    }
    QString out(text.size(), Qt::Uninitialized);
    QChar* o = out.data();
    for (QChar ch : text)
        *o++ = QChar(foldChar(ch.unicode()));
    return out;
}

QString phoneDigits(QStringView folded)
{
    QString out;
    out.reserve(folded.size());
    for (QChar ch : folded) {
        const char16_t c = ch.unicode();
        if (c == u'-' || c == u' ' || c == u'(' || c == u')' || c == 0x30FC || c == 0xFF70)
            continue;
        out += ch;
    }
    return out;
}

} // namespace tessolo
