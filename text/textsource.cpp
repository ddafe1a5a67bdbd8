#include "text/textsource.h"

#include "data/errors.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Opens `fileName` for reading if it is a regular file. A FIFO would block the
// open until someone writes to it, a device such as /dev/zero never ends: both
// are refused before a byte is read.
void openRegular(QFile& file, const QString& fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw EFileError(QStringLiteral("ファイルを開けません: %1\n%2")
                             .arg(QDir::toNativeSeparators(fileName), qt_error_string(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EFileError(QStringLiteral("「%1」は通常のファイルではないため読み込めません。")
                             .arg(QDir::toNativeSeparators(fileName)));
    }
    // Reads of a regular file never wait; the flag only kept the open from it.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw EFileError(QStringLiteral("ファイルを開けません: %1\n%2")
                             .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    }
}

} // namespace

TextSource::TextSource(const QString& fileName, std::optional<TextEncoding> encoding)
{
    QFile file;
    openRegular(file, fileName);
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
    m_fileEncoding = encoding ? *encoding : detectEncoding(m_bytes);
    m_encoding = m_fileEncoding;
    if (m_fileEncoding == TextEncoding::Utf16 || m_fileEncoding == TextEncoding::EucJp) {
        m_bytes = toUtf8(m_bytes, m_fileEncoding);
        m_encoding = TextEncoding::Utf8;
    }
}

} // namespace tessolo
