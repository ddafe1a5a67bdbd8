#pragma once
// A text file the bulk loads read: its bytes, held whole (the encoding is
// decided from all of them), and the encoding they are decoded in. A
// compressed file is read only where the caller expects one (the postal list
// the program ships), unpacked as it is read and only up to a limit; any
// other is refused before its size is trusted for anything. A file in UTF-16
// or EUC-JP is held converted to UTF-8, which the line reader splits as it
// splits the others.

#include "text/textfile.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace tessolo {

enum class Compressed { Refused, Unpacked };

class TTextSource {
public:
    // Unpacked, a compressed file yields at most this many bytes.
    // The national list unpacks to about 12 MB.
    static constexpr qint64 kMaxUnpacked = qint64(64) << 20;

    // Throws EFileError naming the file when it cannot be opened or read, or
    // when it is compressed and `compressed` refuses it (or it unpacks to
    // more than kMaxUnpacked). Without `encoding` it is detected from the
    // bytes.
    explicit TTextSource(const QString& fileName, std::optional<TextEncoding> encoding = std::nullopt,
                         Compressed compressed = Compressed::Refused);

    QByteArray& bytes() { return m_bytes; }
    // The encoding of bytes(), in which the lines are decoded.
    TextEncoding encoding() const { return m_encoding; }
    // The encoding the file was read in.
    TextEncoding fileEncoding() const { return m_fileEncoding; }
    qint64 size() const { return m_bytes.size(); }
    // Byte sequences that are no character of the file's encoding.
    qsizetype faults() const { return invalidSequences(m_bytes, m_encoding); }

private:
    void decode(std::optional<TextEncoding> encoding);
    QByteArray m_bytes;
    TextEncoding m_encoding = TextEncoding::Cp932;
    TextEncoding m_fileEncoding = TextEncoding::Cp932;
};

} // namespace tessolo
