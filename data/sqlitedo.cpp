#include "data/sqlitedo.h"

#include "data/store.h"
#include "data/transaction.h"
#include "data/safefile.h"

#include "text/cp932.h"
#include "data/sqltext.h"

#include <QDir>

namespace tessolo {

namespace {

const char* const kCreateStatements[][2] = {
    {"m_postal",
     "Create table m_postal ([gov_code] Varchar(5), [postal_code1] Varchar(5), [postal_code2] Varchar(7), "
     "[prefecture1] Text, [city1] Text, [town1] Text, [prefecture2] Text, [city2] Text, [town2] Text)"},
    {"t_customer",
     "Create table t_customer ([person_name] Text, [person_kana] Text, [company_name] Text, [company_kana] Text, "
     "[cm_position] Text, [department] Text, [postal_code] Text, [prefecture] Text, [city] Text, [town] Text, "
     "[building] Text, [tel] Text, [fax] Text, [email1] Text, [email2] Text, [url] Text, [memo] Text)"},
    {"m_our_company",
     "Create table m_our_company ([co_name] Text, [postal_code] Varchar(7), [prefecture] Text, [city] Text, "
     "[town] Text, [building] Text, [tel] Text, [fax] Text, [email] Text, [url] Text, [memo] Text)"},
};

} // namespace

QString TSQLiteDo::baseDirectory() { return location::defaultDirectory(); }

QString TSQLiteDo::pathOf(const QString& strDB) { return QDir::toNativeSeparators(location::databaseFile(strDB)); }

TSQLiteDatabase& TSQLiteDo::open(const QString& strDB)
{
    closeDBpoint();
    DBFile = pathOf(strDB);
    SQLiteDB = std::make_unique<TSQLiteDatabase>(DBFile);
    return *SQLiteDB;
}

TSQLiteDatabase& TSQLiteDo::connection()
{
    if (!SQLiteDB)
        throw ESQLiteException(QStringLiteral("Database is not open"));
    return *SQLiteDB;
}

void TSQLiteDo::createMissingTables(TSQLiteDatabase& db)
{
    for (const auto& table : kCreateStatements) {
        if (!db.TableExists(QString::fromLatin1(table[0])))
            db.ExecSQL(QByteArray(table[1]));
    }
}

void TSQLiteDo::createIndexes(TSQLiteDatabase& db)
{
    try {
        db.ExecSQL(QByteArray(kPostalCodeIndex));
    } catch (const ESQLiteException&) {
        // Lookups read the whole list until a later start can add it.
    }
}

void TSQLiteDo::initDB(const QString& strDB)
{
    createMissingTables(open(strDB));
    createIndexes(*SQLiteDB);
    closeDBpoint();
    // Created or left by an older version with the umask's mode: the roster
    // is readable by its owner alone; SQLite gives its journal the same mode.
    makeFilePrivate(DBFile);
}

void TSQLiteDo::setDBpoint(const QString& strDB) { open(strDB); }

TSQLiteDatabase& TSQLiteDo::getDBpoint(const QString& strDB) { return open(strDB); }

void TSQLiteDo::closeDBpoint() { SQLiteDB.reset(); }

void TSQLiteDo::exec_sql(const QString& strSQL)
{
    // A statement that did not run must not look like a save: the
    // transaction rolls back and the error reaches the caller.
    TTransaction transaction(connection());
    transaction.connection().ExecSQL(cp932::encode(strSQL));
    transaction.commit();
}

void TSQLiteDo::execute(const QString& strSQL)
{
    TSQLiteDo db;
    db.setDBpoint(kDatabaseName);
    db.exec_sql(strSQL);
}

void TSQLiteDo::exec_sql2(const QString& strSQL) { connection().ExecSQL(cp932::encode(strSQL)); }

void TSQLiteDo::beginTransaction() { connection().BeginTransaction(); }

void TSQLiteDo::commitTransaction() { connection().Commit(); }

void TSQLiteDo::rollbackTransaction()
{
    TSQLiteDatabase& db = connection();
    if (db.IsTransactionOpen())
        db.Rollback();
}

std::unique_ptr<TSQLiteTable> TSQLiteDo::query(const QString& sql) { return connection().GetTable(cp932::encode(sql)); }

void TSQLiteDo::postal2address(const QString& postal, QString& prefecture, QString& city, QString& town)
{
    // Several towns may share a code: the last row read wins.
    const QList<postal::PostalAddress> rows = postalAddresses(postal);
    if (!rows.isEmpty()) {
        prefecture = rows.last().prefecture;
        city = rows.last().city;
        town = rows.last().town;
    }
}

QList<postal::PostalAddress> TSQLiteDo::postalAddresses(const QString& postal)
{
    auto table = query(QStringLiteral("select prefecture2, city2, town2 from m_postal where postal_code2 = ") +
                       sqltext::literal(postal));
    QList<postal::PostalAddress> rows;
    for (table->MoveFirst(); !table->Eof(); table->Next())
        store::addPostalRow(rows, table->NamedFieldAsString(QStringLiteral("prefecture2")),
                            table->NamedFieldAsString(QStringLiteral("city2")),
                            table->NamedFieldAsString(QStringLiteral("town2")));
    return rows;
}

bool TSQLiteDo::postalListLoaded()
{
    return query(QStringLiteral("select postal_code2 from m_postal limit 1"))->Count() > 0;
}

bool TSQLiteDo::postal2business(const QString& postal, QString& name, QString& reading)
{
    // A business row has no prefecture reading; its city1 and town1 hold the
    // name's reading and the name.
    auto table = query(QStringLiteral("select city1, town1 from m_postal where prefecture1 = '' and postal_code2 = ") +
                       sqltext::literal(postal));
    if (!table->MoveFirst() || table->Eof())
        return false;
    reading = table->NamedFieldAsString(QStringLiteral("city1"));
    name = table->NamedFieldAsString(QStringLiteral("town1"));
    return true;
}

} // namespace tessolo
