// The comma splitter over arbitrary lines (decoded from code page 932, as the
// importers do), checked against properties any split must have.
#include "text/commatext.h"
#include "text/cp932.h"
#include "data/errors.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = tessolo::cp932::decode(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QStringList fields = tessolo::splitCommaText(line);

    qsizetype chars = 0;
    for (const QString& f : fields)
        chars += f.size();
    // A field never holds more characters than the line had.
    if (chars > line.size())
        abort();
    // Without quotes no field can hold a separator.
    if (!line.contains(QLatin1Char('"'))) {
        for (const QString& f : fields) {
            for (QChar c : f) {
                if (c == QLatin1Char(',') || (c.unicode() >= 1 && c.unicode() <= 32))
                    abort();
            }
        }
    }
    // Quoting each field again and joining with commas splits back the same.
    QStringList quoted;
    for (QString f : fields)
        quoted << QLatin1Char('"') + f.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    if (!fields.isEmpty() && tessolo::splitCommaText(quoted.join(QLatin1Char(','))) != fields)
        abort();
    // Splitting the bytes as they lie in the file gives the same fields.
    const QByteArrayList byteFields =
        tessolo::splitCommaText(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (byteFields.size() != fields.size())
        abort();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (tessolo::cp932::decode(byteFields[i]) != fields[i])
            abort();
    }
    try {
        (void)tessolo::fieldAt(fields, qsizetype(size % 12));
    } catch (const tessolo::EListIndexError&) {
        if (qsizetype(size % 12) < fields.size())
            abort();
    }
    return 0;
}
