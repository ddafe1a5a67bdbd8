#include "postal/postalcode.h"

namespace tessolo::postal {

QString toStored(const QString& fieldText)
{
    if (fieldText == kEmptyField)
        return QString();
    QString v = fieldText;
    v.remove(QLatin1Char('-'));
    return v;
}

QString postal2mask(const QString& stored) { return stored.left(3) + QLatin1Char('-') + stored.mid(3, 4); }

QString townName(const QString& town2)
{
    QString town = town2.trimmed();
    if (town == QStringLiteral("以下に掲載がない場合") || town.endsWith(QStringLiteral("の次に番地がくる場合")))
        return QString();
    // 一円 alone is a real town (多賀町一円); after a name it means "all of it".
    if (town.size() > 2 && town.endsWith(QStringLiteral("一円")))
        return QString();
    const qsizetype open = town.indexOf(QStringLiteral("（"));
    const qsizetype close = town.indexOf(QStringLiteral("）"));
    if (close >= 0 && (open < 0 || close < open))
        return QString();
    if (open >= 0)
        town.truncate(open);
    return town.trimmed();
}

QString cleaned(const QString& given)
{
    QString out;
    out.reserve(given.size());
    for (const QChar c : given) {
        const char16_t u = c.unicode();
        if (u >= u'０' && u <= u'９')
            out += QChar(u'0' + (u - u'０'));
        else if (c.isSpace() || u == u'〒' || u == u'〶' || u == u'-' || u == u'－' || u == u'ー' || u == u'ｰ' ||
                 u == u'−' || (u >= 0x2010 && u <= 0x2015))
            continue;
        else
            out += c;
    }
    return out;
}

bool isSevenDigits(const QString& stored)
{
    if (stored.size() != 7)
        return false;
    for (const QChar c : stored) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace tessolo::postal
