#pragma once
// The database helper: the one road from the windows to tessolo.db (where it
// lies: data/datalocation.h). Each operation opens a connection, works, and closes it; the
// helper's destructor closes whatever is still open, so no connection outlives
// the handler that made it, on any path.

#include "postal/postalcode.h"
#include "data/datalocation.h"
#include "data/sqlitedb.h"

#include <QList>

#include <QString>
#include <memory>

namespace tessolo {

class TSQLiteDo {
public:
    TSQLiteDo() = default;
    ~TSQLiteDo() { closeDBpoint(); }
    TSQLiteDo(const TSQLiteDo&) = delete;
    TSQLiteDo& operator=(const TSQLiteDo&) = delete;

    QString DBFile;
    std::unique_ptr<TSQLiteDatabase> SQLiteDB;

    void initDB(const QString& strDB);
    void setDBpoint(const QString& strDB);
    TSQLiteDatabase& getDBpoint(const QString& strDB);
    void closeDBpoint();

    // Runs one statement in a transaction of its own. A failure is rolled
    // back and then raised, so that a lost write is never taken for a save.
    void exec_sql(const QString& strSQL);
    // Runs one statement inside the caller's transaction.
    void exec_sql2(const QString& strSQL);
    void beginTransaction();
    void commitTransaction();
    // Ends the caller's bulk transaction without keeping its rows.
    void rollbackTransaction();

    // Looks the seven-digit code up in m_postal; the out texts keep their
    // values when no row matches.
    void postal2address(const QString& postal, QString& prefecture, QString& city, QString& town);
    // Every address the code stands for, in the table's order, each once;
    // the row that postal2address returns is the last. Towns are cleaned of
    // the list's notes, and a row that only continues the row before (a
    // town's parenthesis split over rows) is not one of its own.
    QList<postal::PostalAddress> postalAddresses(const QString& postal);
    // False until the postal data update has stored a row.
    bool postalListLoaded();
    // The business a code of the business list belongs to: its name and the
    // name's reading as the list gives it (half-width katakana). False, with
    // the out texts unchanged, when the code is no business's own.
    bool postal2business(const QString& postal, QString& name, QString& reading);

    // One insert, update or delete from a window: opens tessolo.db, runs the
    // statement in its own transaction and closes. Raises on failure.
    static void execute(const QString& strSQL);

    // Runs a query given as UTF-16 on the open connection.
    std::unique_ptr<TSQLiteTable> query(const QString& sql);

    // The folder of the default database (location::defaultDirectory).
    static QString baseDirectory();
    // The full path every open operation uses for the file name `strDB`.
    static QString pathOf(const QString& strDB);

    // Creates each of the three tables that `db` lacks (initDB's work, also
    // used to know what a database of this program holds).
    static void createMissingTables(TSQLiteDatabase& db);
    // The index the postal lookups go by: without it each lookup reads the
    // whole national list. Only speed depends on it, so a file that cannot
    // take it now (read-only, another program writing) is used without.
    static constexpr const char* kPostalCodeIndex =
        "create index if not exists m_postal_postal_code2 on m_postal (postal_code2)";
    static void createIndexes(TSQLiteDatabase& db);

private:
    TSQLiteDatabase& open(const QString& strDB);
    TSQLiteDatabase& connection();
};

} // namespace tessolo
