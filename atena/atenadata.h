#pragma once
// The recipients and senders of address printing, read from the database by
// rowid: whatever tells which customers to print (a list, the picker, the
// map page) gives only rowids, and every value printed comes from here.

#include "atena/atenalayout.h"

#include <QList>
#include <QString>

namespace tessolo::atena {

// The customers of `rowids` in that order, each once (the first time it
// comes); rowids that name no customer are left out.
QList<Recipient> loadRecipients(const QList<qint64>& rowids);

struct SenderChoice {
    qint64 rowid = 0;
    QString name;
};
// The own company's sites, in the table's order.
QList<SenderChoice> senderChoices();
// One site as a sender; empty when it is gone.
Sender loadSender(qint64 rowid);

} // namespace tessolo::atena
