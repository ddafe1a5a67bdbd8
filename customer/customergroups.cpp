#include "customer/customergroups.h"

#include "customer/memofields.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "data/sqltext.h"
#include "data/transaction.h"
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

int applyGroups(const QStringList& rowids, const QStringList& add, const QStringList& remove)
{
    for (const QString& g : add) {
        const QStringList lacking = cp932::unencodable(g);
        if (!lacking.isEmpty())
            throw TessoloError(
                QStringLiteral("グループ名「%1」の「%2」は保存できない文字です。").arg(g, lacking.join(QString())));
    }
    TSQLiteDo db;
    TSQLiteDatabase& connection = db.getDBpoint(kDatabaseName);
    TTransaction transaction(connection);
    int changed = 0;
    for (const QString& rowid : rowids) {
        bool number = false;
        rowid.toLongLong(&number);
        if (!number)
            continue;
        const auto table = db.query(QStringLiteral("select memo from t_customer where rowid = ") + rowid);
        for (table->MoveFirst(); !table->Eof(); table->Next()) {
            const QString before = table->NamedFieldAsString(QStringLiteral("memo"));
            const QString after = memo::withGroups(before, add, remove);
            if (after == before)
                continue;
            db.exec_sql2(QStringLiteral("update t_customer set memo=") + sqltext::literal(after) +
                         QStringLiteral(" where rowid=") + rowid);
            ++changed;
        }
    }
    transaction.commit();
    return changed;
}

} // namespace tessolo::customer
