#pragma once
// Where the program finds its files and keeps its data. A copy run from a
// folder of its own (a build tree, a portable copy on a stick) keeps
// everything beside the executable; an installed program (its shared files
// under ../share/tessolo, its folder not the user's to write) keeps the
// database in the user's data folder, so that an upgrade or a removal of
// the package never touches it. Every part that needs the database's path,
// a backup included, asks here.

#include <QString>

namespace tessolo {

// The file name every window opens.
inline const QString kDatabaseName = QStringLiteral("tessolo.db");

namespace location {

// The folder of the running executable, without a trailing separator.
QString executableDirectory();

// A folder the program ships beside itself ("velmo", "postal"): beside the
// executable where it is there, else ../share/tessolo/<name> of an installed
// program. Where neither exists, the folder beside the executable.
QString sharedFolder(const QString& name);

// True for an installed program: nothing shipped beside the executable, the
// shared files under ../share/tessolo.
bool isInstalled();

// $XDG_DATA_HOME/Tessolo (~/.local/share/Tessolo by default).
QString userDataDirectory();

// The folder of the default database: beside the executable when the program
// is not installed and may write there; else the user's data folder.
QString defaultDirectory();

// The full path of the file a helper opens for `fileName`: the file chosen
// with useDatabaseFile() for the database, else `fileName` in the default
// folder (or the folder a test has set).
QString databaseFile(const QString& fileName = kDatabaseName);

// True until useDatabaseFile() has chosen another file.
bool isDefaultDatabase();

// Opens `path` instead of the default file from now on. Throws TessoloError
// saying what is wrong, and changes nothing, when the path is a folder, a
// file that is not an SQLite database, or lies where it cannot be written.
void useDatabaseFile(const QString& path);

// Creates the default folder where it is missing (the user's data folder on
// a first start). Throws TessoloError naming the folder when it cannot.
void prepareDefaultDirectory();

// Keeps the database and its copies in `dir` instead of the default folder.
// The option --data-dir gives it; a test gives each case a folder of its
// own. An empty text restores the default folder.
void setDataDirectory(const QString& dir);
// Back to the default file in the default folder, as at start.
void useDefaults();

} // namespace location
} // namespace tessolo
