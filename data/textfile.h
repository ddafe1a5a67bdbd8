#pragma once
// The text-file reading shared by the postal data update and the CSV import.
// Before each line every byte <= 32 is skipped (so blank lines never make a
// line), a line ends at LF or CR LF, a lone CR is dropped, byte 26 ends the
// file, and lines have no length limit. Lines come back as raw bytes: they are
// decoded after they are read.

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

namespace tessolo {

enum class TextEncoding { Cp932, Utf8 };

// UTF-8 when the bytes start with the byte-order mark, or are wholly valid
// UTF-8 holding at least one non-ASCII byte; code page 932 otherwise.
TextEncoding detectEncoding(QByteArrayView bytes);
bool hasUtf8Bom(QByteArrayView bytes);

class LineReader {
public:
    explicit LineReader(QIODevice& device);
    // False when there are no more lines. Throws EFileError on a read error.
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
QString decodeLine(QByteArrayView line, TextEncoding encoding);

} // namespace tessolo
