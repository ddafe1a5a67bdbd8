#pragma once
// The groups a customer belongs to, as the user writes them in the memo: a
// last line of #words, "#年賀状 #DM不要". Read here for the map's colours and
// popups; a memo without such a line has no groups.

#include <QString>
#include <QStringList>

namespace tessolo::customer {

// The #tags of the memo's last non-blank line, without the '#', in the order
// written, each once; empty when that line is not made of #tags only.
QStringList groupTagsOfMemo(const QString& memo);

// The memo's first line, without the group line: what a popup shows.
QString memoFirstLine(const QString& memo);

} // namespace tessolo::customer
