#include "customer/memofields.h"

#include <QRegularExpression>

namespace tessolo::customer::memo {

namespace {

const QString kHonorificKey = QStringLiteral("敬称");
const QString kJointKey = QStringLiteral("連名");

bool isHash(QChar c) { return c == QLatin1Char('#') || c == QChar(0xFF03); }

bool isBlank(QChar c) { return c.isSpace() || c == QChar(0x3000); }

// "連名：…" or "連名:…" → the text after the colon; null when the line is not
// that field.
QString valueOf(const QString& line, const QString& key)
{
    const QString t = line.trimmed();
    if (!t.startsWith(key) || t.size() <= key.size())
        return {};
    const QChar colon = t.at(key.size());
    if (colon != QChar(0xFF1A) && colon != QLatin1Char(':'))
        return {};
    return t.mid(key.size() + 1).trimmed() + QString(QChar(0)); // non-null even when empty
}

// The group names of a line made only of #words; empty when it is not one.
QStringList groupsOf(const QString& line)
{
    static const QRegularExpression blanks(QStringLiteral("[\\s\\x{3000}]+"));
    const QStringList words = line.split(blanks, Qt::SkipEmptyParts);
    QStringList out;
    for (const QString& w : words) {
        if (!isHash(w.at(0)))
            return {};
        const QString name = cleanGroup(w);
        if (name.isEmpty())
            return {};
        out << name;
    }
    return out;
}

QList<Joint> jointOf(const QString& value)
{
    static const QRegularExpression seps(QStringLiteral("[、,，・･]"));
    static const QRegularExpression entry(QStringLiteral("^(.*?)\\s*[（(]\\s*(.*?)\\s*[）)]$"));
    QList<Joint> out;
    for (const QString& part : value.split(seps, Qt::SkipEmptyParts)) {
        const QString p = part.trimmed();
        if (p.isEmpty())
            continue;
        const QRegularExpressionMatch m = entry.match(p);
        if (m.hasMatch() && !m.captured(1).isEmpty())
            out << Joint{m.captured(1), m.captured(2)};
        else
            out << Joint{p, QString()};
    }
    return out;
}

void addOnce(QStringList& list, const QString& name)
{
    if (!name.isEmpty() && !list.contains(name))
        list << name;
}

} // namespace

QString cleanGroup(const QString& name)
{
    QString out;
    for (QChar c : name) {
        if (!isBlank(c))
            out += c;
    }
    qsizetype hashes = 0;
    while (hashes < out.size() && isHash(out.at(hashes)))
        ++hashes;
    return out.mid(hashes);
}

QStringList splitGroups(const QString& text)
{
    static const QRegularExpression seps(QStringLiteral("[・･、,，\\s\\x{3000}]+"));
    QStringList out;
    for (const QString& part : text.split(seps, Qt::SkipEmptyParts))
        addOnce(out, cleanGroup(part));
    return out;
}

Fields parse(const QString& memo)
{
    Fields f;
    bool removed = false;
    qsizetype pos = 0;
    while (pos < memo.size()) {
        qsizetype end = pos;
        while (end < memo.size() && memo.at(end) != QLatin1Char('\n') && memo.at(end) != QLatin1Char('\r'))
            ++end;
        qsizetype next = end;
        if (next < memo.size())
            next +=
                (memo.at(next) == QLatin1Char('\r') && next + 1 < memo.size() && memo.at(next + 1) == QLatin1Char('\n'))
                ? 2
                : 1;
        const QString line = memo.mid(pos, end - pos);
        bool field = true;
        if (const QString h = valueOf(line, kHonorificKey); !h.isNull())
            f.honorific = h.chopped(1);
        else if (const QString j = valueOf(line, kJointKey); !j.isNull())
            f.joint += jointOf(j.chopped(1));
        else if (const QStringList g = groupsOf(line); !g.isEmpty()) {
            for (const QString& name : g)
                addOnce(f.groups, name);
        } else {
            field = false;
            f.note += memo.mid(pos, next - pos);
        }
        removed = removed || field;
        pos = next;
    }
    // compose puts one line break between the note and the fields.
    if (removed) {
        if (f.note.endsWith(QLatin1String("\r\n")))
            f.note.chop(2);
        else if (f.note.endsWith(QLatin1Char('\n')) || f.note.endsWith(QLatin1Char('\r')))
            f.note.chop(1);
    }
    return f;
}

QString compose(const Fields& fields)
{
    QStringList lines;
    if (!fields.honorific.trimmed().isEmpty())
        lines << kHonorificKey + QStringLiteral("：") + fields.honorific.trimmed();
    QStringList joint;
    for (const Joint& j : fields.joint) {
        const QString name = j.name.trimmed();
        if (name.isEmpty())
            continue;
        const QString h = j.honorific.trimmed();
        joint << (h.isEmpty() ? name : name + QStringLiteral("（") + h + QStringLiteral("）"));
    }
    if (!joint.isEmpty())
        lines << kJointKey + QStringLiteral("：") + joint.join(QStringLiteral("、"));
    QStringList groups;
    for (const QString& g : fields.groups)
        addOnce(groups, cleanGroup(g));
    if (!groups.isEmpty())
        lines << QStringLiteral("#") + groups.join(QStringLiteral(" #"));
    if (lines.isEmpty())
        return fields.note;
    // CR LF, as the Windows edition writes and shows line breaks, unless the
    // note has bare LF breaks of its own (a memo read from a CSV cell).
    const bool bareLf = fields.note.contains(QLatin1Char('\n')) && !fields.note.contains(QLatin1String("\r\n"));
    const QString eol = bareLf ? QStringLiteral("\n") : QStringLiteral("\r\n");
    return (fields.note.isEmpty() ? QString() : fields.note + eol) + lines.join(eol);
}

QString withGroups(const QString& memo, const QStringList& add, const QStringList& remove)
{
    Fields f = parse(memo);
    QStringList gone;
    for (const QString& g : remove)
        gone << cleanGroup(g);
    QStringList groups;
    for (const QString& g : f.groups) {
        if (!gone.contains(g))
            groups << g;
    }
    for (const QString& g : add)
        addOnce(groups, cleanGroup(g));
    if (groups == f.groups)
        return memo;
    f.groups = groups;
    return compose(f);
}

bool GroupFilter::accepts(const QString& memo) const
{
    switch (kind) {
    case All: return true;
    case NoGroup: return parse(memo).groups.isEmpty();
    case Group: return parse(memo).groups.contains(group);
    }
    return true;
}

QString firstNoteLine(const Fields& fields)
{
    for (const QStringView line : QStringView(fields.note).split(QLatin1Char('\n'))) {
        const QString text = line.trimmed().toString();
        if (!text.isEmpty())
            return text;
    }
    return QString();
}

} // namespace tessolo::customer::memo
