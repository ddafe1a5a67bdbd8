// A roster moved from the file onto a server and written back out: the same
// stored bytes, rowids included; and a server that already holds a roster
// is not mixed with a file unasked.

#include "storetest.h"

#include "data/pgstore.h"
#include "data/sqlitedb.h"
#include "data/sqlitedo.h"
#include "data/storetransfer.h"
#include "text/cp932.h"

#include <QTemporaryDir>
#include <sqlite3.h>

using namespace tessolo::store;
using storetest::customerValues;

namespace {

void exec(tessolo::TSQLiteDatabase& db, const QString& sql) { db.ExecSQL(tessolo::cp932::encode(sql)); }

// Every row of the three tables with each cell's storage class and bytes.
QByteArray storedBytes(const QString& path)
{
    tessolo::TSQLiteDatabase db(path);
    QByteArray out;
    for (const char* table : {"t_customer", "m_our_company", "m_postal"}) {
        const QByteArray sql = QByteArray("select rowid, * from ") + table + " order by rowid";
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &stmt, nullptr), SQLITE_OK);
        out += table;
        out += '\n';
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, c));
                out += QByteArray::number(sqlite3_column_type(stmt, c)) + ':' +
                    QByteArray(bytes, sqlite3_column_bytes(stmt, c)).toHex() + ' ';
            }
            out += '\n';
        }
        sqlite3_finalize(stmt);
    }
    return out;
}

QString makeFile(const QString& dir)
{
    const QString path = dir + QStringLiteral("/office.db");
    tessolo::TSQLiteDatabase db(path);
    tessolo::TSQLiteDo::createMissingTables(db);
    exec(db,
         QStringLiteral("insert into t_customer values ('山田太郎','ヤマダタロウ','O''Brien商会','オブライエン',"
                        "'部長','営業部','1000005','東京都','千代田区','丸の内１－１','①ビル','03-1234-5678',"
                        "'','a@example.jp','','example.jp','一行目\r\n二行目\t\\終')"));
    exec(db,
         QStringLiteral("insert into t_customer values ('消える','','','','','','','','','','','','','','','','')"));
    exec(db, QStringLiteral("insert into t_customer (person_name, person_kana) values ('ｶﾅだけ','すずき')"));
    exec(db, QStringLiteral("delete from t_customer where person_name = '消える'"));
    exec(db,
         QStringLiteral("insert into m_our_company values ('本社','1000005','東京都','千代田区','丸の内','',"
                        "'03','','','','')"));
    exec(db,
         QStringLiteral("insert into m_postal values ('13101','100  ','1000005','ﾄｳｷｮｳﾄ','ﾁﾖﾀﾞｸ','ﾏﾙﾉｳﾁ',"
                        "'東京都','千代田区','丸の内（次のビルを除く）')"));
    exec(db,
         QStringLiteral("insert into m_postal values ('13101','100  ','1008111','','ｸﾅｲﾁｮｳ','宮内庁',"
                        "'東京都','千代田区','千代田１－１')"));
    return path;
}

} // namespace

TEST(StoreTransfer, FileToServerToFileKeepsTheStoredBytes)
{
    std::unique_ptr<storetest::ScratchDatabase> db;
    STORETEST_NEED_SERVER(db);
    QTemporaryDir dir;
    const QString in = makeFile(dir.path());
    TPgStore server(db->uri());

    const TransferCount imported = importFile(server, in, ImportMode::IntoEmpty);
    EXPECT_EQ(imported.customers, 2);
    EXPECT_EQ(imported.sites, 1);
    EXPECT_EQ(imported.postalRows, 2);
    EXPECT_EQ(imported.altered, 0);

    // The server answers as the file did.
    EXPECT_EQ(server.customers().size(), 2);
    EXPECT_EQ(server.postalAddresses(QStringLiteral("1000005")).size(), 1);
    // New customers are keyed after the highest rowid that came in.
    const CustomerRow added = server.insertCustomer(customerValues(QStringLiteral("n")));
    EXPECT_GT(added.key, 3);
    server.deleteCustomer(added);

    const QString out = dir.path() + QStringLiteral("/back.db");
    const TransferCount exported = exportFile(server, out);
    EXPECT_EQ(exported.customers, 2);
    EXPECT_EQ(storedBytes(out), storedBytes(in));
}

TEST(StoreTransfer, AServerHoldingARosterIsNotMixedWithAFileUnasked)
{
    std::unique_ptr<storetest::ScratchDatabase> db;
    STORETEST_NEED_SERVER(db);
    QTemporaryDir dir;
    const QString in = makeFile(dir.path());
    TPgStore server(db->uri());
    const CustomerRow there = server.insertCustomer(customerValues(QStringLiteral("there")));

    EXPECT_THROW(importFile(server, in, ImportMode::IntoEmpty), tessolo::TessoloError);
    ASSERT_EQ(server.customers().size(), 1);
    EXPECT_EQ(server.customers().first().values, there.values);

    importFile(server, in, ImportMode::Replace);
    EXPECT_EQ(server.customers().size(), 2);
    EXPECT_FALSE(server.customer(there.key).has_value() && server.customer(there.key)->values == there.values);

    // Bytes that are no code page 932 character cannot go to a UTF-8
    // server as they are: they are counted, so the caller can say so.
    {
        tessolo::TSQLiteDatabase file(in);
        file.ExecSQL(QByteArray("insert into t_customer (person_name) values ('\x81\xFF')"));
    }
    EXPECT_EQ(importFile(server, in, ImportMode::Replace).altered, 1);
}

TEST(StoreTransfer, AFileThatIsNotARosterChangesNothing)
{
    std::unique_ptr<storetest::ScratchDatabase> db;
    STORETEST_NEED_SERVER(db);
    QTemporaryDir dir;
    TPgStore server(db->uri());
    server.insertCustomer(customerValues(QStringLiteral("kept")));
    EXPECT_THROW(importFile(server, dir.path() + QStringLiteral("/missing.db"), ImportMode::Replace),
                 tessolo::TessoloError);
    {
        tessolo::TSQLiteDatabase other(dir.path() + QStringLiteral("/other.db"));
        other.ExecSQL("create table notes (x text)");
    }
    EXPECT_THROW(importFile(server, dir.path() + QStringLiteral("/other.db"), ImportMode::Replace),
                 tessolo::TessoloError);
    EXPECT_EQ(server.customers().size(), 1);
}
