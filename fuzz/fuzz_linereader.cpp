// The line reader over arbitrary bytes, fed whole and through a device that
// hands out a few bytes per read: both must give the same lines, and no line
// may carry what the reader promises to strip.
#include "text/textfile.h"

#include <QBuffer>
#include <cstdlib>

namespace {

class DribbleDevice : public QIODevice {
public:
    DribbleDevice(QByteArray data, qint64 chunk)
        : m_data(std::move(data)),
          m_chunk(chunk)
    { }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        const qint64 n = std::min({max, m_chunk, qint64(m_data.size()) - m_pos});
        memcpy(out, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_chunk;
    qint64 m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const qint64 chunk = 1 + data[0] % 13;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));

    const QList<QByteArray> whole = tessolo::readLines(bytes);

    DribbleDevice dev(bytes, chunk);
    dev.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    tessolo::TLineReader reader(dev);
    QList<QByteArray> dribbled;
    QByteArray line;
    while (reader.next(line))
        dribbled << line;
    if (dribbled != whole)
        abort();

    qsizetype total = 0;
    for (const QByteArray& l : whole) {
        if (l.isEmpty() || static_cast<unsigned char>(l[0]) <= 32)
            abort();
        if (l.contains('\n') || l.contains('\r') || l.contains(char(26)))
            abort();
        total += l.size();
    }
    if (total > bytes.size())
        abort();
    for (const QByteArray& l : whole)
        (void)tessolo::decodeLine(l, tessolo::detectEncoding(bytes));
    return 0;
}
