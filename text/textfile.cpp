#include "text/textfile.h"

#include "text/cp932.h"
#include "data/errors.h"

#include <QBuffer>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace tessolo {

namespace {
constexpr qsizetype kChunk = qsizetype(64) * 1024;
constexpr char kCtrlZ = 26;

// How many bytes from p[i] on are ASCII other than NUL, in steps of eight
// (lists are mostly numbers, mail and web addresses): none of them is a
// fault or a character of its own in any encoding the counts below read.
qsizetype plainAsciiRun(const unsigned char* p, qsizetype i, qsizetype n)
{
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kHighs = 0x8080808080808080ull;
    const qsizetype from = i;
    while (i + 8 <= n) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        // A high bit set, or a zero byte (the classic test for one).
        if ((w & kHighs) != 0 || ((w - kOnes) & ~w & kHighs) != 0)
            break;
        i += 8;
    }
    return i - from;
}

struct Utf8Count {
    qsizetype good = 0; // non-ASCII characters
    qsizetype bad = 0;  // sequences that are no character
};

// The length of the UTF-8 character at p[i], or 0 when none starts there.
int utf8Length(const unsigned char* p, qsizetype i, qsizetype n)
{
    const unsigned c = p[i];
    int len;
    unsigned cp;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > n)
        return 0;
    for (int k = 1; k < len; ++k) {
        if ((p[i + k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

// With `decideOnly` the count stops once the rest of the bytes could no
// longer make it UTF-8 by the rule detectEncoding applies (each character
// still to come takes two bytes at least).
Utf8Count countUtf8(QByteArrayView b, bool decideOnly = false)
{
    Utf8Count count;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data());
    const qsizetype n = b.size();
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            count.bad += p[i] == 0;
            ++i;
            i += plainAsciiRun(p, i, n);
            continue;
        }
        const int len = utf8Length(p, i, n);
        if (len == 0) {
            ++count.bad;
            if (decideOnly && 10 * count.bad > count.good + (n - i) / 2)
                return count;
            ++i;
            // The rest of a broken sequence is part of the same fault.
            while (i < n && (p[i] & 0xC0) == 0x80)
                ++i;
            continue;
        }
        ++count.good;
        i += len;
    }
    return count;
}

bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool isTrailByte(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// Sequences that cannot be code page 932 characters by their form: a lead
// byte without its trail byte, a byte that leads nothing, NUL.
qsizetype countCp932Faults(QByteArrayView b)
{
    qsizetype bad = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data());
    const qsizetype n = b.size();
    for (qsizetype i = 0; i < n; ++i) {
        i += plainAsciiRun(p, i, n);
        if (i >= n)
            break;
        const unsigned char c = p[i];
        if (c == 0 || c == 0x80 || c == 0xA0 || c >= 0xFD) {
            ++bad;
        } else if (isLeadByte(c)) {
            if (i + 1 < n && isTrailByte(p[i + 1]))
                ++i;
            else
                ++bad;
        }
    }
    return bad;
}

struct EucCount {
    qsizetype chars = 0; // non-ASCII characters
    qsizetype kana = 0;  // of them hiragana and katakana (rows 0xA4 and 0xA5)
    qsizetype bad = 0;   // 1 at the first fault, where counting stops
};

bool isEucByte(unsigned char b) { return b >= 0xA1 && b <= 0xFE; }

EucCount countEucJp(QByteArrayView b)
{
    EucCount count;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data());
    const qsizetype n = b.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            count.bad += c == 0;
            ++i;
        } else if (c == 0x8E && i + 1 < n && p[i + 1] >= 0xA1 && p[i + 1] <= 0xDF) {
            ++count.chars;
            i += 2;
        } else if (c == 0x8F && i + 2 < n && isEucByte(p[i + 1]) && isEucByte(p[i + 2])) {
            ++count.chars;
            i += 3;
        } else if (isEucByte(c) && i + 1 < n && isEucByte(p[i + 1])) {
            ++count.chars;
            count.kana += c == 0xA4 || c == 0xA5;
            i += 2;
        } else {
            // One fault is enough to rule EUC-JP out.
            ++count.bad;
            return count;
        }
    }
    return count;
}

// Converts with iconv, one U+FFFD for each byte it cannot read.
QString iconvDecode(QByteArrayView bytes, const char* from, qsizetype* faults)
{
    iconv_t cd = iconv_open("WCHAR_T", from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open("WCHAR_T", "EUC-JP");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw EFileError(QStringLiteral("EUC-JP のファイルを読むための変換がありません。"));
    const std::unique_ptr<void, int (*)(iconv_t)> closer(cd, iconv_close);
    return cp932::iconvToUtf16(cd, bytes, faults);
}

} // namespace

bool hasUtf8Bom(QByteArrayView bytes) { return bytes.startsWith("\xEF\xBB\xBF"); }

bool hasUtf16Bom(QByteArrayView bytes) { return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"); }

TextEncoding detectEncoding(QByteArrayView bytes)
{
    if (hasUtf8Bom(bytes))
        return TextEncoding::Utf8;
    if (hasUtf16Bom(bytes))
        return TextEncoding::Utf16;
    // Only what the reader will read counts: Ctrl+Z ends the file.
    const qsizetype end = bytes.indexOf(kCtrlZ);
    const QByteArrayView read = end < 0 ? bytes : bytes.first(end);
    const Utf8Count count = countUtf8(read, true);
    if (count.good > 0 && count.good >= 10 * count.bad)
        return TextEncoding::Utf8;
    const EucCount euc = countEucJp(read);
    if (euc.bad == 0 && euc.chars > 0 && (euc.kana > 0 || countCp932Faults(read) > 0))
        return TextEncoding::EucJp;
    return TextEncoding::Cp932;
}

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Cp932: return QStringLiteral("シフトJIS（コードページ 932）");
    case TextEncoding::Utf8: return QStringLiteral("UTF-8");
    case TextEncoding::Utf16: return QStringLiteral("UTF-16");
    case TextEncoding::EucJp: return QStringLiteral("EUC-JP");
    }
    return {};
}

QByteArray toUtf8(QByteArrayView bytes, TextEncoding encoding, qsizetype* faults)
{
    qsizetype none = 0;
    if (!faults)
        faults = &none;
    *faults = 0;
    QString text;
    if (encoding == TextEncoding::Utf16) {
        // Without a byte-order mark the order Windows writes, low byte first.
        const bool bigEndian = bytes.startsWith("\xFE\xFF");
        if (hasUtf16Bom(bytes))
            bytes = bytes.sliced(2);
        QStringDecoder decoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                               QStringConverter::Flag::Stateless);
        text = decoder(bytes);
        *faults = text.count(QChar::ReplacementCharacter);
    } else if (encoding == TextEncoding::EucJp) {
        text = iconvDecode(bytes, "EUC-JP-MS", faults);
    } else if (encoding == TextEncoding::Cp932) {
        *faults = countCp932Faults(bytes);
        text = cp932::decode(bytes);
    } else {
        if (hasUtf8Bom(bytes))
            bytes = bytes.sliced(3);
        *faults = countUtf8(bytes).bad;
        return bytes.toByteArray();
    }
    return text.toUtf8();
}

TLineReader::TLineReader(QIODevice& device)
    : m_device(device)
{ }

bool TLineReader::fill()
{
    if (m_end)
        return false;
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + kChunk);
    const qint64 got = m_device.read(m_buffer.data() + old, kChunk);
    if (got < 0) {
        m_buffer.resize(old);
        throw EFileError(QStringLiteral("ファイルを読み込めません: %1").arg(m_device.errorString()));
    }
    m_buffer.resize(old + got);
    if (got == 0) {
        m_end = true;
        return false;
    }
    return true;
}

bool TLineReader::next(QByteArray& line)
{
    // Emptied, not freed: the caller's buffer serves line after line.
    line.truncate(0);
    // A UTF-8 byte-order mark is not part of the first line: left there, it
    // would hide the blanks and line ends behind it from the skipping below.
    // Its bytes cannot begin code page 932 text (0xEF leads no character).
    if (!m_bomChecked) {
        m_bomChecked = true;
        while (m_buffer.size() - m_pos < 3 && fill()) { }
        if (hasUtf8Bom(QByteArrayView(m_buffer).sliced(m_pos))) {
            m_pos += 3;
            m_consumed += 3;
        }
    }
    // Skip every byte <= 32 before the line; Ctrl+Z ends the file.
    for (;;) {
        if (m_pos >= m_buffer.size() && !fill())
            return false;
        const auto b = static_cast<unsigned char>(m_buffer[m_pos]);
        if (b == kCtrlZ) {
            m_end = true;
            m_buffer.clear();
            m_pos = 0;
            return false;
        }
        if (b > 32)
            break;
        ++m_pos;
        ++m_consumed;
    }
    // The line runs to LF (not part of it); every CR inside it is dropped,
    // which makes CR LF end a line and a lone CR vanish.
    for (;;) {
        if (m_pos >= m_buffer.size() && !fill())
            return true;
        const char* data = m_buffer.constData();
        const qsizetype n = m_buffer.size();
        qsizetype i = m_pos;
        while (i < n && data[i] != '\n' && data[i] != '\r' && data[i] != kCtrlZ)
            ++i;
        line.append(data + m_pos, i - m_pos);
        if (line.size() > kMaxLineBytes)
            throw EFileError(lineTooLongMessage());
        m_consumed += i - m_pos;
        m_pos = i;
        if (i >= n)
            continue;
        const char stop = data[i];
        if (stop == kCtrlZ) {
            m_end = true;
            m_buffer.clear();
            m_pos = 0;
            return true;
        }
        ++m_pos;
        ++m_consumed;
        if (stop == '\n')
            return true;
    }
}

QList<QByteArray> readLines(QByteArrayView bytes)
{
    QByteArray copy(bytes.data(), bytes.size());
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    TLineReader reader(buffer);
    QList<QByteArray> lines;
    QByteArray line;
    while (reader.next(line))
        lines << line;
    return lines;
}

QString decodeLine(QByteArrayView line, TextEncoding encoding)
{
    QString text;
    if (encoding == TextEncoding::Cp932) {
        text = cp932::decode(line);
    } else {
        if (hasUtf8Bom(line))
            line = line.sliced(3);
        text = QString::fromUtf8(line);
    }
    // Both decoders give U+FFFD for what is no character.
    text.replace(QChar::ReplacementCharacter, QLatin1Char('?'));
    text.replace(QChar(0), QLatin1Char('?'));
    return text;
}

qsizetype invalidSequences(QByteArrayView line, TextEncoding encoding)
{
    if (encoding == TextEncoding::Cp932)
        return countCp932Faults(line);
    const Utf8Count count = countUtf8(line);
    // A source converted to UTF-8 on reading marks what it could not read.
    qsizetype marks = 0;
    for (qsizetype at = line.indexOf("\xEF\xBF\xBD"); at >= 0; at = line.indexOf("\xEF\xBF\xBD", at + 3))
        ++marks;
    return count.bad + marks;
}

QString lineTooLongMessage()
{
    return QStringLiteral("1 行が %1 MB を超えています。テキストの CSV ファイルではないようです。\n"
                          "何も取り込んでいません。")
        .arg(kMaxLineBytes / (qsizetype{1024} * 1024));
}

} // namespace tessolo
