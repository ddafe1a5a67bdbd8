#pragma once
// The kana-row query the roster and the picker share, built from the kana
// table's patterns.

#include "text/kanacodes.h"

#include <QString>

namespace tessolo::kana {

// The kana-row query; a code outside 1..56 adds no condition.
QString queryText(int kanaCode);

// The picker's reading-prefix search; the typed text is carried with its
// single quotes doubled.
QString nameSearchText(const QString& typed);

} // namespace tessolo::kana
