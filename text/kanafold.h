#pragma once
// A reading typed by hand in hiragana (やまだ) stands for the katakana the
// input method would have given (ヤマダ). The stored text stays as typed; the
// kana buttons' glob and the list order read each hiragana as its katakana.

#include <QByteArray>
#include <QByteArrayView>
#include <sqlite3.h>

namespace tessolo::kana {

// The code page 932 character `c` (lead byte << 8 | trail byte, or a single
// byte) with ぁ..ん taken as ァ..ン; every other character unchanged.
unsigned foldCp932(unsigned c);

// The code page 932 bytes with every hiragana replaced by its katakana.
QByteArray foldedBytes(QByteArrayView text);

// The collation used to order readings: by the folded bytes, and, where those
// are equal, by the stored bytes (hiragana first), so the order is total.
int compareReadings(QByteArrayView a, QByteArrayView b);

// Registers that collation on the connection under kCollation.
int registerKanaCollation(sqlite3* db);
inline constexpr const char* kCollation = "kana";

} // namespace tessolo::kana
