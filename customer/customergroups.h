#pragma once
// Groups across the roster: the names in use, and a group given to or taken
// from many customers at once. Groups live in each customer's memo.

#include <QList>
#include <QString>
#include <QStringList>

namespace tessolo::customer {

// Every group some customer is in, in the order first met, each once.
QStringList groupsInUse();

// Adds `add` to and takes `remove` from the groups of the customers
// `rowids`, all in one transaction of the store the windows use; the rest
// of each memo stays as it was. Answers how many customers changed. Throws TessoloError
// when a group name holds a character code page 932 lacks.
int applyGroups(const QList<qint64>& rowids, const QStringList& add, const QStringList& remove);

} // namespace tessolo::customer
