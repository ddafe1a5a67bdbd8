#include "data/textsource.h"

#include "data/errors.h"

#include <QDir>
#include <QFile>

#include <zlib.h>

namespace tessolo {

namespace {

bool isGzip(const QByteArray& bytes) { return bytes.startsWith("\x1f\x8b"); }

// The postal list ships gzip-compressed; a text file never starts with these
// two bytes, so a file that does is read as what it holds.
QByteArray gunzip(const QByteArray& packed, const QString& fileName)
{
    z_stream z{};
    // 16 + MAX_WBITS: a gzip header and trailer around the deflate data.
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        throw EFileError(QStringLiteral("ファイルを展開できません: %1").arg(QDir::toNativeSeparators(fileName)));
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    z.avail_in = static_cast<uInt>(packed.size());
    char chunk[256 * 1024];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        // With room to write every time, only a stream cut short before its
        // end stops with Z_BUF_ERROR.
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, static_cast<qsizetype>(sizeof chunk - z.avail_out));
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw EFileError(QStringLiteral("ファイルを展開できません: %1\n圧縮されたデータが壊れています。")
                             .arg(QDir::toNativeSeparators(fileName)));
    return out;
}

} // namespace

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
    if (isGzip(m_bytes))
        m_bytes = gunzip(m_bytes, fileName);
    m_encoding = detectEncoding(m_bytes);
}

} // namespace tessolo
