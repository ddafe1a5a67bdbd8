#pragma once
// The text-file reading shared by the postal data update and the CSV import.
// Before each line every byte <= 32 is skipped (so blank lines never make a
// line), a line ends at LF or CR LF, a lone CR is dropped, byte 26 ends the
// file. A line longer than kMaxLineBytes is no line of a text file (a binary
// file chosen by mistake): reading stops there with an error. Lines come back
// as raw bytes: they are decoded after they are read.

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

namespace tessolo {

// The encodings a customer list comes in. UTF-16 is read only with its
// byte-order mark (either order); without one it looks like binary data.
enum class TextEncoding { Cp932, Utf8, Utf16, EucJp };

// UTF-16 when the bytes start with its byte-order mark; UTF-8 when they
// start with that byte-order mark, or are UTF-8 but for a stray bad byte here
// and there (at least ten good non-ASCII characters to each bad sequence);
// EUC-JP when they read as EUC-JP without a fault and either do not read as
// code page 932 or hold EUC-JP's kana (which read as code page 932 would be
// rows of half-width katakana); code page 932 otherwise. Code page 932 text
// read as UTF-8 is bad nearly everywhere, so one bad byte in a UTF-8 file no
// longer makes the whole file code page 932.
TextEncoding detectEncoding(QByteArrayView bytes);
bool hasUtf8Bom(QByteArrayView bytes);
bool hasUtf16Bom(QByteArrayView bytes);

// The name the import window shows for an encoding.
QString encodingName(TextEncoding encoding);

// The whole of `bytes`, read in `encoding`, as UTF-8 without byte-order mark
// (for UTF-16 and EUC-JP, which the line reader cannot split as they are).
// Each byte sequence that is no character becomes U+FFFD; `faults` receives
// how many there were.
QByteArray toUtf8(QByteArrayView bytes, TextEncoding encoding, qsizetype* faults = nullptr);

inline constexpr qsizetype kMaxLineBytes = qsizetype{1024} * 1024;

// The message a line longer than kMaxLineBytes stops the reading with.
QString lineTooLongMessage();

class TLineReader {
public:
    explicit TLineReader(QIODevice& device);
    // False when there are no more lines. Throws EFileError on a read error
    // and on a line longer than kMaxLineBytes.
    bool next(QByteArray& line);
    // Bytes consumed from the device so far (for progress).
    qint64 position() const { return m_consumed; }

private:
    bool fill();
    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_consumed = 0;
    bool m_end = false;
    bool m_bomChecked = false;
};

// Splits a whole buffer the same way (tests and fuzzing use this).
QList<QByteArray> readLines(QByteArrayView bytes);

// Decodes one line in the given encoding (a UTF-8 byte-order mark is dropped).
// Bytes that are no character of the encoding, and NUL bytes (which would
// end the stored text early), become '?'.
QString decodeLine(QByteArrayView line, TextEncoding encoding);

// How many byte sequences of `line` are no character of the encoding (NUL
// included); 0 when the line can be stored as it is.
qsizetype invalidSequences(QByteArrayView line, TextEncoding encoding);

} // namespace tessolo
