#include "data/textsource.h"

#include "data/errors.h"

#include <QDir>
#include <QFile>

namespace tessolo {

TextSource::TextSource(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("ファイルを開けません: %1\n%2")
                             .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    const qint64 expected = file.size();
    if (expected > 0)
        m_bytes.reserve(expected);
    char chunk[64 * 1024];
    for (;;) {
        const qint64 got = file.read(chunk, sizeof chunk);
        if (got < 0)
            throw EFileError(QStringLiteral("ファイルを読み込めません: %1\n%2")
                                 .arg(QDir::toNativeSeparators(fileName), file.errorString()));
        if (got == 0)
            break;
        m_bytes.append(chunk, got);
    }
    m_encoding = detectEncoding(m_bytes);
}

} // namespace tessolo
