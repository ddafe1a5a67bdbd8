#include "csvimport/addresssplit.h"

#include "csvimport/municipalities.h"
#include "data/sqlitedo.h"

namespace tessolo::csvimport {

namespace {

// Blanks a user leaves between the parts (an import has made the half-width
// ones underscores by then).
bool isSeparator(QChar c) { return c == u' ' || c == u'_' || c == QChar(0x3000); }

QStringView skipSeparators(QStringView s)
{
    while (!s.isEmpty() && isSeparator(s.front()))
        s = s.sliced(1);
    return s;
}

} // namespace

TAddressSplitter::TAddressSplitter(const QList<std::pair<QString, QString>>& municipalities)
{
    for (const auto& [prefecture, city] : municipalities) {
        if (prefecture.isEmpty() || city.isEmpty())
            continue;
        if (!m_prefectures.contains(prefecture))
            m_prefectures << prefecture;
        QStringList& holders = m_prefecturesOf[city];
        if (!holders.contains(prefecture))
            holders << prefecture;
        m_longest = std::max(m_longest, city.size());
    }
}

TAddressSplitter TAddressSplitter::shipped()
{
    QList<std::pair<QString, QString>> pairs;
    for (const QString& line : QString::fromUtf16(kMunicipalities).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma > 0)
            pairs.append({line.first(comma), line.sliced(comma + 1)});
    }
    return TAddressSplitter(pairs);
}

TAddressSplitter TAddressSplitter::forImport()
{
    QList<std::pair<QString, QString>> pairs;
    {
        TSQLiteDo db;
        db.getDBpoint(kDatabaseName);
        const auto t = db.query(QStringLiteral("select distinct prefecture2, city2 from m_postal"));
        for (t->MoveFirst(); !t->Eof(); t->Next())
            pairs.append(
                {t->NamedFieldAsString(QStringLiteral("prefecture2")), t->NamedFieldAsString(QStringLiteral("city2"))});
    }
    TAddressSplitter fromList(pairs);
    return fromList.m_prefectures.isEmpty() ? shipped() : fromList;
}

// The longest municipality `text` begins with: within `prefecture`, or, with
// no prefecture given, in any (their names in `prefectures`).
QString TAddressSplitter::municipalityAt(QStringView text, const QString& prefecture, QStringList* prefectures) const
{
    for (qsizetype n = std::min(m_longest, text.size()); n > 0; --n) {
        const auto it = m_prefecturesOf.constFind(text.first(n).toString());
        if (it == m_prefecturesOf.constEnd())
            continue;
        if (prefecture.isEmpty()) {
            *prefectures = *it;
            return it.key();
        }
        if (it->contains(prefecture))
            return it.key();
    }
    return QString();
}

std::optional<SplitAddress> TAddressSplitter::split(const QString& whole) const
{
    QStringView text = skipSeparators(whole);
    SplitAddress out;
    for (const QString& p : m_prefectures) {
        if (text.startsWith(p)) {
            out.prefecture = p;
            text = skipSeparators(text.sliced(p.size()));
            break;
        }
    }
    QStringList holders;
    out.city = municipalityAt(text, out.prefecture, &holders);
    if (out.city.isEmpty())
        return std::nullopt;
    if (out.prefecture.isEmpty()) {
        if (holders.size() != 1)
            return std::nullopt; // 府中市 alone: 東京都 or 広島県
        out.prefecture = holders.constFirst();
    }
    out.rest = skipSeparators(text.sliced(out.city.size())).toString();
    return out;
}

} // namespace tessolo::csvimport
