#pragma once
// Code page 932 is the encoding of every stored text and of the CSV files the
// program reads. All conversion goes through glibc's iconv "CP932", which
// carries the exact Windows table (NEC and IBM extensions, U+FF5E <-> 0x8160);
// Qt's and ICU's Shift_JIS lack some of those mappings.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <iconv.h>

namespace tessolo::cp932 {

// A character code page 932 lacks becomes '?', and the rest still converts.
// When `substituted` is given it receives the number of characters replaced.
QByteArray encode(QStringView text, qsizetype* substituted = nullptr);

// Several values in one conversion, as encode() gives each (a call of the
// converter costs far more than a short value): their bytes one after the
// other, value i ending at ends[i]; substituted[i] counts the characters of
// value i that became '?'.
QByteArray encodeEach(const QString* values, qsizetype count, qsizetype* ends, qsizetype* substituted);

// The characters of `text` that code page 932 lacks (what encode() would turn
// into '?'), each once, in the order they first appear; a character outside
// the BMP is one entry of two UTF-16 units. Empty when the text converts
// whole. For telling the user which characters cannot be kept.
QStringList unencodable(QStringView text);

// Some characters have two codes (NEC-selected and IBM extensions, NEC row
// 13 against JIS: 髙 0xED 0xF7 / 0xFB 0xFC, 﨑, ∵, ≒ …). encode() gives the
// one code Windows writes for each, so text stored through it has one byte
// form per character; canonical() brings bytes written elsewhere (an older
// file, a row stored before) to that same form. Bytes without a lead byte
// of those rows come back as they are.
QByteArray canonical(QByteArrayView bytes);

// Each byte that does not start a valid sequence decodes to U+FFFD; decoding
// goes on with the next byte, so nothing after a bad byte is lost.
QString decode(QByteArrayView bytes);

// What an open iconv conversion to WCHAR_T makes of `bytes`, by the same
// rule: each byte it cannot read is one U+FFFD, counted in `faults` when given.
QString iconvToUtf16(iconv_t cd, QByteArrayView bytes, qsizetype* faults);

} // namespace tessolo::cp932
