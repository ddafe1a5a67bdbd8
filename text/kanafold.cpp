#include "text/kanafold.h"

#include <cstring>

namespace tessolo::kana {

namespace {
bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

int memcompare(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const int c = n ? std::memcmp(a.data(), b.data(), size_t(n)) : 0;
    if (c)
        return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int collate(void*, int alen, const void* a, int blen, const void* b)
{
    return compareReadings(QByteArrayView(static_cast<const char*>(a), alen),
                           QByteArrayView(static_cast<const char*>(b), blen));
}
} // namespace

unsigned foldCp932(unsigned c)
{
    // Hiragana ぁ 0x829F .. ん 0x82F1 and katakana ァ 0x8340 .. ン 0x8393 run
    // in the same order; the katakana skip the trail byte 0x7F.
    if (c < 0x829F || c > 0x82F1)
        return c;
    const unsigned k = 0x8340 + (c - 0x829F);
    return k >= 0x837F ? k + 1 : k;
}

QByteArray foldedBytes(QByteArrayView text)
{
    QByteArray out(text.data(), text.size());
    for (qsizetype i = 0; i < out.size(); ++i) {
        const auto lead = static_cast<unsigned char>(out[i]);
        if (!isLeadByte(lead) || i + 1 >= out.size())
            continue;
        const unsigned c = foldCp932((unsigned(lead) << 8) | static_cast<unsigned char>(out[i + 1]));
        out[i] = char(c >> 8);
        out[i + 1] = char(c & 0xFF);
        ++i;
    }
    return out;
}

int compareReadings(QByteArrayView a, QByteArrayView b)
{
    const int folded = memcompare(foldedBytes(a), foldedBytes(b));
    return folded ? folded : memcompare(a, b);
}

int registerKanaCollation(sqlite3* db)
{
    return sqlite3_create_collation_v2(db, kCollation, SQLITE_UTF8, nullptr, &collate, nullptr);
}

} // namespace tessolo::kana
