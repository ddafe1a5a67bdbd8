#pragma once
// Who is left out of a mailing and who needs a look before it goes out: the
// members of groups marked 送付しない (喪中, DM不要 …), and recipients whose
// address or postal code would print wrongly or not at all.

#include "atena/atenalayout.h"
#include "postal/postalcode.h"

#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <functional>

namespace tessolo::atena {

// The groups whose members get no mail, most serious first; 喪中 and DM不要
// until the user says otherwise. Kept in the user's settings: the file
// keeps the Windows edition's columns.
QStringList heldGroups(QSettings& settings);
void setHeldGroups(QSettings& settings, const QStringList& groups);

struct Held {
    QList<Recipient> kept;
    // Per held group that left someone out, in the order of `held`: the
    // group and how many. Someone in two held groups counts once, under the
    // first.
    QList<std::pair<QString, int>> counts;
    int total() const;
    // "喪中 3 件、DM不要 12 件を除きました"; empty when nobody was left out.
    QString message() const;
};
Held leaveOutHeld(const QList<Recipient>& recipients, const QStringList& held);

struct Problem {
    qint64 rowid = 0;
    QString name;
    QStringList reasons;
};

// The addresses a postal code stands for; empty when the list lacks it.
using PostalLookup = std::function<QList<postal::PostalAddress>(const QString& sevenDigits)>;

// The recipients that need a look, in their order: no address; a postal
// code missing, not seven digits, not in the postal list (only asked when
// `lookup` is given: without a loaded list every code would be named), or
// standing for another prefecture or city; a "?" in the address or name,
// which is what a character code page 932 lacks became.
QList<Problem> problemsOf(const QList<Recipient>& recipients, const PostalLookup& lookup);

// The recipients' codes looked up together in the postal list of the store
// the windows use; empty function when no postal list is loaded.
PostalLookup databaseLookup(const QList<Recipient>& recipients);

} // namespace tessolo::atena
