#pragma once
// The comma-text rule the postal list and customer CSV files are split by:
// commas, and outside double quotes every character 1..32 too, separate fields;
// a double quote encloses a field, a doubled one inside stands for one; a line
// ending in a comma has an empty last field.

#include <QByteArrayList>
#include <QByteArrayView>
#include <QStringList>
#include <QStringView>
#include <vector>

namespace tessolo {

QStringList splitCommaText(QStringView line);

// The same rule, but a half-width blank separates nothing: it stays in its
// value as written (customer lists write "山田 太郎" and mean one name).
QStringList splitKeepingBlanks(QStringView line);

// The same rule on a code page 932 line as it lies in the file. A trail byte
// of code page 932 is never '"', ',' or a byte <= 32, so the fields are those
// of the decoded line, byte for byte; bulk loads skip decoding this way.
QByteArrayList splitCommaText(QByteArrayView line);

// The same without copying the bytes: each field is a view into `line`, but
// for fields whose doubled quotes had to be undone, which are kept in
// `undoubledFields`. The views are good while `line` and that vector live.
void splitCommaText(QByteArrayView line, QList<QByteArrayView>& fields, std::vector<QByteArray>& undoubledFields);

// Whether the line ends inside a quoted field that the rule above would run
// to the end of the line; `startsInside` continues one left open before.
// Spreadsheets write a line break inside a cell that way.
// With `keepBlanks`, as splitKeepingBlanks() splits.
bool endsInsideQuotes(QByteArrayView line, bool startsInside = false, bool keepBlanks = false);

// The field at `index`, or EListIndexError naming the index.
const QString& fieldAt(const QStringList& fields, qsizetype index);
const QByteArray& fieldAt(const QByteArrayList& fields, qsizetype index);
QByteArrayView fieldAt(const QList<QByteArrayView>& fields, qsizetype index);

} // namespace tessolo
