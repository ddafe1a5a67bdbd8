#include "ui/memoedit.h"

#include <QTextBlock>
#include <QTextDocument>

namespace tessolo::ui {

void TMemoEdit::setStored(const QString& memo)
{
    const QString text = m_shown ? m_shown(memo) : memo;
    setPlainText(text); // CR LF, LF and a lone CR each end one line
    m_kept.keep(text, lines());
}

QString TMemoEdit::stored() const
{
    const QStringList now = lines();
    const QString text = m_kept.stored(now, [&] { return now.join(QStringLiteral("\r\n")); });
    return m_toStore ? m_toStore(text) : text;
}

void TMemoEdit::clear()
{
    QPlainTextEdit::clear();
    if (m_shown)
        m_shown(QString());
}

void TMemoEdit::setCompanion(MemoSplit shown, MemoSplit toStore)
{
    m_shown = std::move(shown);
    m_toStore = std::move(toStore);
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
