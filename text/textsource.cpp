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

// Two bytes no text file starts with. The old whole-file unpacking trusted
// the packed size: a 1 MB file unpacked to gigabytes before any check.
bool isGzip(const char* head, qint64 n) { return n >= 2 && head[0] == '\x1f' && head[1] == '\x8b'; }

[[noreturn]] void refuseCompressed(const QString& fileName)
{
    throw EFileError(
        QStringLiteral(
            "「%1」は圧縮されたファイルのため読み込めません。\n展開してから、展開したファイルを選んでください。")
            .arg(QDir::toNativeSeparators(fileName)));
}

// Unpacks the gzip stream of `file` (read from its start) chunk by chunk,
// stopping as soon as the output would pass kMaxUnpacked.
QByteArray gunzip(QFile& file, const QString& fileName)
{
    z_stream z{};
    // 16 + MAX_WBITS: a gzip header and trailer around the deflate data.
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        throw EFileError(QStringLiteral("ファイルを展開できません: %1").arg(QDir::toNativeSeparators(fileName)));
    struct End {
        z_stream* z;
        ~End() { inflateEnd(z); }
    } end{&z};
    QByteArray out;
    char in[64 * 1024];
    char chunk[256 * 1024];
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0) {
            const qint64 got = file.read(in, sizeof in);
            if (got < 0)
                throw EFileError(QStringLiteral("ファイルを読み込めません: %1\n%2")
                                     .arg(QDir::toNativeSeparators(fileName), file.errorString()));
            if (got == 0)
                break; // cut short before the stream's end
            z.next_in = reinterpret_cast<Bytef*>(in);
            z.avail_in = static_cast<uInt>(got);
        }
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            break;
        const qint64 produced = qint64(sizeof chunk - z.avail_out);
        if (out.size() + produced > TTextSource::kMaxUnpacked)
            throw EFileError(QStringLiteral("「%1」は展開すると大きすぎるため読み込めません（%2 MB まで）。")
                                 .arg(QDir::toNativeSeparators(fileName))
                                 .arg(TTextSource::kMaxUnpacked >> 20));
        // Grown by hand: doubling past the limit would hold twice what is kept.
        if (out.capacity() < out.size() + produced)
            out.reserve(qMin(TTextSource::kMaxUnpacked, qMax(out.size() * 2, out.size() + produced)));
        out.append(chunk, produced);
    }
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
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EFileError(QStringLiteral("「%1」は通常のファイルではないため読み込めません。")
                             .arg(QDir::toNativeSeparators(fileName)));
    }
    // Reads of a regular file never wait; the flag only kept the open from it.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw EFileError(
            QStringLiteral("ファイルを開けません: %1\n%2").arg(QDir::toNativeSeparators(fileName), file.errorString()));
    }
}

} // namespace

TTextSource::TTextSource(const QString& fileName, std::optional<TextEncoding> encoding, Compressed compressed)
{
    QFile file;
    openRegular(file, fileName);
    char head[2];
    const qint64 headSize = file.peek(head, sizeof head);
    if (isGzip(head, headSize)) {
        if (compressed == Compressed::Refused)
            refuseCompressed(fileName);
        m_bytes = gunzip(file, fileName);
        decode(encoding);
        return;
    }
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
    decode(encoding);
}

// UTF-16 and EUC-JP are held as UTF-8, which the line reader splits as it
// splits the others.
void TTextSource::decode(std::optional<TextEncoding> encoding)
{
    m_fileEncoding = encoding ? *encoding : detectEncoding(m_bytes);
    m_encoding = m_fileEncoding;
    if (m_fileEncoding == TextEncoding::Utf16 || m_fileEncoding == TextEncoding::EucJp) {
        m_bytes = toUtf8(m_bytes, m_fileEncoding);
        m_encoding = TextEncoding::Utf8;
    }
}

} // namespace tessolo
