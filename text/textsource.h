#pragma once
// A text file the bulk loads read: its bytes, held whole (the encoding is
// decided from all of them), and the encoding they are decoded in.

#include "text/textfile.h"

#include <QByteArray>
#include <QString>

namespace tessolo {

class TextSource {
public:
    // Throws EFileError naming the file when it cannot be opened or read.
    explicit TextSource(const QString& fileName);

    QByteArray& bytes() { return m_bytes; }
    TextEncoding encoding() const { return m_encoding; }
    qint64 size() const { return m_bytes.size(); }

private:
    QByteArray m_bytes;
    TextEncoding m_encoding = TextEncoding::Cp932;
};

} // namespace tessolo
