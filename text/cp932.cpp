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
            throw std::runtime_error("iconv cannot convert between CP932 and UTF-16LE");
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

Converter& encoder()
{
    thread_local Converter c("CP932", "UTF-16LE");
    return c;
}

Converter& decoder()
{
    thread_local Converter c("UTF-16LE", "CP932");
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

// Encodes `text`, calling `lacking(at, width)` for every character the code
// page lacks (a surrogate pair counts as one character of width 2).
template <class Lacking> QByteArray encodeReporting(QStringView text, Lacking&& lacking)
{
    QByteArray out;
    if (text.isEmpty())
        return out;
    if (isAscii(text))
        return text.toLatin1();
    // A UTF-16 unit never needs more than two bytes of code page 932.
    out.resize(text.size() * 2);
    iconv_t cd = encoder().reset();

    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    char* in = const_cast<char*>(reinterpret_cast<const char*>(units));
    size_t inLeft = size_t(text.size()) * 2;
    char* dst = out.data();
    size_t outLeft = size_t(out.size());

    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG) // cannot happen with the size above; guard anyway
            throw std::runtime_error("code page 932 output buffer too small");
        // EILSEQ or EINVAL: a character the code page lacks, or a lone
        // surrogate. Replace exactly that character and go on.
        const qsizetype at = (reinterpret_cast<const char16_t*>(in) - units);
        qsizetype width = 1;
        if (isHighSurrogate(units[at]) && at + 1 < text.size() && isLowSurrogate(units[at + 1]))
            width = 2;
        *dst++ = '?';
        --outLeft;
        in += width * 2;
        inLeft -= size_t(width) * 2;
        lacking(at, width);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(dst - out.data());
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
    // Joined by a unit separator, which code page 932 keeps as the one byte
    // 0x1F and never uses inside a character (no trail byte is below 0x40).
    constexpr char16_t kApart = 0x1F;
    std::fill(substituted, substituted + count, 0);
    qsizetype total = count;
    for (qsizetype i = 0; i < count; ++i)
        total += values[i].size();
    QString joined;
    joined.reserve(total);
    QVarLengthArray<qsizetype, 32> starts(count);
    for (qsizetype i = 0; i < count; ++i) {
        if (values[i].contains(QChar(kApart))) {
            // A value holding the separator itself goes one by one.
            QByteArray out;
            for (qsizetype k = 0; k < count; ++k) {
                out += encode(values[k], &substituted[k]);
                ends[k] = out.size();
            }
            return out;
        }
        if (i)
            joined += QChar(kApart);
        starts[i] = joined.size();
        joined += values[i];
    }
    qsizetype value = 0;
    QByteArray out = encodeReporting(joined, [&](qsizetype at, qsizetype) {
        while (value + 1 < count && starts[value + 1] <= at)
            ++value;
        ++substituted[value];
    });
    // The separators taken out in place.
    char* data = out.data();
    const qsizetype n = out.size();
    qsizetype to = 0;
    qsizetype k = 0;
    for (qsizetype from = 0; from < n; ++from) {
        if (data[from] == char(kApart)) {
            ends[k++] = to;
            continue;
        }
        data[to++] = data[from];
    }
    out.truncate(to);
    for (; k < count; ++k)
        ends[k] = to;
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
    // One byte never yields more than one UTF-16 unit in the encodings read.
    QString out;
    out.resize(bytes.size() + 1);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    char* base = reinterpret_cast<char*>(out.data());
    char* dst = base;
    size_t outLeft = size_t(out.size()) * 2;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG)
            throw std::runtime_error("UTF-16 output buffer too small");
        // EILSEQ or EINVAL (a lead byte cut off at the end): this byte alone
        // becomes U+FFFD and decoding resumes at the next one, so a bad byte
        // never swallows the text after it.
        const char16_t replacement = 0xFFFD;
        memcpy(dst, &replacement, 2);
        dst += 2;
        outLeft -= 2;
        ++in;
        --inLeft;
        if (faults)
            ++*faults;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize((dst - base) / 2);
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
