#pragma once
// The multi-line memo. Stored memos keep their line breaks as they were
// written: the Windows edition writes CR LF, and a memo loaded and stored
// again unchanged goes back byte for byte, whatever its breaks. Lines typed
// or changed here are stored with CR LF, as the Windows edition reads them.

#include "ui/keptvalue.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <functional>

namespace tessolo::ui {

class TMemoEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;

    // Shows a stored memo and keeps it, to give back while it is unchanged.
    void setStored(const QString& stored);
    // The value to store: the loaded memo itself while the text shown is
    // still its text, otherwise the lines joined by CR LF.
    QString stored() const;
    // Empties the box (and a companion, below).
    void clear();

    // A companion that shows part of the memo in controls of its own (the
    // roster's groups and joint names): `shown` takes the stored memo and
    // gives the text for the box, `toStore` the box's value back to the memo
    // to store. Without one the box shows and stores the memo whole.
    using MemoSplit = std::function<QString(const QString&)>;
    void setCompanion(MemoSplit shown, MemoSplit toStore);

private:
    MemoSplit m_shown;
    MemoSplit m_toStore;

    // The text as shown, line by line: unlike toPlainText() it keeps
    // no-break spaces, which code page 932 has no use for but the user typed.
    QStringList lines() const;

    TKeptValue<QStringList> m_kept;
};

} // namespace tessolo::ui
