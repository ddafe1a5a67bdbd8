#include "data/commatext.h"

#include "data/errors.h"

namespace tessolo {

namespace {

inline bool isSeparatorBlank(char16_t c) { return c >= 1 && c <= 32; }
inline bool isSeparatorBlank(char c) { return c >= 1 && c <= 32; } // bytes >= 0x80 are negative

inline char16_t unit(QChar c) { return c.unicode(); }
inline char unit(char c) { return c; }

template <class View, class Field, class List>
List split(View s)
{
    List fields;
    // Room for a whole customer or postal line without growing.
    fields.reserve(24);
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < n && isSeparatorBlank(unit(s[i])))
            ++i;
    };
    skipBlanks();
    while (i < n) {
        Field field;
        if (unit(s[i]) == '"') {
            ++i;
            while (i < n) {
                // Runs up to the next quote are copied whole.
                const qsizetype start = i;
                while (i < n && unit(s[i]) != '"')
                    ++i;
                field.append(s.sliced(start, i - start));
                if (i >= n)
                    break;
                if (i + 1 < n && unit(s[i + 1]) == '"') {
                    field.append(s.sliced(i, 1));
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
        } else {
            const qsizetype start = i;
            while (i < n && unit(s[i]) != ',' && !isSeparatorBlank(unit(s[i])))
                ++i;
            field = Field(s.sliced(start, i - start).data(), i - start);
        }
        fields << field;
        skipBlanks();
        if (i < n && unit(s[i]) == ',') {
            if (i == n - 1)
                fields << Field();
            ++i;
            skipBlanks();
        }
    }
    return fields;
}

template <class List>
const auto& at(const List& fields, qsizetype index)
{
    if (index < 0 || index >= fields.size())
        throw EListIndexError(index);
    return fields[index];
}

} // namespace

QStringList splitCommaText(QStringView line) { return split<QStringView, QString, QStringList>(line); }

QByteArrayList splitCommaText(QByteArrayView line) { return split<QByteArrayView, QByteArray, QByteArrayList>(line); }

const QString& fieldAt(const QStringList& fields, qsizetype index) { return at(fields, index); }

const QByteArray& fieldAt(const QByteArrayList& fields, qsizetype index) { return at(fields, index); }

} // namespace tessolo
