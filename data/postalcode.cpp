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

} // namespace tessolo::postal
