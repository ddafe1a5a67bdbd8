#include "customer/customergroups.h"

#include "customer/memofields.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "data/store.h"
#include "text/cp932.h"

namespace tessolo::customer {

QStringList groupsInUse()
{
    QStringList out;
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto table =
        db.query(QStringLiteral("select memo from t_customer where memo like '%#%' or memo like '%＃%'"));
    for (table->MoveFirst(); !table->Eof(); table->Next()) {
        for (const QString& g : memo::parse(table->NamedFieldAsString(QStringLiteral("memo"))).groups) {
            if (!out.contains(g))
                out << g;
        }
    }
    return out;
}

int applyGroups(const QList<qint64>& rowids, const QStringList& add, const QStringList& remove)
{
    for (const QString& g : add) {
        const QStringList lacking = cp932::unencodable(g);
        if (!lacking.isEmpty())
            throw TessoloError(
                QStringLiteral("グループ名「%1」の「%2」は保存できない文字です。").arg(g, lacking.join(QString())));
    }
    return int(store::current().updateCustomers(
        rowids, [&](const store::CustomerValues& stored) -> std::optional<store::CustomerValues> {
            store::CustomerValues after = stored;
            after[col::Memo] = memo::withGroups(stored[col::Memo], add, remove);
            return after;
        }));
}

} // namespace tessolo::customer
