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

// Whether a reading belongs to the kana row of `kanaCode`, as queryText's
// glob decides it in the file: for a list read whole from a server.
bool inKanaRow(int kanaCode, const QString& reading);
// Whether a reading begins with `typed`, as nameSearchText's glob decides it.
bool matchesNameSearch(const QString& typed, const QString& reading);

} // namespace tessolo::kana
