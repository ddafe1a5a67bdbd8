#include "data/backup.h"

#include "data/sqlitedb.h"
#include "data/safefile.h"
#include "data/sqlitedo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <memory>
#include <sqlite3.h>

namespace tessolo::backup {

namespace {

struct CloseHandle {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Handle = std::unique_ptr<sqlite3, CloseHandle>;

QString lastError(sqlite3* db) { return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory"); }

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

// Runs a whole backup from one connection to another, retrying while the
// other program writes, until `waitMs` have passed. Returns SQLite's code.
int runBackup(sqlite3* to, sqlite3* from, int waitMs)
{
    sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
    if (!b)
        return sqlite3_errcode(to);
    QElapsedTimer waited;
    waited.start();
    int rc = sqlite3_backup_step(b, -1);
    while ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && waited.elapsed() < waitMs) {
        QThread::msleep(25);
        rc = sqlite3_backup_step(b, -1);
    }
    const int finish = sqlite3_backup_finish(b);
    return rc == SQLITE_DONE ? finish : rc;
}

bool isBusy(int rc) { return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED; }

struct Stamp {
    QDateTime time;
    int sequence = 1;
    bool operator<(const Stamp& o) const { return time != o.time ? time < o.time : sequence < o.sequence; }
};

std::optional<Stamp> stampOf(const QString& fileName)
{
    static const QRegularExpression re(QStringLiteral("^tessolo-(\\d{8})-(\\d{6})(?:-(\\d+))?\\.db$"));
    const auto m = re.match(fileName);
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

QStringList columnsOf(sqlite3* db, const QString& table)
{
    QStringList columns;
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = "PRAGMA table_info(\"" + table.toUtf8() + "\")";
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW)
            columns << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))).toLower();
    }
    sqlite3_finalize(st);
    return columns;
}

// The first text cell of a statement's first row; `ok` false when it fails.
QString firstCell(sqlite3* db, const char* sql, bool* ok)
{
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    QString cell;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            cell = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            rc = SQLITE_OK;
        }
    }
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        cell = lastError(db);
    *ok = rc == SQLITE_OK || rc == SQLITE_DONE;
    sqlite3_finalize(st);
    return cell;
}

// What a database of this program holds: the tables and columns the
// program itself creates.
QString schemaProblem(sqlite3* db)
{
    TSQLiteDatabase reference(QStringLiteral(":memory:"));
    TSQLiteDo::createMissingTables(reference);
    for (const char* table : {"t_customer", "m_postal", "m_our_company"}) {
        const QString name = QString::fromLatin1(table);
        const QStringList have = columnsOf(db, name);
        if (have.isEmpty())
            return QStringLiteral("%1 表がありません").arg(name);
        for (const QString& column : columnsOf(reference.handle(), name))
            if (!have.contains(column))
                return QStringLiteral("%1 表に %2 列がありません").arg(name, column);
    }
    return {};
}

// Fills `info` from the open file; answers the problem text, empty when none.
QString readCopy(sqlite3* db, CopyInfo& info)
{
    bool ok = false;
    const QString check = firstCell(db, "PRAGMA quick_check", &ok);
    if (!ok)
        return QStringLiteral("「%1」はデータベースとして読めません（%2）。").arg(info.path, check);
    if (check != QStringLiteral("ok"))
        return QStringLiteral("「%1」は壊れています（%2）。").arg(info.path, check);
    const QString schema = schemaProblem(db);
    if (!schema.isEmpty())
        return QStringLiteral("「%1」は Tessolo のデータではありません（%2）。").arg(info.path, schema);
    const QString count = firstCell(db, "select count(*) from t_customer", &ok);
    if (!ok)
        return QStringLiteral("「%1」はデータベースとして読めません（%2）。").arg(info.path, count);
    info.customers = count.toLongLong();
    return {};
}

} // namespace

QString databasePath() { return TSQLiteDo::pathOf(kDatabaseName); }

QString folderOf(const QString& dbPath)
{
    return QFileInfo(dbPath).absoluteDir().filePath(QStringLiteral("backup"));
}

QString copyName(const QDateTime& when, int sequence)
{
    QString name = QStringLiteral("tessolo-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (sequence > 1)
        name += QStringLiteral("-%1").arg(sequence);
    return name + QStringLiteral(".db");
}

std::optional<QDateTime> copyTime(const QString& fileName)
{
    const auto stamp = stampOf(fileName);
    if (!stamp)
        return std::nullopt;
    return stamp->time;
}

void copyDatabase(const QString& source, const QString& target, int busyWaitMs)
{
    QString error;
    Handle from = openHandle(source, SQLITE_OPEN_READWRITE, &error);
    // The copy is taken into memory under one read lock, then written whole
    // beside its place and renamed: a half-written copy never has its name.
    Handle copy = from ? openHandle(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE, &error) : nullptr;
    if (!copy)
        throw EBackupError(QStringLiteral("バックアップを作成できませんでした: %1").arg(error));
    const int rc = runBackup(copy.get(), from.get(), busyWaitMs);
    from.reset();
    if (isBusy(rc))
        throw EBackupError(QStringLiteral("別のプログラムがデータを書き込み中のため、バックアップを作成できませんでした。"));
    if (rc != SQLITE_OK)
        throw EBackupError(QStringLiteral("バックアップを作成できませんでした: %1").arg(lastError(copy.get())));
    sqlite3_int64 size = 0;
    const std::unique_ptr<unsigned char, decltype(&sqlite3_free)> bytes(
        sqlite3_serialize(copy.get(), "main", &size, 0), &sqlite3_free);
    if (!bytes)
        throw EBackupError(QStringLiteral("バックアップを作成できませんでした: メモリが足りません"));
    TSafeFile out(target);
    out.write(QByteArrayView(bytes.get(), qsizetype(size)));
    out.commit();
}

QString makeCopy(const QString& dbPath, const QDateTime& now)
{
    const QString folder = folderOf(dbPath);
    if (!QDir().mkpath(folder))
        throw EBackupError(QStringLiteral("バックアップ用のフォルダー「%1」を作成できませんでした。").arg(folder));
    QDir dir(folder);
    int sequence = 1;
    while (dir.exists(copyName(now, sequence)))
        ++sequence;
    const QString target = dir.filePath(copyName(now, sequence));
    copyDatabase(dbPath, target);
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
    QSet<QString> monthsSeen;
    QStringList expired;
    for (qsizetype i = 0; i < copies.size(); ++i) {
        const QDate day = copies[i].first.time.date();
        const QString month = day.toString(QStringLiteral("yyyyMM"));
        const bool newestOfMonth = day >= firstMonth && !monthsSeen.contains(month);
        monthsSeen.insert(month);
        if (i >= kKeepLatest && !newestOfMonth)
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

CopyInfo inspect(const QString& path)
{
    CopyInfo info;
    info.path = path;
    const QFileInfo file(path);
    info.size = file.size();
    info.time = copyTime(file.fileName()).value_or(file.lastModified());
    QString error;
    Handle db = file.isFile() ? openHandle(path, SQLITE_OPEN_READONLY, &error) : nullptr;
    if (!db) {
        info.problem = QStringLiteral("「%1」を開けません（%2）。")
                           .arg(path, file.isFile() ? error : QStringLiteral("ファイルがありません"));
        return info;
    }
    info.problem = readCopy(db.get(), info);
    return info;
}

QList<CopyInfo> listCopies(const QString& dbPath)
{
    const QString folder = folderOf(dbPath);
    QStringList names = copyNames(folder);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return *stampOf(b) < *stampOf(a); });
    QList<CopyInfo> copies;
    for (const QString& name : names)
        copies << inspect(QDir(folder).filePath(name));
    return copies;
}

void restore(const QString& file, const QString& dbPath, int busyWaitMs)
{
    const CopyInfo info = inspect(file);
    if (!info.usable())
        throw EBackupError(info.problem);
    if (QFileInfo(file).canonicalFilePath() == QFileInfo(dbPath).canonicalFilePath())
        throw EBackupError(QStringLiteral("「%1」は今使っているデータそのものです。").arg(file));
    QString error;
    Handle from = openHandle(file, SQLITE_OPEN_READONLY, &error);
    Handle to = from ? openHandle(dbPath, SQLITE_OPEN_READWRITE, &error) : nullptr;
    if (!to)
        throw EBackupError(QStringLiteral("復元できませんでした: %1").arg(error));
    // Written through the database's own journal: a restore stopped half-way
    // is rolled back by the next open, and others' locks are respected.
    const int rc = runBackup(to.get(), from.get(), busyWaitMs);
    if (rc == SQLITE_OK)
        return;
    if (isBusy(rc))
        throw EBackupError(QStringLiteral("別のプログラムがデータを使用中のため、復元できませんでした。データは元のままです。"));
    throw EBackupError(QStringLiteral("復元できませんでした（%1）。データは元のままです。").arg(lastError(to.get())));
}

} // namespace tessolo::backup
