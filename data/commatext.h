#pragma once
// The comma-text rule the postal list and customer CSV files are split by:
// commas, and outside double quotes every character 1..32 too, separate fields;
// a double quote encloses a field, a doubled one inside stands for one; a line
// ending in a comma has an empty last field.

#include <QStringList>
#include <QStringView>

namespace tessolo {

QStringList splitCommaText(QStringView line);

// The field at `index`, or EListIndexError naming the index.
const QString& fieldAt(const QStringList& fields, qsizetype index);

} // namespace tessolo
