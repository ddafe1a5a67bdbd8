#include "text/kanacodes.h"

namespace tessolo::kana {

namespace {

// One line per code, in code order. A row button names its popup menu; each
// pattern is one full-width katakana letter, so a pattern list is a string.
struct Entry {
    const char* objectName;
    const char16_t* caption;
    const char16_t* patterns;
    const char* menuName; // set for a row button only
};

constexpr Entry kEntries[] = {
    {"btn_ALL", u"全表示", u"", nullptr},
    {"btnA", u"ア行", u"アイウエオ", "PM_A"},
    {"PM_aa", u"ア", u"ア", nullptr},
    {"PM_i", u"イ", u"イ", nullptr},
    {"PM_u", u"ウ", u"ウ", nullptr},
    {"PM_e", u"エ", u"エ", nullptr},
    {"PM_o", u"オ", u"オ", nullptr},
    {"btnK", u"カ行", u"カキクケコガギグゲゴ", "PM_K"},
    {"PM_ka", u"カ", u"カガ", nullptr},
    {"PM_ki", u"キ", u"キギ", nullptr},
    {"PM_ku", u"ク", u"クグ", nullptr},
    {"PM_ke", u"ケ", u"ケゲ", nullptr},
    {"PM_ko", u"コ", u"コゴ", nullptr},
    {"btnS", u"サ行", u"サシスセソザジズゼゾ", "PM_S"},
    {"PM_sa", u"サ", u"サザ", nullptr},
    {"PM_si", u"シ", u"シジ", nullptr},
    {"PM_su", u"ス", u"スズ", nullptr},
    {"PM_se", u"セ", u"セゼ", nullptr},
    {"PM_so", u"ソ", u"ソゾ", nullptr},
    {"btnT", u"タ行", u"タチツテトダヂヅデド", "PM_T"},
    // タ alone does not take ダ, unlike the other single kana of its row.
    {"PM_ta", u"タ", u"タ", nullptr},
    {"PM_ti", u"チ", u"チヂ", nullptr},
    {"PM_tu", u"ツ", u"ツヅ", nullptr},
    {"PM_te", u"テ", u"テデ", nullptr},
    {"PM_to", u"ト", u"トド", nullptr},
    {"btnN", u"ナ行", u"ナニヌネノ", "PM_N"},
    {"PM_na", u"ナ", u"ナ", nullptr},
    {"PM_ni", u"ニ", u"ニ", nullptr},
    {"PM_nu", u"ヌ", u"ヌ", nullptr},
    {"PM_ne", u"ネ", u"ネ", nullptr},
    {"PM_no", u"ノ", u"ノ", nullptr},
    {"btnH", u"ハ行", u"ハヒフヘホバビブベボパピプペポ", "PM_H"},
    {"PM_ha", u"ハ", u"ハバパ", nullptr},
    {"PM_hi", u"ヒ", u"ヒビピ", nullptr},
    {"PM_hu", u"フ", u"フブプ", nullptr},
    // The caption is the hiragana へ; the patterns are katakana.
    {"PM_he", u"へ", u"ヘベペ", nullptr},
    {"PM_ho", u"ホ", u"ホボポ", nullptr},
    {"btnM", u"マ行", u"マミムメモ", "PM_M"},
    {"PM_ma", u"マ", u"マ", nullptr},
    {"PM_mi", u"ミ", u"ミ", nullptr},
    {"PM_mu", u"ム", u"ム", nullptr},
    {"PM_me", u"メ", u"メ", nullptr},
    {"PM_mo", u"モ", u"モ", nullptr},
    {"btnY", u"ヤ行", u"ヤユヨ", "PM_Y"},
    {"PM_ya", u"ヤ", u"ヤ", nullptr},
    {"PM_yu", u"ユ", u"ユ", nullptr},
    {"PM_yo", u"ヨ", u"ヨ", nullptr},
    {"btnR", u"ラ行", u"ラリルレロ", "PM_R"},
    {"PM_ra", u"ラ", u"ラ", nullptr},
    {"PM_ri", u"リ", u"リ", nullptr},
    {"PM_ru", u"ル", u"ル", nullptr},
    {"PM_re", u"レ", u"レ", nullptr},
    {"PM_ro", u"ロ", u"ロ", nullptr},
    {"btnW", u"ワ行", u"ワヲン", "PM_W"},
    {"PM_wa", u"ワ", u"ワ", nullptr},
    {"PM_wo", u"ヲ", u"ヲ", nullptr},
    {"PM_wn", u"ン", u"ン", nullptr},
};

std::vector<KanaCode> buildCodes()
{
    std::vector<KanaCode> codes;
    int rowCode = 0;
    for (const Entry& e : kEntries) {
        const int code = int(codes.size());
        if (e.menuName || code == 0)
            rowCode = code;
        QStringList patterns;
        for (QChar c : QString::fromUtf16(e.patterns))
            patterns << QString(c);
        codes.push_back({code, QString::fromLatin1(e.objectName), QString::fromUtf16(e.caption), patterns, rowCode,
                         e.menuName ? QString::fromLatin1(e.menuName) : QString()});
    }
    return codes;
}

} // namespace

const std::vector<KanaCode>& codes()
{
    static const std::vector<KanaCode> table = buildCodes();
    return table;
}

std::vector<const KanaCode*> rowButtons()
{
    std::vector<const KanaCode*> out;
    for (const KanaCode& k : codes()) {
        if (k.rowCode == k.code)
            out.push_back(&k);
    }
    return out;
}

std::vector<const KanaCode*> popupItems(int rowCode)
{
    std::vector<const KanaCode*> out;
    for (const KanaCode& k : codes()) {
        if (k.rowCode == rowCode && k.code != rowCode)
            out.push_back(&k);
    }
    return out;
}

} // namespace tessolo::kana
