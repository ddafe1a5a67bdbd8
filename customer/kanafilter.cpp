#include "customer/kanafilter.h"

#include "data/sqltext.h"
#include "text/cp932.h"
#include "text/cp932glob.h"

namespace tessolo::kana {

QString queryText(int kanaCode)
{
    QString sql = QStringLiteral("select rowid, * ") + QStringLiteral(" from t_customer where rowid >=0  ");
    if (kanaCode >= 1 && kanaCode < int(codes().size())) {
        const QStringList& patterns = codes()[kanaCode].patterns;
        for (qsizetype i = 0; i < patterns.size(); ++i) {
            sql += (i == 0 ? QStringLiteral(" and person_kana glob '") : QStringLiteral(" OR person_kana glob '")) +
                patterns[i] + QStringLiteral("*'");
        }
    }
    return sql + QStringLiteral(" ORDER BY person_kana COLLATE kana");
}

bool inKanaRow(int kanaCode, const QString& reading)
{
    if (kanaCode < 1 || kanaCode >= int(codes().size()))
        return true;
    const QByteArray stored = cp932::encode(reading);
    for (const QString& pattern : codes()[kanaCode].patterns) {
        if (cp932Glob(cp932::encode(pattern + QLatin1Char('*')), stored))
            return true;
    }
    return false;
}

bool matchesNameSearch(const QString& typed, const QString& reading)
{
    return cp932Glob(cp932::encode(typed + QLatin1Char('*')), cp932::encode(reading));
}

QString nameSearchText(const QString& typed)
{
    return QStringLiteral("select rowid, * ") + QStringLiteral(" from t_customer where rowid >=0  ") +
        QStringLiteral(" and person_kana glob ") + sqltext::literal(typed + QLatin1Char('*')) +
        QStringLiteral(" ORDER BY person_kana COLLATE kana");
}

} // namespace tessolo::kana
