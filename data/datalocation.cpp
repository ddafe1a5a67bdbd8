#include "data/datalocation.h"

#include "data/errors.h"
#include "data/safefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace tessolo::location {

namespace {

struct State {
    QString dataDirectory;
    QString chosenFile;
};

State& state()
{
    static State s;
    return s;
}

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

bool isSQLiteFile(const QString& path)
{
    QFile file(path);
    // Only called for a regular file; the flag is a second guard against
    // an open that waits for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    // SQLite itself treats an empty file as a new, empty database.
    if (file.size() == 0)
        return true;
    static const QByteArray header("SQLite format 3\0", 16);
    return file.read(header.size()) == header;
}

} // namespace

QString executableDirectory()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Tests of the core run without an application object.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

static QString installedShareDirectory()
{
    return QDir::cleanPath(executableDirectory() + QStringLiteral("/../share/tessolo"));
}

bool isInstalled()
{
    return !QFileInfo(executableDirectory() + QStringLiteral("/velmo")).isDir() &&
        QFileInfo(installedShareDirectory()).isDir();
}

QString sharedFolder(const QString& name)
{
    const QString beside = executableDirectory() + QLatin1Char('/') + name;
    if (QFileInfo(beside).isDir())
        return beside;
    const QString installed = installedShareDirectory() + QLatin1Char('/') + name;
    return QFileInfo(installed).isDir() ? installed : beside;
}

QString userDataDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Tessolo");
}

QString defaultDirectory()
{
    if (!state().dataDirectory.isEmpty())
        return state().dataDirectory;
    const QString exe = executableDirectory();
    // Run as root, an installed program could write beside itself in
    // /usr/bin; its data belongs to the user all the same.
    if (!isInstalled() && QFileInfo(exe).isWritable())
        return exe;
    return userDataDirectory();
}

QString databaseFile(const QString& fileName)
{
    if (fileName == kDatabaseName && !state().chosenFile.isEmpty())
        return state().chosenFile;
    return defaultDirectory() + QLatin1Char('/') + fileName;
}

bool isDefaultDatabase() { return state().chosenFile.isEmpty(); }

void useDatabaseFile(const QString& path)
{
    const QFileInfo file(path);
    const QString full = file.absoluteFilePath();
    // Looked at without opening: a FIFO given here would block the start
    // with no window, a device would be read as a database.
    if (file.exists() && !file.isDir() && !file.isFile())
        throw TessoloError(
            QStringLiteral(
                "データベースとして開けません: %1\n通常のファイルではありません（パイプや装置のファイルは使えません）。"
                "データベースのファイルを指定してください。")
                .arg(shown(full)));
    if (file.isDir())
        throw TessoloError(
            QStringLiteral(
                "データベースとして開けません: %1\nフォルダーです。データベースのファイルを指定してください。")
                .arg(shown(full)));
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        throw TessoloError(QStringLiteral("データベースのフォルダーがありません: %1").arg(shown(folder.filePath())));
    // SQLite writes its journal beside the file: a folder it cannot write
    // would fail at the first change, after the user had typed it in.
    if (!folder.isWritable())
        throw TessoloError(QStringLiteral("データベースのフォルダーに書き込めません: "
                                          "%1\n書き込みのできるフォルダーのファイルを指定してください。")
                               .arg(shown(folder.filePath())));
    if (file.exists()) {
        if (!file.isReadable() || !file.isWritable())
            throw TessoloError(QStringLiteral("データベースのファイルに書き込めません: %1").arg(shown(full)));
        if (!isSQLiteFile(full))
            throw TessoloError(
                QStringLiteral("データベースとして開けません: %1\nSQLite のデータベースのファイルではありません。")
                    .arg(shown(full)));
    }
    state().chosenFile = full;
}

void prepareDefaultDirectory()
{
    if (!isDefaultDatabase())
        return;
    const QString dir = defaultDirectory();
    if (!QDir().mkpath(dir))
        throw TessoloError(QStringLiteral("データの保存先のフォルダーを作れません: %1").arg(shown(dir)));
    // The roster is nobody else's to read. A folder beside the executable
    // (a build tree, a portable copy) is the user's own choice and kept.
    if (dir == userDataDirectory())
        makeFolderPrivate(dir);
}

void setDataDirectory(const QString& dir) { state().dataDirectory = dir; }

void useDefaults() { state() = State{}; }

} // namespace tessolo::location
