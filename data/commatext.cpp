#include "data/commatext.h"

#include "data/errors.h"

namespace tessolo {

namespace {
inline bool isSeparatorBlank(QChar c) { return c.unicode() >= 1 && c.unicode() <= 32; }
} // namespace

QStringList splitCommaText(QStringView s)
{
    QStringList fields;
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < n && isSeparatorBlank(s[i]))
            ++i;
    };
    skipBlanks();
    while (i < n) {
        QString field;
        if (s[i] == QLatin1Char('"')) {
            ++i;
            while (i < n) {
                if (s[i] == QLatin1Char('"')) {
                    if (i + 1 < n && s[i + 1] == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += s[i++];
            }
        } else {
            const qsizetype start = i;
            while (i < n && s[i] != QLatin1Char(',') && !isSeparatorBlank(s[i]))
                ++i;
            field = s.sliced(start, i - start).toString();
        }
        fields << field;
        skipBlanks();
        if (i < n && s[i] == QLatin1Char(',')) {
            if (i == n - 1)
                fields << QString();
            ++i;
            skipBlanks();
        }
    }
    return fields;
}

const QString& fieldAt(const QStringList& fields, qsizetype index)
{
    if (index < 0 || index >= fields.size())
        throw EListIndexError(index);
    return fields[index];
}

} // namespace tessolo
