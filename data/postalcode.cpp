#include "data/postalcode.h"

namespace tessolo::postal {

QString toStored(const QString& fieldText)
{
    if (fieldText == kEmptyField)
        return QString();
    QString v = fieldText;
    v.remove(QLatin1Char('-'));
    return v;
}

QString postal2mask(const QString& stored)
{
    return stored.left(3) + QLatin1Char('-') + stored.mid(3, 4);
}

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

} // namespace tessolo::postal
