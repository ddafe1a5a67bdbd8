#pragma once
// Code page 932 is the encoding of every stored text and of the CSV files the
// program reads. All conversion goes through glibc's iconv "CP932", which
// carries the exact Windows table (NEC and IBM extensions, U+FF5E <-> 0x8160);
// Qt's and ICU's Shift_JIS lack some of those mappings.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace tessolo::cp932 {

// A character code page 932 lacks becomes '?', and the rest still converts.
// When `substituted` is given it receives the number of characters replaced.
QByteArray encode(QStringView text, qsizetype* substituted = nullptr);

// Each byte that does not start a valid sequence decodes to U+FFFD; decoding
// goes on with the next byte, so nothing after a bad byte is lost.
QString decode(QByteArrayView bytes);

} // namespace tessolo::cp932
