#include "postal/shippedpostal.h"

#include "data/datalocation.h"
#include "data/sqlitedo.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace tessolo::shippedpostal {

std::optional<ShippedList> find(const QString& folder)
{
    ShippedList list;
    list.file = folder + QStringLiteral("/ken_all.csv.gz");
    QFile info(folder + QStringLiteral("/ken_all.info"));
    if (!QFileInfo(list.file).isFile() || !info.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    static const QRegularExpression dateLine(QStringLiteral("^date=(\\d{4})-(\\d{2})\\s*$"),
                                             QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = dateLine.match(QString::fromUtf8(info.readAll()));
    if (!m.hasMatch())
        return std::nullopt;
    list.year = m.captured(1).toInt();
    list.month = m.captured(2).toInt();
    if (list.month < 1 || list.month > 12)
        return std::nullopt;
    return list;
}

bool isShippedList(const QString& file)
{
    const QFileInfo info(file);
    const auto list = find(info.absolutePath());
    return list && QFileInfo(list->file).absoluteFilePath() == info.absoluteFilePath();
}

QString shippedFolder() { return location::sharedFolder(QStringLiteral("postal")); }

bool postalTableIsEmpty()
{
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    return db.query(QStringLiteral("select 1 from m_postal limit 1"))->Count() == 0;
}

} // namespace tessolo::shippedpostal
