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
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        out << b.text();
    // An empty document still has its one empty block.
    if (out.size() == 1 && out.front().isEmpty())
        out.clear();
    return out;
}

} // namespace tessolo::ui
