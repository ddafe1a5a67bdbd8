#include "atena/atenacheck.h"

#include "data/store.h"

#include <QHash>
#include <QSet>
#include <memory>

namespace tessolo::atena {

namespace {

const QString kHeldKey = QStringLiteral("atena/heldGroups");

// Names compared as people write them: blanks dropped, and the small ヶ ヵ
// and が written for the same sound as in 霞ヶ関 / 霞が関 made one.
QString folded(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c.isSpace() || c == QChar(0x3000))
            continue;
        if (c == QChar(0x30F6) || c == QChar(0x30B1) || c == QChar(0x304C) || c == QChar(0x30AC) || c == QChar(0x30F5))
            c = QChar(0x30F6);
        out += c;
    }
    return out;
}

// The address lies in the code's area when its prefecture is the code's and
// its city (with what follows, as a designated city's ward may stand in the
// town field) begins with the code's city, or with it less its county.
bool sameArea(const Recipient& r, const postal::PostalAddress& a)
{
    if (folded(r.prefecture) != folded(a.prefecture))
        return false;
    const QString rest = folded(r.city + r.town);
    const QString city = folded(a.city);
    if (rest.startsWith(city))
        return true;
    const qsizetype gun = city.indexOf(QStringLiteral("郡"));
    return gun > 0 && rest.startsWith(city.mid(gun + 1));
}

bool hasQuestionMark(const QString& text) { return text.contains(QLatin1Char('?')) || text.contains(QChar(0xFF1F)); }

} // namespace

QStringList heldGroups(QSettings& settings)
{
    return settings.value(kHeldKey, QStringList{QStringLiteral("喪中"), QStringLiteral("DM不要")}).toStringList();
}

void setHeldGroups(QSettings& settings, const QStringList& groups) { settings.setValue(kHeldKey, groups); }

int Held::total() const
{
    int n = 0;
    for (const auto& c : counts)
        n += c.second;
    return n;
}

QString Held::message() const
{
    QStringList parts;
    for (const auto& [group, n] : counts)
        parts << QStringLiteral("%1 %2 件").arg(group).arg(n);
    return parts.isEmpty() ? QString() : parts.join(QStringLiteral("、")) + QStringLiteral("を除きました");
}

Held leaveOutHeld(const QList<Recipient>& recipients, const QStringList& held)
{
    Held out;
    QList<int> counts(held.size(), 0);
    for (const Recipient& r : recipients) {
        qsizetype first = -1;
        for (qsizetype i = 0; i < held.size() && first < 0; ++i) {
            if (r.groups.contains(held.at(i)))
                first = i;
        }
        if (first < 0)
            out.kept << r;
        else
            ++counts[first];
    }
    for (qsizetype i = 0; i < held.size(); ++i) {
        if (counts.at(i) > 0)
            out.counts.push_back({held.at(i), counts.at(i)});
    }
    return out;
}

namespace {
// The code a recipient is checked by: as typed where it was typed.
QString codeOf(const Recipient& r) { return postal::cleaned(r.postalTyped.isEmpty() ? r.postal : r.postalTyped); }
} // namespace

QList<Problem> problemsOf(const QList<Recipient>& recipients, const PostalLookup& lookup)
{
    QList<Problem> out;
    for (const Recipient& r : recipients) {
        Problem p{r.rowid, r.displayName(), {}};
        if (r.address().trimmed().isEmpty())
            p.reasons << QStringLiteral("住所がありません");
        const QString code = codeOf(r);
        if (code.isEmpty()) {
            p.reasons << QStringLiteral("郵便番号がありません");
        } else if (!postal::isSevenDigits(code)) {
            p.reasons << QStringLiteral("郵便番号「%1」が7桁の数字ではありません").arg(r.postalTyped.trimmed());
        } else if (lookup) {
            const QList<postal::PostalAddress> areas = lookup(code);
            if (areas.isEmpty()) {
                p.reasons << QStringLiteral("郵便番号 %1 が郵便番号データにありません").arg(code);
            } else if (!r.address().trimmed().isEmpty()) {
                bool same = false;
                for (const postal::PostalAddress& a : areas)
                    same = same || sameArea(r, a);
                if (!same)
                    p.reasons << QStringLiteral("郵便番号 %1 は %2%3 の番号で、住所と都道府県か市区町村が違います")
                                     .arg(code, areas.first().prefecture, areas.first().city);
            }
        }
        if (hasQuestionMark(r.address() + r.building))
            p.reasons << QStringLiteral("住所に「?」があります");
        if (hasQuestionMark(r.person + r.company + r.department))
            p.reasons << QStringLiteral("名前に「?」があります");
        if (!p.reasons.isEmpty())
            out << p;
    }
    return out;
}

PostalLookup databaseLookup(const QList<Recipient>& recipients)
{
    if (!store::current().postalListLoaded())
        return {};
    // One question for the whole mailing: one statement and one read
    // transaction for every code, and a file still without the postal index
    // is read once, not once for each code.
    QSet<QString> codes;
    for (const Recipient& r : recipients) {
        const QString code = codeOf(r);
        if (postal::isSevenDigits(code))
            codes.insert(code);
    }
    auto found =
        std::make_shared<const store::TStore::PostalAddressesByCode>(store::current().postalAddressesOf(codes));
    return [found](const QString& code) { return found->value(code); };
}

} // namespace tessolo::atena
