#pragma once
// The first sheet of an Excel workbook (.xlsx) as rows of cell texts, for the
// customer import: a spreadsheet list comes in through the same preview and
// assignment as a CSV file.

#include <QList>
#include <QString>
#include <QStringList>

namespace tessolo::xlsx {

// Row n of the sheet is element n - 1; a row the sheet leaves out is empty.
// Numbers come as the sheet stores them (0600001 typed as text stays so).
// Throws EFileError when the file is no workbook or cannot be read.
QList<QStringList> readFirstSheet(const QString& fileName);

} // namespace tessolo::xlsx
