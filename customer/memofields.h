#pragma once
// What the memo carries besides the user's note: the customer's groups, up to
// three joint given names (連名) with their honorifics, and the customer's own
// honorific. The record keeps the seventeen columns the Windows edition reads,
// so these live in the memo as lines that edition shows as plain text and
// that a CSV or Excel round trip leaves alone:
//
//   敬称：先生
//   連名：花子、一郎（くん）
//   #年賀状 #DM不要
//
// A line "敬称：…" or "連名：…" (full- or half-width colon) and a line made
// only of words that begin with # (or ＃) are read as fields; every other line
// is the note and is given back exactly as it was typed.

#include <QList>
#include <QString>
#include <QStringList>

namespace tessolo::customer::memo {

// Joint names printed beside the main one; more typed are kept, not printed.
inline constexpr int kMaxJoint = 3;

struct Joint {
    QString name;      // a given name, as 花子
    QString honorific; // empty: the same as the main name's
    bool operator==(const Joint&) const = default;
};

struct Fields {
    QStringList groups; // in the order written, each once
    QList<Joint> joint;
    QString honorific; // empty: the printing window's choice
    QString note;      // the rest of the memo, untouched
    bool operator==(const Fields&) const = default;
};

Fields parse(const QString& memo);

// The note's first line that holds anything, trimmed: what a map popup shows.
QString firstNoteLine(const Fields& fields);

// The memo that parses back to `fields`: the note as it stands, then the
// honorific, the joint names and the groups, each on a line of its own (the
// groups last). A memo without fields is the note alone. Lines end in CR LF,
// as the Windows edition writes them, unless the note's own breaks are LF.
QString compose(const Fields& fields);

// A group name as it can be stored: blanks and a leading # gone.
QString cleanGroup(const QString& name);

// Group names from one text as people list them: split at ・、, and blanks
// (full- or half-width), cleaned, each once.
QStringList splitGroups(const QString& text);

// `memo` with `add` joined to and `remove` taken from its groups; the rest
// of the memo as it was.
QString withGroups(const QString& memo, const QStringList& add, const QStringList& remove);

// The group filter of customer lists: all, the members of one group, or
// those in no group.
struct GroupFilter {
    enum Kind { All, Group, NoGroup };
    Kind kind = All;
    QString group;
    bool accepts(const QString& memo) const;
};

} // namespace tessolo::customer::memo
