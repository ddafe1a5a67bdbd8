#pragma once
// The roster written out as a CSV file for spreadsheets, mail merges and
// backups: a header line with the field names the CSV import knows, then one
// line per customer with its seventeen values in table order. Every value is
// quoted (a quote inside doubled), lines end in CR LF, and a line break inside
// a value stays inside its quotes as LF, the way spreadsheets write and read
// a break within a cell.
//
// The file is written beside its place and renamed over it only when every
// byte is down, so a failing disk or a cancel never leaves half a file.

#include "customer/customer.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace tessolo::customerexport {

enum class Encoding {
    Cp932,   // what a spreadsheet on Japanese Windows opens directly
    Utf8Bom, // keeps every character; the byte-order mark tells spreadsheets
    Xlsx,    // an Excel workbook: every value a text cell, nothing loses a leading 0
};

// The export's form for a file name: a workbook for ".xlsx", else `text`.
Encoding encodingFor(const QString& fileName, Encoding text);

struct Result {
    qint64 customers = 0;
    // Characters code page 932 lacks, written as '?': how many in all, and
    // the distinct ones in the order they were met (the first few).
    qint64 substituted = 0;
    QStringList lacking;
    qint64 lackingDistinct = 0;
};

// Told the customers written so far and how many there are; false cancels.
using ProgressFn = std::function<bool(qint64 done, qint64 total)>;

// A customer's values as a file carries them for a spreadsheet: the postal
// code as 123-4567 (a spreadsheet keeps its leading 0 then), and a value
// that a spreadsheet would run as a formula (starting with = + - @, a tab or
// a CR) behind an apostrophe, which the import takes off again. Values for
// a workbook need no apostrophe: its cells are text, never formulas.
QStringList exportValues(const customer::Record& r, bool guardFormulas = true);

// The values between double quotes (inner quotes doubled, every line break
// — CR LF, CR or LF — as LF) joined by commas, ended by CR LF.
QString csvLine(const QStringList& values);

// Runs `listSql` (a roster list query: every column of t_customer) and
// writes its rows in its order. Throws EFileError when the file cannot be
// written (the old file, if any, is left as it was) and EAbort on a cancel.
Result write(const QString& fileName, const QString& listSql, Encoding encoding, const ProgressFn& progress = {});
// The customers of these rowids, in the order given (a customer no longer
// stored is left out).
Result write(const QString& fileName, const QList<qint64>& rowids, Encoding encoding, const ProgressFn& progress = {});

// Writes records held in memory the same way, header line first.
void writeRecords(const QString& fileName, const std::vector<customer::Record>& records, Encoding encoding);

// The closing message: the number written and whatever was replaced.
QString summary(const Result& result, Encoding encoding);

} // namespace tessolo::customerexport
