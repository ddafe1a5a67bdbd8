#include "data/safefile.h"

#include "data/errors.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace tessolo {

namespace {

// Bytes gathered before each write: few system calls for many small lines.
constexpr qsizetype kChunk = 1 << 20;

constexpr QFile::Permissions kOwnerFile = QFile::ReadOwner | QFile::WriteOwner;

} // namespace

void makeFilePrivate(const QString& path) { QFile::setPermissions(path, kOwnerFile); }

void makeFolderPrivate(const QString& path) { QFile::setPermissions(path, kOwnerFile | QFile::ExeOwner); }

bool makePrivateFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
    makeFolderPrivate(path);
    return true;
}

void requireRegularFile(const QString& path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return;
    if (S_ISREG(st.st_mode))
        return;
    const QString shown = QDir::toNativeSeparators(path);
    if (S_ISDIR(st.st_mode))
        throw EFileError(QStringLiteral("「%1」はフォルダーです。ファイルを指定してください。").arg(shown));
    throw EFileError(QStringLiteral("「%1」は通常のファイルではありません（パイプや装置のファイルは使えません）。"
                                    "通常のファイルを指定してください。")
                         .arg(shown));
}

TSafeFile::TSafeFile(const QString& fileName)
    : m_name(fileName),
      m_file(fileName)
{
    // Replacing a device or a FIFO by a file of ours would be worse than
    // failing: as root, /dev/null would become a roster.
    requireRegularFile(fileName);
    // Unbuffered: every byte goes down in write() and every failure is seen
    // there. Through Qt's own buffer the last block reached the disk only
    // inside commit(), whose flush error was lost, and a file cut short by a
    // full disk was renamed over the old one as if whole.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(m_file.errorString());
    // The temporary file; an old file's own wider mode is not carried over.
    m_file.setPermissions(kOwnerFile);
}

TSafeFile::~TSafeFile() { cancel(); }

void TSafeFile::write(QByteArrayView bytes)
{
    if (m_done)
        return;
    m_buffer.append(bytes);
    if (m_buffer.size() >= kChunk)
        flushBuffer();
}

void TSafeFile::flushBuffer()
{
    qsizetype at = 0;
    while (at < m_buffer.size()) {
        const qint64 n = m_file.write(m_buffer.constData() + at, m_buffer.size() - at);
        if (n <= 0)
            fail(m_file.errorString());
        at += n;
    }
    m_buffer.clear();
}

void TSafeFile::commit()
{
    if (m_done)
        return;
    flushBuffer();
    if (!m_file.flush() || m_file.error() != QFileDevice::NoError)
        fail(m_file.errorString());
    if (!m_file.commit())
        fail(m_file.errorString());
    m_done = true;
    makeFilePrivate(m_name);
}

void TSafeFile::cancel()
{
    if (m_done)
        return;
    m_done = true;
    m_buffer.clear();
    m_file.cancelWriting();
    if (m_file.isOpen())
        m_file.commit(); // after cancelWriting this only removes the new file
}

QString TSafeFile::failureMessage(const QString& fileName, const QString& reason)
{
    return QStringLiteral("「%1」に書き出せませんでした。\n%2\n\n元のファイルは変わっていません。")
        .arg(QDir::toNativeSeparators(fileName), reason);
}

void TSafeFile::fail(const QString& reason)
{
    const QString message = failureMessage(m_name, reason.isEmpty() ? QStringLiteral("不明なエラー") : reason);
    cancel();
    throw EFileError(message);
}

} // namespace tessolo
