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
#include <memory>
#include <vector>

namespace tessolo::csvimport {

struct Duplicates {
    qint64 inRoster = 0;    // lines matching a customer already in the roster
    qint64 inFile = 0;      // lines repeating an earlier line of the file
    QSet<qint64> lines;     // their indexes (header left out, from 0)
    QStringList firstNames; // the names of the first few

    bool any() const { return !lines.isEmpty(); }
};

// The one question before an import stores anything: the duplicates and
// the lines the check flags.
struct Review : Duplicates {
    Check check;
};

// Finds the duplicates among the lines of a file as it is read: made before
// the file is read (the roster is read beside it, as it was then), told each
// line, then asked once at the end.
class TDuplicateFinder {
public:
    TDuplicateFinder();
    ~TDuplicateFinder();
    TDuplicateFinder(const TDuplicateFinder&) = delete;
    TDuplicateFinder& operator=(const TDuplicateFinder&) = delete;

    // A line of the file: its values as they will be stored (code page 932
    // bytes, in table order).
    void add(qint64 line, const QList<QByteArrayView>& stored);
    // The duplicates among the lines added; throws what reading the roster threw.
    const Duplicates& finish();

private:
    class Indexes;
    std::unique_ptr<Indexes> m_indexes;
    Duplicates m_found;
};

// The question asked before an import that would bring in duplicates.
QString duplicatesQuestion(const Duplicates& d);
// The question asked before an import with duplicates or flagged lines.
QString reviewQuestion(const Review& r);

} // namespace tessolo::csvimport
