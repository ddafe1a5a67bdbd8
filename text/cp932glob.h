#pragma once
// GLOB over code page 932 text. The stored readings are code page 932 bytes,
// but SQLite's own GLOB reads them as UTF-8: the trail byte of ゼ (0x83 0x5B)
// is '[' and opens a character class, so readings beginning with ゼ were never
// found. Each connection replaces glob() with this one, which steps over
// whole code page 932 characters in pattern and text alike.

#include <QByteArrayView>
#include <sqlite3.h>

namespace tessolo {

// SQLite's GLOB syntax (* ? [...] [^...] ranges), case-sensitive; hiragana
// and katakana match each other.
bool cp932Glob(QByteArrayView pattern, QByteArrayView text);

// Registers glob() on the connection.
int registerCp932Glob(sqlite3* db);

} // namespace tessolo
