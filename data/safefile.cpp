#include "data/safefile.h"

#include "data/errors.h"

#include <QDir>

namespace tessolo {

namespace {

// Bytes gathered before each write: few system calls for many small lines.
constexpr qsizetype kChunk = 1 << 20;

} // namespace

TSafeFile::TSafeFile(const QString& fileName)
    : m_name(fileName), m_file(fileName)
{
    // Unbuffered: every byte goes down in write() and every failure is seen
    // there. Through Qt's own buffer the last block reached the disk only
    // inside commit(), whose flush error was lost, and a file cut short by a
    // full disk was renamed over the old one as if whole.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(m_file.errorString());
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
