#include "text/zenkaku.h"

namespace tessolo {

namespace {

// Full-width counterparts of U+FF61..U+FF9F (half-width punctuation, katakana
// and the two sound marks), in code order.
constexpr char16_t kHalfKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, // ｡｢｣､･ｦｧｨ
    0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, // ｩｪｫｬｭｮｯｰ
    0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, // ｱｲｳｴｵｶｷｸ
    0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, // ｹｺｻｼｽｾｿﾀ
    0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, // ﾁﾂﾃﾄﾅﾆﾇﾈ
    0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, // ﾉﾊﾋﾌﾍﾎﾏﾐ
    0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9, 0x30EA, // ﾑﾒﾓﾔﾕﾖﾗﾘ
    0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,         // ﾙﾚﾛﾜﾝﾞﾟ
};
static_assert(sizeof(kHalfKana) / sizeof(kHalfKana[0]) == 0xFF9F - 0xFF61 + 1);

constexpr char16_t kVoicedMark = 0xFF9E;
constexpr char16_t kSemiVoicedMark = 0xFF9F;

// The full-width letter a half-width letter becomes with ﾞ, or 0.
char16_t voiced(char16_t full)
{
    if (full == 0x30A6) // ｳﾞ
        return 0x30F4;
    if ((full >= 0x30AB && full <= 0x30C2 && (full - 0x30AB) % 2 == 0)     // カ..チ
        || (full >= 0x30C4 && full <= 0x30C8 && (full - 0x30C4) % 2 == 0)) // ツ テ ト
        return full + 1;
    if (full >= 0x30CF && full <= 0x30DB && (full - 0x30CF) % 3 == 0) // ハ ヒ フ ヘ ホ
        return full + 1;
    return 0;
}

// The full-width letter a half-width letter becomes with ﾟ, or 0.
char16_t semiVoiced(char16_t full)
{
    if (full >= 0x30CF && full <= 0x30DB && (full - 0x30CF) % 3 == 0)
        return full + 2;
    return 0;
}

} // namespace

QString TCnvk2K::ToZenkaku(const QString& value) const
{
    // Marks merge with the letter before them, so the result may be shorter:
    // it is measured as it is built, never assumed to match the input.
    QString out;
    out.reserve(value.size());
    const qsizetype n = value.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = value[i].unicode();
        if (c == 0x0020) {
            out += QChar(0x3000);
        } else if (c >= 0x0021 && c <= 0x007E) {
            out += QChar(char16_t(c + 0xFEE0));
        } else if (c >= 0xFF61 && c <= 0xFF9F) {
            const char16_t full = kHalfKana[c - 0xFF61];
            if (i + 1 < n && c < kVoicedMark) {
                const char16_t next = value[i + 1].unicode();
                const char16_t merged = next == kVoicedMark ? voiced(full)
                    : next == kSemiVoicedMark               ? semiVoiced(full)
                                                            : 0;
                if (merged) {
                    out += QChar(merged);
                    ++i;
                    continue;
                }
            }
            out += QChar(full);
        } else {
            out += QChar(c);
        }
    }
    return out;
}

} // namespace tessolo
