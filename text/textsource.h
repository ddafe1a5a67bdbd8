#pragma once
// A text file the bulk loads read: its bytes, held whole (the encoding is
// decided from all of them), and the encoding they are decoded in. A
// compressed file is read only where the caller expects one (the postal list
// the program ships), unpacked as it is read and only up to a limit; any
// other is refused before its size is trusted for anything.

#include "text/textfile.h"

#include <QByteArray>
#include <QString>

namespace tessolo {

enum class Compressed { Refused, Unpacked };

class TextSource {
public:
    // Unpacked, a compressed file yields at most this many bytes.
    // The national list unpacks to about 12 MB.
    static constexpr qint64 kMaxUnpacked = qint64(64) << 20;

    // Throws EFileError naming the file when it cannot be opened or read, or
    // when it is compressed and `compressed` refuses it (or it unpacks to
    // more than kMaxUnpacked).
    explicit TextSource(const QString& fileName, Compressed compressed = Compressed::Refused);

    QByteArray& bytes() { return m_bytes; }
    TextEncoding encoding() const { return m_encoding; }
    qint64 size() const { return m_bytes.size(); }

private:
    QByteArray m_bytes;
    TextEncoding m_encoding = TextEncoding::Cp932;
};

} // namespace tessolo
