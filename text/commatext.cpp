#include "text/commatext.h"

#include "data/errors.h"

namespace tessolo {

namespace {

inline bool isSeparatorBlank(char16_t c) { return c >= 1 && c <= 32; }
inline bool isSeparatorBlank(char c) { return c >= 1 && c <= 32; } // bytes >= 0x80 are negative

inline char16_t unit(QChar c) { return c.unicode(); }
inline char unit(char c) { return c; }

// Walks the fields of a line and hands each to `onField` as the span of its
// text: for a quoted field the text between the quotes, with `doubled` set
// when a doubled quote inside still has to be undone.
// With `keepBlanks` the half-width blank is part of a value like any letter;
// the other characters 1..31 still separate.
template <class View, class OnField> void scanFields(View s, OnField&& onField, bool keepBlanks = false)
{
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto isSeparatorBlank = [keepBlanks](auto c) { return tessolo::isSeparatorBlank(c) && !(keepBlanks && c == ' '); };
    auto skipBlanks = [&] {
        while (i < n && isSeparatorBlank(unit(s[i])))
            ++i;
    };
    skipBlanks();
    while (i < n) {
        if (unit(s[i]) == '"') {
            const qsizetype start = ++i;
            qsizetype end = n; // an unclosed quote runs to the end of the line
            bool doubled = false;
            while (i < n) {
                if (unit(s[i]) != '"') {
                    ++i;
                    continue;
                }
                if (i + 1 < n && unit(s[i + 1]) == '"') {
                    doubled = true;
                    i += 2;
                    continue;
                }
                end = i++;
                break;
            }
            onField(s.sliced(start, end - start), doubled);
        } else {
            const qsizetype start = i;
            while (i < n && unit(s[i]) != ',' && !isSeparatorBlank(unit(s[i])))
                ++i;
            onField(s.sliced(start, i - start), false);
        }
        skipBlanks();
        if (i < n && unit(s[i]) == ',') {
            if (i == n - 1)
                onField(s.sliced(n, 0), false);
            ++i;
            skipBlanks();
        }
    }
}

// The text of a quoted span with each doubled quote made one.
template <class Field, class View> Field undoubled(View span)
{
    Field out;
    out.reserve(span.size());
    for (qsizetype i = 0; i < span.size(); ++i) {
        out.append(span.sliced(i, 1));
        if (unit(span[i]) == '"')
            ++i; // its twin
    }
    return out;
}

template <class Field, class List, class View> List split(View line, bool keepBlanks = false)
{
    List fields;
    // Room for a whole customer or postal line without growing.
    fields.reserve(24);
    scanFields(
        line,
        [&](View span, bool doubled) {
            fields << (doubled ? undoubled<Field>(span) : Field(span.data(), span.size()));
        },
        keepBlanks);
    return fields;
}

template <class List> const auto& at(const List& fields, qsizetype index)
{
    if (index < 0 || index >= fields.size())
        throw EListIndexError(index);
    return fields[index];
}

} // namespace

QStringList splitCommaText(QStringView line) { return split<QString, QStringList>(line); }

QStringList splitKeepingBlanks(QStringView line) { return split<QString, QStringList>(line, true); }

QByteArrayList splitCommaText(QByteArrayView line) { return split<QByteArray, QByteArrayList>(line); }

void splitCommaText(QByteArrayView line, QList<QByteArrayView>& fields, std::vector<QByteArray>& undoubledFields)
{
    fields.clear();
    undoubledFields.clear();
    scanFields(line, [&](QByteArrayView span, bool doubled) {
        if (!doubled) {
            fields << span;
            return;
        }
        // The bytes of a QByteArray stay where they are when the vector
        // moves it, so the view stays good while the vector grows.
        undoubledFields.push_back(undoubled<QByteArray>(span));
        fields << QByteArrayView(undoubledFields.back());
    });
}

const QString& fieldAt(const QStringList& fields, qsizetype index) { return at(fields, index); }

const QByteArray& fieldAt(const QByteArrayList& fields, qsizetype index) { return at(fields, index); }

QByteArrayView fieldAt(const QList<QByteArrayView>& fields, qsizetype index) { return at(fields, index); }

bool endsInsideQuotes(QByteArrayView s, bool startsInside, bool keepBlanks)
{
    auto isSeparatorBlank = [keepBlanks](char c) { return tessolo::isSeparatorBlank(c) && !(keepBlanks && c == ' '); };
    const qsizetype n = s.size();
    qsizetype i = 0;
    bool inside = startsInside;
    for (;;) {
        if (inside) {
            // Up to the next quote that is not doubled.
            for (;;) {
                const qsizetype q = s.indexOf('"', i);
                if (q < 0)
                    return true;
                if (q + 1 < n && s[q + 1] == '"') {
                    i = q + 2;
                    continue;
                }
                i = q + 1;
                break;
            }
            inside = false;
        } else {
            while (i < n && isSeparatorBlank(s[i]))
                ++i;
            if (i >= n)
                return false;
            if (s[i] == '"') {
                ++i;
                inside = true;
                continue;
            }
            while (i < n && s[i] != ',' && !isSeparatorBlank(s[i]))
                ++i;
        }
        while (i < n && isSeparatorBlank(s[i]))
            ++i;
        if (i < n && s[i] == ',')
            ++i;
    }
}

} // namespace tessolo
