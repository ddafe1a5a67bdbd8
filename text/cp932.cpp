#include "text/cp932.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

namespace tessolo::cp932 {

namespace {

// iconv_open is costly next to converting one short field, so each thread
// keeps one descriptor per direction and resets its shift state per call.
class Converter {
public:
    Converter(const char* to, const char* from)
        : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert between CP932 and WCHAR_T");
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    iconv_t reset()
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        return m_cd;
    }

private:
    iconv_t m_cd;
};

// Through glibc's own wide form (WCHAR_T, one 32-bit unit per character):
// the converter's table in one step, where UTF-16 costs a second module
// as long again as the table itself.
Converter& encoder()
{
    thread_local Converter c("CP932", "WCHAR_T");
    return c;
}

Converter& decoder()
{
    thread_local Converter c("WCHAR_T", "CP932");
    return c;
}

// Code page 932 keeps ASCII as it is (0x5C and 0x7E included, in the table
// iconv uses), so plain ASCII skips the converter: most cells and fields are.
bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool isAscii(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Whether a surrogate pair (one character of two units) starts at text[i].
bool pairAt(QStringView text, qsizetype i)
{
    return isHighSurrogate(text[i].unicode()) && i + 1 < text.size() && isLowSurrogate(text[i + 1].unicode());
}

using WideText = QVarLengthArray<wchar_t, 512>;

// Appends `text` to `wide`, one unit per character; a lone surrogate stays
// itself, which the converter refuses like any character the code page
// lacks.
void appendWide(WideText& wide, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (pairAt(text, i)) {
            wide.append(wchar_t(QChar::surrogateToUcs4(text[i], text[i + 1])));
            ++i;
        } else {
            wide.append(wchar_t(text[i].unicode()));
        }
    }
}

// Where the character `index` of `text` (as appendWide counts) starts, and
// how many units it takes; only asked of the rare lacking character.
std::pair<qsizetype, qsizetype> unitsOf(QStringView text, qsizetype index)
{
    qsizetype i = 0;
    for (; index > 0; --index)
        i += pairAt(text, i) ? 2 : 1;
    return {i, pairAt(text, i) ? 2 : 1};
}

// Converts `wide` to code page 932 at the end of `out`, calling
// `lacking(index)` for each character the code page lacks, which becomes '?'.
template <class Lacking> void encodeWide(const WideText& wide, QByteArray& out, Lacking&& lacking)
{
    const qsizetype from = out.size();
    // A character never needs more than two bytes of code page 932.
    out.resize(from + wide.size() * 2);
    iconv_t cd = encoder().reset();
    char* in = const_cast<char*>(reinterpret_cast<const char*>(wide.constData()));
    size_t inLeft = size_t(wide.size()) * sizeof(wchar_t);
    char* dst = out.data() + from;
    size_t outLeft = size_t(wide.size()) * 2;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG) // cannot happen with the size above; guard anyway
            throw std::runtime_error("code page 932 output buffer too small");
        // EILSEQ or EINVAL: a character the code page lacks, or a lone
        // surrogate. Replace exactly that character and go on.
        lacking(reinterpret_cast<const wchar_t*>(in) - wide.constData());
        *dst++ = '?';
        --outLeft;
        in += sizeof(wchar_t);
        inLeft -= sizeof(wchar_t);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(dst - out.constData());
}

// Encodes `text`, calling `lacking(at, width)` for every character the code
// page lacks (a surrogate pair counts as one character of width 2).
template <class Lacking> QByteArray encodeReporting(QStringView text, Lacking&& lacking)
{
    QByteArray out;
    if (text.isEmpty())
        return out;
    if (isAscii(text))
        return text.toLatin1();
    WideText wide;
    appendWide(wide, text);
    encodeWide(wide, out, [&](qsizetype index) {
        const auto [at, width] = unitsOf(text, index);
        lacking(at, width);
    });
    return out;
}

} // namespace

QByteArray encode(QStringView text, qsizetype* substituted)
{
    if (substituted)
        *substituted = 0;
    return encodeReporting(text, [substituted](qsizetype, qsizetype) {
        if (substituted)
            ++*substituted;
    });
}

QByteArray encodeEach(const QString* values, qsizetype count, qsizetype* ends, qsizetype* substituted)
{
    // The values that need the converter go through it in one call, joined
    // by a unit separator, which code page 932 keeps as the one byte 0x1F
    // and never uses inside a character (no trail byte is below 0x40). ASCII
    // values (numbers, mail, web) are their own bytes and stay out of it.
    constexpr char16_t kApart = 0x1F;
    std::fill(substituted, substituted + count, 0);
    QVarLengthArray<bool, 32> ascii(count);
    QVarLengthArray<qsizetype, 32> firstWide(count); // where each converted value starts in `wide`
    WideText wide;
    qsizetype asciiSize = 0;
    for (qsizetype i = 0; i < count; ++i) {
        ascii[i] = isAscii(values[i]);
        if (ascii[i]) {
            asciiSize += values[i].size();
            continue;
        }
        if (values[i].contains(QChar(kApart))) {
            // A value holding the separator itself goes one by one.
            QByteArray out;
            for (qsizetype k = 0; k < count; ++k) {
                out += encode(values[k], &substituted[k]);
                ends[k] = out.size();
            }
            return out;
        }
        if (!wide.isEmpty())
            wide.append(wchar_t(kApart));
        firstWide[i] = wide.size();
        appendWide(wide, values[i]);
    }
    QByteArray encoded;
    encodeWide(wide, encoded, [&](qsizetype index) {
        qsizetype owner = -1;
        for (qsizetype i = 0; i < count; ++i) {
            if (!ascii[i] && firstWide[i] <= index)
                owner = i;
        }
        ++substituted[owner];
    });
    QByteArray out(asciiSize + encoded.size(), Qt::Uninitialized);
    char* to = out.data();
    const char* next = encoded.constData();
    const char* const end = next + encoded.size();
    for (qsizetype i = 0; i < count; ++i) {
        if (ascii[i]) {
            for (QChar c : values[i])
                *to++ = char(c.unicode());
        } else {
            const char* apart = static_cast<const char*>(memchr(next, kApart, size_t(end - next)));
            const char* stop = apart ? apart : end;
            memcpy(to, next, size_t(stop - next));
            to += stop - next;
            next = apart ? apart + 1 : end;
        }
        ends[i] = to - out.constData();
    }
    out.truncate(to - out.constData());
    return out;
}

QStringList unencodable(QStringView text)
{
    QStringList lacking;
    encodeReporting(text, [&](qsizetype at, qsizetype width) {
        const QString ch = text.mid(at, width).toString();
        if (!lacking.contains(ch))
            lacking << ch;
    });
    return lacking;
}

QByteArray canonical(QByteArrayView bytes)
{
    // The rows holding the second codes: NEC row 13 (0x87), NEC-selected IBM
    // extensions (0xED, 0xEE) and IBM extensions (0xFA to 0xFC). A trail
    // byte of the same value only costs a needless round trip.
    const bool mayHaveTwin = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b == 0x87 || b == 0xED || b == 0xEE || b >= 0xFA;
    });
    if (!mayHaveTwin)
        return bytes.toByteArray();
    return encode(decode(bytes));
}

QString iconvToUtf16(iconv_t cd, QByteArrayView bytes, qsizetype* faults)
{
    // One byte never yields more than one character in the encodings read.
    QVarLengthArray<wchar_t, 512> wide(bytes.size() + 1);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    char* base = reinterpret_cast<char*>(wide.data());
    char* dst = base;
    size_t outLeft = size_t(wide.size()) * sizeof(wchar_t);
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG)
            throw std::runtime_error("wide output buffer too small");
        // EILSEQ or EINVAL (a lead byte cut off at the end): this byte alone
        // becomes U+FFFD and decoding resumes at the next one, so a bad byte
        // never swallows the text after it.
        const wchar_t replacement = 0xFFFD;
        memcpy(dst, &replacement, sizeof replacement);
        dst += sizeof replacement;
        outLeft -= sizeof replacement;
        ++in;
        --inLeft;
        if (faults)
            ++*faults;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    const qsizetype count = (dst - base) / qsizetype(sizeof(wchar_t));
    QString out(count * 2, Qt::Uninitialized);
    char16_t* to = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < count; ++i) {
        const char32_t c = char32_t(wide[i]);
        if (QChar::requiresSurrogates(c)) {
            *to++ = QChar::highSurrogate(c);
            *to++ = QChar::lowSurrogate(c);
        } else {
            *to++ = char16_t(c);
        }
    }
    out.truncate(to - reinterpret_cast<char16_t*>(out.data()));
    return out;
}

QString decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString();
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QString out = iconvToUtf16(decoder().reset(), bytes, nullptr);
    // 0x8160 is the JIS wave dash; Windows reads it as U+FF5E, but the
    // input methods here type U+301C, and a name must come back as typed.
    // Both encode to 0x8160 again, so the file stays exactly as Windows wrote it.
    out.replace(QChar(0xFF5E), QChar(0x301C));
    return out;
}

} // namespace tessolo::cp932
