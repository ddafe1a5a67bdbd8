#include "customer/memogroups.h"

#include <QRegularExpression>

namespace tessolo::customer {

namespace {

QStringList memoLines(const QString& memo)
{
    QString text = memo;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return lines;
}

// Words are split at ASCII and full-width blanks alike: a Japanese IME types
// the latter between tags.
QStringList words(const QString& line)
{
    static const QRegularExpression blanks(QStringLiteral("[\\s\\x{3000}]+"));
    return line.split(blanks, Qt::SkipEmptyParts);
}

bool isTag(const QString& word)
{
    return word.size() > 1 && (word.front() == QLatin1Char('#') || word.front() == QChar(0xFF03));
}

} // namespace

QStringList groupTagsOfMemo(const QString& memo)
{
    const QStringList lines = memoLines(memo);
    if (lines.isEmpty())
        return {};
    QStringList tags;
    for (const QString& w : words(lines.last())) {
        if (!isTag(w))
            return {};
        const QString tag = w.mid(1);
        if (!tags.contains(tag))
            tags << tag;
    }
    return tags;
}

QString memoFirstLine(const QString& memo)
{
    const QStringList lines = memoLines(memo);
    if (lines.isEmpty())
        return {};
    if (lines.size() == 1 && !groupTagsOfMemo(memo).isEmpty())
        return {};
    return lines.first().trimmed();
}

} // namespace tessolo::customer
