#pragma once
// The national postal list that ships with the program (postal/ken_all.csv.gz
// beside the executable, or under share/tessolo of an installed one), and the
// month of the list it was made from (postal/ken_all.info, line "date=YYYY-MM").

#include <QString>
#include <optional>

namespace tessolo::shippedpostal {

struct ShippedList {
    QString file; // the compressed list, read by the postal update as it is
    int year = 0;
    int month = 0;
};

// The list in `folder`, or nothing when the folder lacks the list or a valid date.
std::optional<ShippedList> find(const QString& folder);

// True for the list of a folder in the shipped form (ken_all.csv.gz with a
// valid ken_all.info beside it): the one file read compressed.
bool isShippedList(const QString& file);

// The folder the program ships it in.
QString shippedFolder();

// True when m_postal holds no row (the update has never run, or failed).
bool postalTableIsEmpty();

} // namespace tessolo::shippedpostal
