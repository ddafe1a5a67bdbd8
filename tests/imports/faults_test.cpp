// Faults an import must survive: the process killed at any moment, every
// write or sync of the database failing in turn, a database locked by
// another connection. After each, the file passes integrity_check and the
// table holds all the old rows or all the new ones, never a mix.

#include "csvimport/csvimportrun.h"
#include "data/errors.h"
#include "postal/postalupdate.h"
#include "importtestutil.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>
#include <cstring>
#include <sqlite3.h>

using namespace tessolo;

namespace {

// ------------------------------------------------------------ failing VFS
// A shim over the default VFS whose Nth write or sync (counted over every
// file: database and journal) fails with an I/O error.

struct Faults {
    int failWriteAt = 0; // 0: never
    int failSyncAt = 0;
    int writes = 0;
    int syncs = 0;
    int injected = 0;
    void arm(int w, int s)
    {
        failWriteAt = w;
        failSyncAt = s;
        writes = syncs = injected = 0;
    }
};
Faults faults;
sqlite3_vfs* realVfs = nullptr;

struct ShimFile {
    sqlite3_file base;
    sqlite3_file* real; // follows this struct in the same allocation
};
sqlite3_file* real(sqlite3_file* f) { return reinterpret_cast<ShimFile*>(f)->real; }

int shimClose(sqlite3_file* f)
{
    const int rc = real(f)->pMethods ? real(f)->pMethods->xClose(real(f)) : SQLITE_OK;
    return rc;
}
int shimRead(sqlite3_file* f, void* p, int n, sqlite3_int64 o) { return real(f)->pMethods->xRead(real(f), p, n, o); }
int shimWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 o)
{
    if (faults.failWriteAt && ++faults.writes == faults.failWriteAt) {
        ++faults.injected;
        return SQLITE_IOERR_WRITE;
    }
    return real(f)->pMethods->xWrite(real(f), p, n, o);
}
int shimTruncate(sqlite3_file* f, sqlite3_int64 s) { return real(f)->pMethods->xTruncate(real(f), s); }
int shimSync(sqlite3_file* f, int flags)
{
    if (faults.failSyncAt && ++faults.syncs == faults.failSyncAt) {
        ++faults.injected;
        return SQLITE_IOERR_FSYNC;
    }
    return real(f)->pMethods->xSync(real(f), flags);
}
int shimFileSize(sqlite3_file* f, sqlite3_int64* s) { return real(f)->pMethods->xFileSize(real(f), s); }
int shimLock(sqlite3_file* f, int l) { return real(f)->pMethods->xLock(real(f), l); }
int shimUnlock(sqlite3_file* f, int l) { return real(f)->pMethods->xUnlock(real(f), l); }
int shimCheckReserved(sqlite3_file* f, int* r) { return real(f)->pMethods->xCheckReservedLock(real(f), r); }
int shimFileControl(sqlite3_file* f, int op, void* a) { return real(f)->pMethods->xFileControl(real(f), op, a); }
int shimSectorSize(sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); }
int shimDeviceChar(sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); }

const sqlite3_io_methods shimMethods = {
    1,
    shimClose,
    shimRead,
    shimWrite,
    shimTruncate,
    shimSync,
    shimFileSize,
    shimLock,
    shimUnlock,
    shimCheckReserved,
    shimFileControl,
    shimSectorSize,
    shimDeviceChar,
    // Version 1 methods only: no shared memory (version 2), no memory
    // mapping (version 3).
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

int shimOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags)
{
    auto* s = reinterpret_cast<ShimFile*>(f);
    s->real = reinterpret_cast<sqlite3_file*>(s + 1);
    s->base.pMethods = nullptr;
    const int rc = realVfs->xOpen(realVfs, name, s->real, flags, outFlags);
    if (s->real->pMethods)
        s->base.pMethods = &shimMethods;
    return rc;
}

sqlite3_vfs shimVfs;

void registerShim()
{
    if (realVfs)
        return;
    realVfs = sqlite3_vfs_find(nullptr);
    shimVfs = *realVfs;
    shimVfs.zName = "faulty";
    shimVfs.szOsFile = int(sizeof(ShimFile)) + realVfs->szOsFile;
    shimVfs.xOpen = shimOpen;
    shimVfs.pAppData = nullptr;
    sqlite3_vfs_register(&shimVfs, 1);
}

// ------------------------------------------------------------ checks

// Opens the file as a restarted program would (a hot journal is rolled back
// on this first read) and answers integrity_check and a digest of the table.
struct State {
    QString integrity;
    qint64 rows = -1;
    QString digest;
};

State inspect(const QString& dbPath, const char* table)
{
    faults.arm(0, 0);
    State s;
    sqlite3* db = nullptr;
    sqlite3_open(dbPath.toUtf8().constData(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
    QStringList lines;
    while (sqlite3_step(st) == SQLITE_ROW)
        lines << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    s.integrity = lines.join('\n');
    const QByteArray q = QByteArray("select count(*), total(length(") +
        (std::strcmp(table, "m_postal") ? "person_name" : "town2") + ")), min(rowid), max(rowid) from " + table;
    sqlite3_prepare_v2(db, q.constData(), -1, &st, nullptr);
    if (sqlite3_step(st) == SQLITE_ROW) {
        s.rows = sqlite3_column_int64(st, 0);
        s.digest = QStringLiteral("%1/%2/%3/%4")
                       .arg(s.rows)
                       .arg(sqlite3_column_double(st, 1))
                       .arg(sqlite3_column_int64(st, 2))
                       .arg(sqlite3_column_int64(st, 3));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}

class Fixture {
public:
    // Fills the table with its old rows, keeps the file as the template every
    // round starts from, and works out the new state from one clean run.
    Fixture(const char* table, const QByteArray& newFile, const std::function<void(const QString&)>& runOnce)
        : m_table(table)
    {
        file = db.write(QStringLiteral("new.csv"), newFile);
        if (std::strcmp(table, "m_postal") == 0) {
            for (int i = 0; i < 50; ++i)
                db.exec(
                    QStringLiteral("insert into m_postal values ('1','2','%1','4','5','6','7','8','old%1')").arg(i));
        } else {
            for (int i = 0; i < 50; ++i)
                db.exec(QStringLiteral("insert into t_customer (person_name) values ('old%1')").arg(i));
        }
        QFile::copy(db.dbPath(), db.path(QStringLiteral("template.db")));
        oldState = inspect(db.dbPath(), m_table);
        runOnce(file);
        newState = inspect(db.dbPath(), m_table);
        reset();
    }
    void reset()
    {
        QFile::remove(db.dbPath() + QStringLiteral("-journal"));
        QFile::remove(db.dbPath());
        QFile::copy(db.path(QStringLiteral("template.db")), db.dbPath());
    }
    // "old", "new" or what went wrong.
    QString verdict()
    {
        const State s = inspect(db.dbPath(), m_table);
        if (s.integrity != QStringLiteral("ok"))
            return QStringLiteral("integrity: ") + s.integrity;
        if (s.digest == oldState.digest)
            return QStringLiteral("old");
        if (s.digest == newState.digest)
            return QStringLiteral("new");
        return QStringLiteral("mixed: ") + s.digest;
    }

    importtest::Db db;
    QString file;
    State oldState, newState;

private:
    const char* m_table;
};

QByteArray customerFile(int lines)
{
    QByteArray out;
    for (int i = 0; i < lines; ++i)
        out += QStringLiteral("山田 %1,ﾔﾏﾀﾞ,会社%1\r\n").arg(i).toUtf8();
    return importtest::sjis(QString::fromUtf8(out));
}

QByteArray postalFile(int lines)
{
    QByteArray slice = importtest::nationalSlice(lines);
    if (!slice.isEmpty())
        return slice;
    // Without the national list, lines of the same form.
    for (int i = 0; i < lines; ++i)
        slice += importtest::sjis(QStringLiteral("01102,\"001  \",\"%1\",\"ﾎｯｶｲﾄﾞｳ\",\"ｻｯﾎﾟﾛｼｷﾀｸ\",\"ｷﾀ\","
                                                 "\"北海道\",\"札幌市北区\",\"北%2条\",0,0,0,0,0,0\r\n")
                                      .arg(1000000 + i)
                                      .arg(i));
    return slice;
}

// A database of this program holding `rows` customers, as a copy to restore.
QByteArray customerDatabase(int rows)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("copy.db"));
    {
        TSQLiteDatabase db(path);
        TSQLiteDo::createMissingTables(db);
        db.ExecSQL("begin");
        for (int i = 0; i < rows; ++i)
            db.ExecSQL(
                QStringLiteral("insert into t_customer (person_name, company_name) values ('restored %1', '会社')")
                    .arg(i)
                    .toUtf8());
        db.ExecSQL("commit");
    }
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// ------------------------------------------------------------ killed

void killAtRandom(const char* mode, const char* table, const QByteArray& bytes)
{
    const QString driver = QStringLiteral(CRASH_DRIVER);
    qint64 fullMs = 0;
    QString dir;
    auto start = [&](QProcess& p, const QString& file) {
        p.start(driver, {QString::fromLatin1(mode), dir, file});
        return p.waitForStarted();
    };
    // The new state comes from one run to its end, timed.
    Fixture f(table, bytes, [&](const QString& file) {
        dir = QFileInfo(file).absolutePath();
        QElapsedTimer t;
        t.start();
        QProcess p;
        ASSERT_TRUE(start(p, file));
        ASSERT_TRUE(p.waitForFinished(-1));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        fullMs = t.elapsed();
    });
    ASSERT_NE(f.newState.digest, f.oldState.digest);
    int olds = 0, news = 0;
    for (int round = 0; round < 100; ++round) {
        const int at = int(QRandomGenerator::global()->bounded(qint64(fullMs * 12 / 10 + 1)));
        QProcess p;
        ASSERT_TRUE(start(p, f.file));
        QThread::msleep(at);
        p.kill(); // SIGKILL
        p.waitForFinished(-1);
        const QString v = f.verdict();
        ASSERT_TRUE(v == QStringLiteral("old") || v == QStringLiteral("new"))
            << "round " << round << " killed after " << at << " ms: " << v.toStdString();
        (v == QStringLiteral("old") ? olds : news)++;
        f.reset();
    }
    std::printf("[ killed   ] %s: one run %lld ms; 100 kills: %d left the old rows, %d the new\n", mode, qint64(fullMs),
                olds, news);
}

TEST(Killed, PostalUpdateLeavesOldOrNewRows) { killAtRandom("postal", "m_postal", postalFile(20000)); }
TEST(Killed, CsvImportLeavesNoRowOrAllRows) { killAtRandom("csv", "t_customer", customerFile(20000)); }
TEST(Killed, RestoreLeavesTheOldOrTheRestoredData) { killAtRandom("restore", "t_customer", customerDatabase(20000)); }

// ------------------------------------------------------------ I/O errors

using RunFn = std::function<void(const QString&)>;

void failEachInTurn(const char* table, const QByteArray& bytes, const RunFn& run, bool syncs)
{
    registerShim();
    Fixture f(table, bytes, run);
    ASSERT_NE(f.newState.digest, f.oldState.digest);
    int failures = 0;
    for (int n = 1;; ++n) {
        ASSERT_LT(n, 5000) << "the import never completed";
        syncs ? faults.arm(0, n) : faults.arm(n, 0);
        QString message;
        try {
            run(f.file);
        } catch (const TessoloError& e) {
            message = e.message();
        }
        const int injected = faults.injected;
        const QString v = f.verdict();
        if (message.isEmpty()) {
            // The Nth write or sync never came: the import ran to its end.
            ASSERT_EQ(injected, 0) << "a fault was swallowed at " << n;
            ASSERT_EQ(v, QStringLiteral("new"));
            std::printf("[ I/O      ] %s, failing %s 1..%d in turn: %d failures shown, each left the old rows\n", table,
                        syncs ? "sync" : "write", n - 1, failures);
            break;
        }
        ++failures;
        EXPECT_TRUE(message.contains(QStringLiteral("Error [10]: Some kind of disk I/O error occurred.")))
            << "n=" << n << ": " << message.toStdString();
        ASSERT_EQ(v, QStringLiteral("old")) << "n=" << n << ": " << message.toStdString();
        f.reset();
    }
}

const RunFn postalRun = [](const QString& file) { postalupdate::run(file); };
const RunFn csvRun = [](const QString& file) {
    csvimport::ColumnMap map;
    for (int k = 0; k < 3; ++k)
        map[k].first = k;
    csvimport::run(file, map);
};

TEST(IoErrors, PostalUpdateSurvivesEveryFailedWrite) { failEachInTurn("m_postal", postalFile(2000), postalRun, false); }
TEST(IoErrors, PostalUpdateSurvivesEveryFailedSync) { failEachInTurn("m_postal", postalFile(2000), postalRun, true); }
TEST(IoErrors, CsvImportSurvivesEveryFailedWrite) { failEachInTurn("t_customer", customerFile(2000), csvRun, false); }
TEST(IoErrors, CsvImportSurvivesEveryFailedSync) { failEachInTurn("t_customer", customerFile(2000), csvRun, true); }

} // namespace
