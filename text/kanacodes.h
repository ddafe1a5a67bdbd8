#pragma once
// Kana codes 0..56 select all customers, a kana row or a single kana by the
// beginning of the reading. The roster and the picker build their buttons and
// popup items from this one table.

#include <QString>
#include <QStringList>
#include <vector>

namespace tessolo::kana {

struct KanaCode {
    int code;             // 0..56
    QString objectName;   // btn_ALL, btnA, PM_aa, ...
    QString caption;      // 全表示, ア行, ア, ...
    QStringList patterns; // full-width katakana a reading may begin with
    int rowCode;          // code of the row button this item belongs to (itself for a row)
    QString menuName;     // popup menu of a row button (PM_A ...), empty otherwise
};

// All 57 codes in code order.
const std::vector<KanaCode>& codes();
// The row buttons in order (全表示 first), and the popup items of a row.
std::vector<const KanaCode*> rowButtons();
std::vector<const KanaCode*> popupItems(int rowCode);

} // namespace tessolo::kana
