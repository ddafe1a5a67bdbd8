#include "ui/memoedit.h"

#include <QTextBlock>
#include <QTextDocument>

namespace tessolo::ui {

void TMemoEdit::setStored(const QString& stored)
{
    setPlainText(stored); // CR LF, LF and a lone CR each end one line
    m_kept.keep(stored, lines());
}

QString TMemoEdit::stored() const
{
    const QStringList now = lines();
    return m_kept.stored(now, [&] { return now.join(QStringLiteral("\r\n")); });
}

QStringList TMemoEdit::lines() const
{
    QStringList out;
    // Shift+Enter breaks a line inside its block (U+2028): on screen and to
    // the user it is a line break like any other, and code page 932 has no
    // such character.
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        out << b.text().split(QChar::LineSeparator);
    // An empty document still has its one empty block.
    if (out.size() == 1 && out.front().isEmpty())
        out.clear();
    return out;
}

} // namespace tessolo::ui
