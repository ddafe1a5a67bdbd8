#include "atena/atenadata.h"

#include "customer/ourcompany.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"
#include "customer/memofields.h"
#include "postal/postalcode.h"

#include <QHash>
#include <QSet>

namespace tessolo::atena {

namespace {

constexpr qsizetype kRowidsPerQuery = 500;

QString field(const TSQLiteTable& t, const char* name) { return t.NamedFieldAsString(QString::fromLatin1(name)); }

Recipient recipientOf(const TSQLiteTable& t)
{
    Recipient r;
    r.rowid = field(t, "rowid").toLongLong();
    r.postalTyped = field(t, "postal_code");
    r.postal = postal::cleaned(r.postalTyped);
    r.prefecture = field(t, "prefecture");
    r.city = field(t, "city");
    r.town = field(t, "town");
    r.building = field(t, "building");
    r.company = field(t, "company_name");
    r.department = field(t, "department");
    r.person = field(t, "person_name");
    const customer::memo::Fields memo = customer::memo::parse(field(t, "memo"));
    r.groups = memo.groups;
    r.joint = memo.joint;
    r.honorific = memo.honorific;
    return r;
}

} // namespace

QList<Recipient> loadRecipients(const QList<qint64>& rowids)
{
    QHash<qint64, Recipient> byRowid;
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    for (qsizetype from = 0; from < rowids.size(); from += kRowidsPerQuery) {
        QStringList ids;
        for (qint64 id : rowids.mid(from, kRowidsPerQuery))
            ids << QString::number(id);
        const auto table = db.query(customer::rowidsSql(ids));
        for (table->MoveFirst(); !table->Eof(); table->Next()) {
            Recipient r = recipientOf(*table);
            byRowid.insert(r.rowid, r);
        }
    }
    db.closeDBpoint();
    QList<Recipient> out;
    QSet<qint64> seen;
    for (qint64 id : rowids) {
        const auto it = byRowid.constFind(id);
        if (it == byRowid.constEnd() || seen.contains(id))
            continue;
        seen.insert(id);
        out << *it;
    }
    return out;
}

QList<SenderChoice> senderChoices()
{
    QList<SenderChoice> out;
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto table = db.query(ourcompany::kListSql);
    for (table->MoveFirst(); !table->Eof(); table->Next())
        out << SenderChoice{field(*table, "rowid").toLongLong(), field(*table, "co_name")};
    return out;
}

Sender loadSender(qint64 rowid)
{
    Sender s;
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto table = db.query(ourcompany::selectOneSql(QString::number(rowid)));
    for (table->MoveFirst(); !table->Eof(); table->Next()) {
        s.name = field(*table, "co_name");
        s.postal = field(*table, "postal_code").trimmed();
        s.address = field(*table, "prefecture") + field(*table, "city") + field(*table, "town");
        s.building = field(*table, "building");
        s.tel = field(*table, "tel");
    }
    return s;
}

} // namespace tessolo::atena
