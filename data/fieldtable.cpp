#include "data/fieldtable.h"

#include "data/errors.h"

namespace tessolo::fields {

QStringList texts(Table table, QStringView Field::*member)
{
    QStringList out;
    out.reserve(qsizetype(table.size()));
    for (const Field& f : table)
        out << (f.*member).toString();
    return out;
}

int indexOf(Table table, QStringView column)
{
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].column == column)
            return int(i);
    }
    return -1;
}

const Field& byColumn(Table table, QStringView column)
{
    const int i = indexOf(table, column);
    if (i < 0)
        throw TessoloError(QStringLiteral("列「%1」の項目がありません。").arg(column));
    return table[size_t(i)];
}

const Field& byControl(Table table, QLatin1String control)
{
    for (const Field& f : table) {
        if (control == QLatin1String(f.control))
            return f;
    }
    throw TessoloError(QStringLiteral("「%1」を表示する項目がありません。").arg(control));
}

QList<int> withRole(Table table, Role role)
{
    QList<int> found;
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].role == role)
            found << int(i);
    }
    return found;
}

} // namespace tessolo::fields
