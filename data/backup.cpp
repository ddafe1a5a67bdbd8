#include "data/backup.h"

#include "data/safefile.h"
#include "data/sqlitedb.h"
#include "data/sqlitedo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessolo::backup {

namespace {

struct CloseHandle {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Handle = std::unique_ptr<sqlite3, CloseHandle>;

struct Statement {
    sqlite3_stmt* st = nullptr;
    ~Statement() { sqlite3_finalize(st); }
};

const QString kCopyBusy =
    QStringLiteral("別のプログラムがデータを書き込み中のため、バックアップを作成できませんでした。");
const QString kRestoreBusy =
    QStringLiteral("別のプログラムがデータを使用中のため、復元できませんでした。データは元のままです。");

const char* const kTables[] = {"t_customer", "m_postal", "m_our_company"};

struct ReasonWord {
    Reason reason;
    const char* word;
    const char* text;
};
const ReasonWord kReasons[] = {
    {Reason::Start, "start", "起動時"},
    {Reason::BeforeImport, "import", "取込前"},
    {Reason::BeforePostalUpdate, "postal", "郵便データ更新前"},
    {Reason::BeforeRestore, "restore", "復元前"},
    {Reason::Manual, "manual", "手動"},
};

QString lastError(sqlite3* db) { return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory"); }

bool isBusy(int rc) { return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED; }

// Opens without creating: a missing file is an error, not a new empty database.
Handle openHandle(const QString& path, int flags, QString* error)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QDir::toNativeSeparators(path).toUtf8().constData(), &raw, flags, nullptr);
    Handle db(raw);
    if (rc != SQLITE_OK) {
        if (error)
            *error = lastError(raw);
        return nullptr;
    }
    return db;
}

// A file to read rows from, opened so that nothing is written beside it:
// read-only and immutable, so SQLite neither locks it nor looks for (or
// leaves) a journal or WAL file. Only a regular file is opened: a FIFO or a
// device is refused before SQLite could block on it.
Handle openSource(const QString& path, QString* error)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        *error = QStringLiteral("ファイルがありません");
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("通常のファイルではありません");
        return nullptr;
    }
    const QString uri = QStringLiteral("file:") +
        QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/")) +
        QStringLiteral("?mode=ro&immutable=1");
    return openHandle(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, error);
}

// Lets a long statement on `db` report and be cancelled: SQLite calls back
// every few thousand steps, whatever it is doing, so not even a file made to
// loop can hold the program.
class Watch {
public:
    Watch(sqlite3* db, const Progress& progress)
        : m_db(db),
          m_progress(progress)
    {
        if (m_progress)
            sqlite3_progress_handler(m_db, 20000, &Watch::tick, this);
    }
    ~Watch()
    {
        if (m_progress)
            sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    qint64 done() const { return m_done; }
    void setDone(qint64 done) { m_done = done; }
    void setTotal(qint64 total) { m_total = total; }
    // After a statement failed: whether the user stopped it.
    void throwIfCancelled() const
    {
        if (m_cancelled)
            throw EAbort();
    }
    void report()
    {
        if (m_progress && !m_progress(m_done, m_total)) {
            m_cancelled = true;
            throw EAbort();
        }
    }

private:
    static int tick(void* self)
    {
        auto* w = static_cast<Watch*>(self);
        if (!w->m_progress(w->m_done, w->m_total))
            w->m_cancelled = true;
        return w->m_cancelled ? 1 : 0;
    }
    sqlite3* m_db;
    const Progress& m_progress;
    qint64 m_done = 0;
    qint64 m_total = 0;
    bool m_cancelled = false;
};

struct Stamp {
    QDateTime time;
    int sequence = 1;
    bool operator<(const Stamp& o) const { return time != o.time ? time < o.time : sequence < o.sequence; }
};

const QRegularExpression& namePattern()
{
    static const QRegularExpression re(
        QStringLiteral("^tessolo-(\\d{8})-(\\d{6})(?:-(\\d+))?(?:-(start|import|postal|restore|manual))?\\.db$"));
    return re;
}

std::optional<Stamp> stampOf(const QString& fileName)
{
    const auto m = namePattern().match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(m.captured(1) + m.captured(2), QStringLiteral("yyyyMMddHHmmss"));
    if (!time.isValid())
        return std::nullopt;
    return Stamp{time, m.captured(3).isEmpty() ? 1 : m.captured(3).toInt()};
}

QStringList copyNames(const QString& folder)
{
    QStringList names;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("tessolo-*.db")}, QDir::Files))
        if (stampOf(name))
            names << name;
    return names;
}

QStringList newestFirst(QStringList names)
{
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return *stampOf(b) < *stampOf(a); });
    return names;
}

QStringList columnsOf(sqlite3* db, const QString& table)
{
    QStringList columns;
    Statement s;
    const QByteArray sql = "PRAGMA main.table_info(\"" + table.toUtf8() + "\")";
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &s.st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(s.st) == SQLITE_ROW)
            columns << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.st, 1))).toLower();
    }
    return columns;
}

// The first cell of a statement's first row as text; `ok` false when it fails.
QString firstCell(sqlite3* db, const char* sql, bool* ok)
{
    Statement s;
    int rc = sqlite3_prepare_v2(db, sql, -1, &s.st, nullptr);
    QString cell;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(s.st);
        if (rc == SQLITE_ROW) {
            cell = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0)));
            rc = SQLITE_OK;
        }
    }
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        cell = lastError(db);
    *ok = rc == SQLITE_OK || rc == SQLITE_DONE;
    return cell;
}

qint64 countOf(sqlite3* db, const char* table, Watch* watch, const QString& failure)
{
    bool ok = false;
    const QString n = firstCell(db, (QByteArray("select count(*) from main.") + table).constData(), &ok);
    if (!ok) {
        if (watch)
            watch->throwIfCancelled();
        throw EBackupError(failure.arg(n));
    }
    return n.toLongLong();
}

// The program's own columns of each table, in its own order.
QStringList ownColumns(const char* table)
{
    static const QHash<QString, QStringList> columns = [] {
        QHash<QString, QStringList> all;
        TSQLiteDatabase reference(QStringLiteral(":memory:"));
        TSQLiteDo::createMissingTables(reference);
        for (const char* t : kTables)
            all.insert(QString::fromLatin1(t), columnsOf(reference.handle(), QString::fromLatin1(t)));
        return all;
    }();
    return columns.value(QString::fromLatin1(table));
}

// What a database of this program holds: the three tables, as tables, with
// the columns the program itself creates. A view of the same name is refused
// before it is ever read: one that refers to itself would be read forever.
QString schemaProblem(sqlite3* db)
{
    for (const char* table : kTables) {
        const QString name = QString::fromLatin1(table);
        Statement s;
        const QByteArray sql =
            QByteArray("select type, sql from main.sqlite_master where lower(name) = '") + table + "'";
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &s.st, nullptr) != SQLITE_OK)
            return lastError(db);
        if (sqlite3_step(s.st) != SQLITE_ROW)
            return QStringLiteral("%1 表がありません").arg(name);
        const QString type = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.st, 0)));
        const QString text =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s.st, 1))).simplified().toLower();
        if (type != QStringLiteral("table") || text.startsWith(QStringLiteral("create virtual")))
            return QStringLiteral("%1 が表ではありません").arg(name);
        const QStringList have = columnsOf(db, name);
        for (const QString& column : ownColumns(table))
            if (!have.contains(column))
                return QStringLiteral("%1 表に %2 列がありません").arg(name, column);
    }
    return {};
}

// Checks the open file as inspect() describes and fills `info`; answers the
// problem text, empty when none.
QString readCopy(sqlite3* db, CopyInfo& info, Watch& watch)
{
    bool ok = false;
    // Read before anything else: a file that is no database fails here.
    const QString encoding = firstCell(db, "PRAGMA main.encoding", &ok);
    if (!ok)
        return QStringLiteral("「%1」はデータベースとして読めません（%2）。").arg(info.path, encoding);
    if (encoding != QStringLiteral("UTF-8"))
        return QStringLiteral("「%1」は Tessolo のデータではありません（文字の形式が %2 で、UTF-8 ではありません）。")
            .arg(info.path, encoding);
    const QString check = firstCell(db, "PRAGMA main.quick_check", &ok);
    if (!ok) {
        watch.throwIfCancelled();
        return QStringLiteral("「%1」はデータベースとして読めません（%2）。").arg(info.path, check);
    }
    if (check != QStringLiteral("ok"))
        return QStringLiteral("「%1」は壊れています（%2）。").arg(info.path, check);
    const QString schema = schemaProblem(db);
    if (!schema.isEmpty())
        return QStringLiteral("「%1」は Tessolo のデータではありません（%2）。").arg(info.path, schema);
    try {
        const QString failure = QStringLiteral("「%1」はデータベースとして読めません（%2）。").arg(info.path);
        info.customers = countOf(db, "t_customer", &watch, failure);
        bool any = false;
        Statement s;
        if (sqlite3_prepare_v2(db, "select 1 from main.m_postal limit 1", -1, &s.st, nullptr) == SQLITE_OK)
            any = sqlite3_step(s.st) == SQLITE_ROW;
        info.hasPostalList = any;
    } catch (const EBackupError& e) {
        return e.message();
    }
    return {};
}

// A fingerprint of the postal list's rows, kept in a copy's user_version:
// a copy leaves out a list the copy before it already holds.
qint32 postalFingerprint(sqlite3* db, Watch& watch)
{
    Statement s;
    if (sqlite3_prepare_v2(db, "select * from main.m_postal", -1, &s.st, nullptr) != SQLITE_OK) {
        if (isBusy(sqlite3_errcode(db)))
            throw EBackupError(kCopyBusy);
        throw EBackupError(QStringLiteral("バックアップを作成できませんでした: %1").arg(lastError(db)));
    }
    quint64 h = 14695981039346656037ull; // FNV-1a
    const int columns = sqlite3_column_count(s.st);
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(s.st, c));
            const int n = sqlite3_column_bytes(s.st, c);
            for (int i = 0; i < n; ++i)
                h = (h ^ p[i]) * 1099511628211ull;
            h = (h ^ 0x1f) * 1099511628211ull; // cell boundary
        }
    }
    if (rc != SQLITE_DONE) {
        watch.throwIfCancelled();
        if (isBusy(rc))
            throw EBackupError(kCopyBusy);
        throw EBackupError(QStringLiteral("バックアップを作成できませんでした: %1").arg(lastError(db)));
    }
    // Never 0: that is the user_version of every file not written as a copy.
    return qint32((h ^ (h >> 32)) & 0x7fffffff) | 1;
}

qint32 userVersion(sqlite3* db)
{
    bool ok = false;
    return firstCell(db, "PRAGMA main.user_version", &ok).toInt();
}

// A new database file to fill, removed unless kept: it is written without a
// journal (it is nobody's until renamed), synced, made private and renamed.
class FreshFile {
public:
    FreshFile(const QString& folder, const QString& prefix)
    {
        QTemporaryFile tmp(QDir(folder).filePath(prefix + QStringLiteral(".XXXXXX")));
        tmp.setAutoRemove(false);
        if (!tmp.open())
            throw EBackupError(QStringLiteral("「%1」に書き込めません（%2）。")
                                   .arg(QDir::toNativeSeparators(folder), tmp.errorString()));
        m_file.path = tmp.fileName();
        tmp.close();
        QFile::setPermissions(m_file.path, QFile::ReadOwner | QFile::WriteOwner);
        {
            TSQLiteDatabase schema(m_file.path);
            TSQLiteDo::createMissingTables(schema);
        }
        QString error;
        m_db = openHandle(m_file.path, SQLITE_OPEN_READWRITE, &error);
        if (!m_db)
            fail(error);
        exec("PRAGMA journal_mode = OFF");
        exec("PRAGMA synchronous = OFF");
    }
    FreshFile(const FreshFile&) = delete;
    FreshFile& operator=(const FreshFile&) = delete;

    sqlite3* db() const { return m_db.get(); }
    const QString& path() const { return m_file.path; }
    void exec(const char* sql)
    {
        if (sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(lastError(m_db.get()));
    }
    [[noreturn]] void fail(const QString& why) const
    {
        throw EBackupError(
            QStringLiteral("「%1」に書き込めません（%2）。").arg(QDir::toNativeSeparators(m_file.path), why));
    }
    // Closes, syncs and renames to `target`; the file is then no longer removed.
    void keepAs(const QString& target)
    {
        m_db.reset();
        QFile f(m_file.path);
        if (!f.open(QIODevice::ReadWrite) || ::fsync(f.handle()) != 0)
            fail(f.errorString());
        f.close();
        QFile::remove(target);
        if (!QFile::rename(m_file.path, target))
            fail(QStringLiteral("名前を変更できません"));
        m_file.path.clear();
    }
    // Closes the connection, leaving the file for another to read.
    void close() { m_db.reset(); }

private:
    struct Removal {
        QString path;
        ~Removal()
        {
            if (!path.isEmpty())
                QFile::remove(path);
        }
    };
    Removal m_file; // declared first: removed after the connection closed
    Handle m_db;
};

// Copies the program's columns of `table` from `from` into the fresh file,
// the customers with their rowids (the windows know a customer by it).
void copyRows(sqlite3* from, FreshFile& to, const char* table, Watch& watch, const QString& failure,
              const QString& busy = kCopyBusy)
{
    const QStringList columns = ownColumns(table);
    const bool keepRowid = qstrcmp(table, "t_customer") == 0;
    QStringList quoted;
    for (const QString& c : columns)
        quoted << QLatin1Char('[') + c + QLatin1Char(']');
    const QString list = quoted.join(QLatin1Char(','));
    const QByteArray select = (QStringLiteral("select ") + (keepRowid ? QStringLiteral("rowid,") : QString()) + list +
                               QStringLiteral(" from main.") + QLatin1String(table))
                                  .toUtf8();
    QString marks = QStringLiteral("?");
    for (qsizetype i = 1; i < columns.size() + (keepRowid ? 1 : 0); ++i)
        marks += QStringLiteral(",?");
    const QByteArray insert = (QStringLiteral("insert into ") + QLatin1String(table) + QStringLiteral(" (") +
                               (keepRowid ? QStringLiteral("rowid,") : QString()) + list +
                               QStringLiteral(") values (") + marks + QLatin1Char(')'))
                                  .toUtf8();
    Statement in, out;
    if (sqlite3_prepare_v2(from, select.constData(), -1, &in.st, nullptr) != SQLITE_OK) {
        watch.throwIfCancelled();
        if (isBusy(sqlite3_errcode(from)))
            throw EBackupError(busy);
        throw EBackupError(failure.arg(lastError(from)));
    }
    if (sqlite3_prepare_v2(to.db(), insert.constData(), -1, &out.st, nullptr) != SQLITE_OK)
        to.fail(lastError(to.db()));
    watch.report();
    const int n = sqlite3_column_count(in.st);
    qint64 done = 0;
    int rc;
    while ((rc = sqlite3_step(in.st)) == SQLITE_ROW) {
        for (int c = 0; c < n; ++c)
            sqlite3_bind_value(out.st, c + 1, sqlite3_column_value(in.st, c));
        if (sqlite3_step(out.st) != SQLITE_DONE)
            to.fail(lastError(to.db()));
        sqlite3_reset(out.st);
        if ((++done & 0x3ff) == 0) {
            watch.setDone(watch.done() + 0x400);
            watch.report();
        }
    }
    watch.setDone(watch.done() + (done & 0x3ff));
    if (rc != SQLITE_DONE) {
        watch.throwIfCancelled();
        if (isBusy(rc))
            throw EBackupError(busy);
        throw EBackupError(failure.arg(lastError(from)));
    }
}

// Ends a read transaction on every way out.
struct ReadTransaction {
    sqlite3* db;
    explicit ReadTransaction(sqlite3* d)
        : db(d)
    {
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    }
    ~ReadTransaction() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
};

// Writes the rows of `from` into a fresh file and renames it to `target`.
// Without `withPostal` the list is left out. The fresh file's user_version
// is set to `fingerprint`.
void writeCopy(sqlite3* from, const QString& target, bool withPostal, qint32 fingerprint, Watch& watch)
{
    const QString failure = QStringLiteral("バックアップを作成できませんでした: %1");
    FreshFile fresh(QFileInfo(target).absolutePath(), QFileInfo(target).fileName());
    qint64 total = 0;
    for (const char* table : kTables)
        if (withPostal || qstrcmp(table, "m_postal") != 0)
            total += countOf(from, table, &watch, failure);
    watch.setTotal(total);
    fresh.exec("BEGIN");
    for (const char* table : kTables)
        if (withPostal || qstrcmp(table, "m_postal") != 0)
            copyRows(from, fresh, table, watch, failure);
    fresh.exec(QByteArray("PRAGMA user_version = " + QByteArray::number(fingerprint)).constData());
    fresh.exec("COMMIT");
    fresh.keepAs(target);
}

} // namespace

QString reasonText(Reason reason)
{
    for (const ReasonWord& r : kReasons)
        if (r.reason == reason)
            return QString::fromUtf8(r.text);
    return {};
}

QString databasePath() { return TSQLiteDo::pathOf(kDatabaseName); }

QString folderOf(const QString& dbPath) { return QFileInfo(dbPath).absoluteDir().filePath(QStringLiteral("backup")); }

QString copyName(const QDateTime& when, int sequence, Reason reason)
{
    QString name = QStringLiteral("tessolo-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (sequence > 1)
        name += QStringLiteral("-%1").arg(sequence);
    for (const ReasonWord& r : kReasons)
        if (r.reason == reason)
            name += QLatin1Char('-') + QLatin1String(r.word);
    return name + QStringLiteral(".db");
}

std::optional<QDateTime> copyTime(const QString& fileName)
{
    const auto stamp = stampOf(fileName);
    if (!stamp)
        return std::nullopt;
    return stamp->time;
}

Reason copyReason(const QString& fileName)
{
    const QString word = namePattern().match(fileName).captured(4);
    for (const ReasonWord& r : kReasons)
        if (word == QLatin1String(r.word))
            return r.reason;
    return Reason::Unknown;
}

namespace {

// The live database, opened to read a consistent copy of its rows.
Handle openLive(const QString& source, int busyWaitMs)
{
    QString error;
    Handle from = openHandle(source, SQLITE_OPEN_READWRITE, &error);
    if (!from)
        throw EBackupError(QStringLiteral("バックアップを作成できませんでした: %1").arg(error));
    sqlite3_busy_timeout(from.get(), busyWaitMs);
    return from;
}

void copyLive(const QString& source, const QString& target, int busyWaitMs, const Progress& progress,
              const QString& previousCopy)
{
    Handle from = openLive(source, busyWaitMs);
    Watch watch(from.get(), progress);
    // One read transaction: the three tables as they were at one moment.
    ReadTransaction read(from.get());
    const qint32 fingerprint = postalFingerprint(from.get(), watch);
    bool withPostal = true;
    if (!previousCopy.isEmpty()) {
        QString ignored;
        if (Handle previous = openSource(previousCopy, &ignored))
            withPostal = userVersion(previous.get()) != fingerprint;
    }
    writeCopy(from.get(), target, withPostal, fingerprint, watch);
}

} // namespace

void copyDatabase(const QString& source, const QString& target, int busyWaitMs, const Progress& progress)
{
    // A name the user chose: a FIFO or a device there is not replaced.
    try {
        requireRegularFile(target);
    } catch (const EFileError& e) {
        throw EBackupError(e.message());
    }
    copyLive(source, target, busyWaitMs, progress, QString());
}

QString makeCopy(const QString& dbPath, const QDateTime& now, Reason reason, const Progress& progress)
{
    const QString folder = folderOf(dbPath);
    if (!QDir().mkpath(folder))
        throw EBackupError(QStringLiteral("バックアップ用のフォルダー「%1」を作成できませんでした。").arg(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir dir(folder);
    const QStringList before = newestFirst(copyNames(folder));
    int sequence = 1;
    // Names differ by their reason too: the second copy of a second gets
    // the next number whatever the first one's reason.
    const QDateTime second = now.addMSecs(-now.time().msec());
    const auto taken = [&](int seq) {
        return std::any_of(before.begin(), before.end(), [&](const QString& n) {
            const auto st = stampOf(n);
            return st->time == second && st->sequence == seq;
        });
    };
    while (taken(sequence) || dir.exists(copyName(now, sequence, reason)))
        ++sequence;
    const QString target = dir.filePath(copyName(now, sequence, reason));
    copyLive(dbPath, target, kBusyWaitMs, progress, before.isEmpty() ? QString() : dir.filePath(before.first()));
    rotate(folder, now.date());
    return target;
}

bool hasCopyFrom(const QString& dbPath, const QDate& day)
{
    const QStringList names = copyNames(folderOf(dbPath));
    return std::any_of(names.begin(), names.end(), [&](const QString& n) { return stampOf(n)->time.date() == day; });
}

QStringList expiredCopies(const QStringList& names, const QDate& today)
{
    QList<std::pair<Stamp, QString>> copies;
    for (const QString& name : names)
        if (const auto stamp = stampOf(name))
            copies.append({*stamp, name});
    std::sort(copies.begin(), copies.end(), [](const auto& a, const auto& b) { return b.first < a.first; });
    const QDate firstMonth = QDate(today.year(), today.month(), 1).addMonths(-(kKeepMonths - 1));
    // The oldest copy of today: the data as it was before the day's work,
    // which a morning of failed imports must not rotate away.
    qsizetype firstOfToday = -1;
    for (qsizetype i = 0; i < copies.size(); ++i)
        if (copies[i].first.time.date() == today)
            firstOfToday = i;
    QSet<QString> monthsSeen;
    QStringList expired;
    for (qsizetype i = 0; i < copies.size(); ++i) {
        const QDate day = copies[i].first.time.date();
        const QString month = day.toString(QStringLiteral("yyyyMM"));
        const bool newestOfMonth = day >= firstMonth && !monthsSeen.contains(month);
        monthsSeen.insert(month);
        if (i >= kKeepLatest && !newestOfMonth && i != firstOfToday)
            expired << copies[i].second;
    }
    return expired;
}

void rotate(const QString& folder, const QDate& today)
{
    QDir dir(folder);
    for (const QString& name : expiredCopies(copyNames(folder), today))
        dir.remove(name);
    // A copy whose writer was stopped half-way never got its final name; its
    // temporary file is removed once it is clearly nobody's any more.
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-600);
    for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("tessolo-*.db.*")}, QDir::Files))
        if (f.lastModified() < stale)
            dir.remove(f.fileName());
}

namespace {

Handle openChecked(const QString& path, CopyInfo& info, const Progress& progress)
{
    info.path = path;
    const QFileInfo file(path);
    info.size = file.size();
    info.time = copyTime(file.fileName()).value_or(file.lastModified());
    info.reason = copyReason(file.fileName());
    QString error;
    Handle db = openSource(path, &error);
    if (!db) {
        info.problem = QStringLiteral("「%1」を開けません（%2）。").arg(path, error);
        return nullptr;
    }
    Watch watch(db.get(), progress);
    info.problem = readCopy(db.get(), info, watch);
    return db;
}

} // namespace

CopyInfo inspect(const QString& path, const Progress& progress)
{
    CopyInfo info;
    openChecked(path, info, progress);
    return info;
}

QList<CopyInfo> listCopies(const QString& dbPath)
{
    const QString folder = folderOf(dbPath);
    QList<CopyInfo> copies;
    for (const QString& name : newestFirst(copyNames(folder)))
        copies << inspect(QDir(folder).filePath(name));
    return copies;
}

qint64 customerCount(const QString& dbPath)
{
    Handle db = openLive(dbPath, kBusyWaitMs);
    return countOf(db.get(), "t_customer", nullptr, QStringLiteral("顧客の数を読めません（%1）。"));
}

void restore(const QString& file, const QString& dbPath, int busyWaitMs, const Progress& progress)
{
    if (QFileInfo(file).canonicalFilePath() == QFileInfo(dbPath).canonicalFilePath())
        throw EBackupError(QStringLiteral("「%1」は今使っているデータそのものです。").arg(file));
    CopyInfo info;
    Handle from = openChecked(file, info, progress);
    if (!info.usable())
        throw EBackupError(info.problem);
    QString error;
    Handle to = openHandle(dbPath, SQLITE_OPEN_READWRITE, &error);
    if (!to)
        throw EBackupError(QStringLiteral("復元できませんでした: %1").arg(error));
    const QString failure = QStringLiteral("復元できませんでした（%1）。データは元のままです。");
    const QString folder = folderOf(dbPath);
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    FreshFile fresh(folder, QStringLiteral("tessolo-restore.db"));
    {
        Watch watch(from.get(), progress);
        qint64 total = 0;
        for (const char* table : kTables)
            total += countOf(from.get(), table, &watch, failure);
        watch.setTotal(total);
        fresh.exec("BEGIN");
        for (const char* table : kTables)
            if (info.hasPostalList || qstrcmp(table, "m_postal") != 0)
                copyRows(from.get(), fresh, table, watch, failure);
        if (!info.hasPostalList) {
            // A copy made without the list: the live one stays.
            sqlite3_busy_timeout(to.get(), busyWaitMs);
            Watch liveWatch(to.get(), progress);
            ReadTransaction read(to.get());
            copyRows(to.get(), fresh, "m_postal", liveWatch, failure, kRestoreBusy);
        }
        // The restored file replaces the live one page by page: it brings
        // the live file's own index, built once after the rows.
        fresh.exec(TSQLiteDo::kPostalCodeIndex);
        fresh.exec("COMMIT");
    }
    from.reset();
    fresh.close();
    Handle rows = openHandle(fresh.path(), SQLITE_OPEN_READONLY, &error);
    if (!rows)
        throw EBackupError(failure.arg(error));
    // The fresh file goes in page by page through the live file's own
    // journal: a restore stopped half-way is rolled back by the next open,
    // others' locks are respected, and the live file keeps its journal mode.
    sqlite3_backup* b = sqlite3_backup_init(to.get(), "main", rows.get(), "main");
    if (!b)
        throw EBackupError(failure.arg(lastError(to.get())));
    QElapsedTimer waited;
    waited.start();
    int rc = SQLITE_OK;
    constexpr int kPagesPerStep = 1024;
    while (rc == SQLITE_OK || isBusy(rc)) {
        rc = sqlite3_backup_step(b, kPagesPerStep);
        if (isBusy(rc)) {
            if (waited.elapsed() >= busyWaitMs)
                break;
            QThread::msleep(25);
            continue;
        }
        const int total = sqlite3_backup_pagecount(b);
        if (rc == SQLITE_OK && progress && !progress(total - sqlite3_backup_remaining(b), total)) {
            sqlite3_backup_finish(b);
            throw EAbort();
        }
    }
    const int finish = sqlite3_backup_finish(b);
    if (rc == SQLITE_DONE && finish == SQLITE_OK)
        return;
    if (isBusy(rc) || isBusy(finish))
        throw EBackupError(kRestoreBusy);
    throw EBackupError(failure.arg(lastError(to.get())));
}

} // namespace tessolo::backup
