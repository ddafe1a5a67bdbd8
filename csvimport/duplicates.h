#pragma once
// Customers an import would bring in twice: lines that match a customer the
// roster already holds, and lines that repeat an earlier line of the file.
// A match is the same name and reading (as the import stores them) with the
// same telephone number (its digits) or the same address (prefecture, city
// and town, read alike whatever their width and blanks). A line without a
// name matches nothing: too little is known to call it the same person.

#include "csvimport/csvimportrun.h"

#include <QSet>
#include <QStringList>
#include <vector>

namespace tessolo::csvimport {

struct Duplicates {
    qint64 inRoster = 0; // lines matching a customer already in the roster
    qint64 inFile = 0;   // lines repeating an earlier line of the file
    QSet<qint64> lines;  // their indexes, as forEachRecord counts lines
    QStringList firstNames;                // the names of the first few

    bool any() const { return !lines.isEmpty(); }
};

// Reads the roster, then the file as the run would import it.
Duplicates findDuplicates(const QString& fileName, const ColumnMap& map, bool firstLineIsHeader,
                          const ProgressFn& progress = {});

// The records of those lines, every field filled, in file order.
std::vector<customer::Record> recordsOf(const QString& fileName, const ColumnMap& map, bool firstLineIsHeader,
                                        const QSet<qint64>& lines);

// The question asked before an import that would bring in duplicates.
QString duplicatesQuestion(const Duplicates& d);

} // namespace tessolo::csvimport
