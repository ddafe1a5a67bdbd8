#include "atena/atenadata.h"

#include "customer/ourcompany.h"
#include "data/sqlitedo.h"
#include "data/store.h"
#include "customer/customer.h"
#include "customer/memofields.h"
#include "postal/postalcode.h"

namespace tessolo::atena {

namespace {

QString field(const TSQLiteTable& t, const char* name) { return t.NamedFieldAsString(QString::fromLatin1(name)); }

Recipient recipientOf(qint64 rowid, const customer::Record& c)
{
    namespace col = customer::col;
    Recipient r;
    r.rowid = rowid;
    r.postalTyped = c[col::PostalCode];
    r.postal = postal::cleaned(r.postalTyped);
    r.prefecture = c[col::Prefecture];
    r.city = c[col::City];
    r.town = c[col::Town];
    r.building = c[col::Building];
    r.company = c[col::CompanyName];
    r.department = c[col::Department];
    r.person = c[col::PersonName];
    const customer::memo::Fields memo = customer::memo::parse(c[col::Memo]);
    r.groups = memo.groups;
    r.joint = memo.joint;
    r.honorific = memo.honorific;
    return r;
}

} // namespace

QList<Recipient> loadRecipients(const QList<qint64>& rowids)
{
    QList<Recipient> out;
    for (const customer::Stored& s : customer::recordsOf(rowids))
        out << recipientOf(s.rowid, s.record);
    return out;
}

QList<SenderChoice> senderChoices()
{
    QList<SenderChoice> out;
    if (store::currentIsServer()) {
        for (const store::SiteRow& site : store::current().sites())
            out << SenderChoice{site.key, site.values[ourcompany::col::CoName]};
        return out;
    }
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto table = db.query(ourcompany::kListSql);
    for (table->MoveFirst(); !table->Eof(); table->Next())
        out << SenderChoice{field(*table, "rowid").toLongLong(), field(*table, "co_name")};
    return out;
}

Sender loadSender(qint64 rowid)
{
    namespace col = ourcompany::col;
    const auto senderOf = [](const auto& value) {
        Sender s;
        s.name = value(col::CoName);
        s.postal = value(col::PostalCode).trimmed();
        s.address = value(col::Prefecture) + value(col::City) + value(col::Town);
        s.building = value(col::Building);
        s.tel = value(col::Tel);
        return s;
    };
    if (store::currentIsServer()) {
        for (const store::SiteRow& site : store::current().sites()) {
            if (site.key == rowid)
                return senderOf([&site](int c) { return site.values[size_t(c)]; });
        }
        return {};
    }
    Sender s;
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto table = db.query(ourcompany::selectOneSql(QString::number(rowid)));
    for (table->MoveFirst(); !table->Eof(); table->Next())
        s = senderOf(
            [&table](int c) { return table->NamedFieldAsString(ourcompany::kFields[size_t(c)].column.toString()); });
    return s;
}

} // namespace tessolo::atena
