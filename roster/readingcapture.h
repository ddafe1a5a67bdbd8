#pragma once
// The reading of what the input method commits in a name field. Linux input
// methods (IBus, Fcitx, through Qt) do not report it, so it is taken from the
// composition: the last preedit made only of kana before a commit is the
// reading of that commit; a commit that is itself kana is its own reading; a
// commit with no such preedit has no reading. A composition that empties its
// preedit and is followed by a new one, with no commit between them, was
// cancelled (Escape, or erased to nothing): its reading goes with it. The
// tracker keeps no window, so it is the same wherever the preedit comes from.

#include <QString>
#include <QStringView>

namespace tessolo::roster {

// The reading as a reading field stores it: katakana, trimmed of blanks and
// control characters, widened to full width.
QString readingForField(const QString& raw);

class TReadingTracker {
public:
    // The composition changed. An empty preedit does not forget the reading
    // at once (IBus may clear the preedit just before it commits); the next
    // non-empty one, if no commit came first, does.
    void preedit(const QString& text);
    // Text was committed; returns its reading (empty when none is known) and
    // forgets the composition.
    QString commit(const QString& text);

private:
    QString m_reading;
    bool m_emptied = false; // the preedit went empty with no commit since
};

} // namespace tessolo::roster
