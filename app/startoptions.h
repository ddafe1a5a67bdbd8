#pragma once
// What the command line can ask of the program:
//   --offline          send nothing at all over the network: the map page then
//                      requests neither tiles nor address searches, the
//                      program's own address search refuses, and the browser
//                      control blocks whatever else would leave the machine;
//   --database PATH    open that file instead of the default tessolo.db;
//   --database postgresql://user@host[:port]/dbname
//                      work on an office's PostgreSQL server instead;
//   --import-file FILE with a server URI: copy the SQLite file's three
//                      tables onto the server, without a window, and end;
//   --data-dir DIR     keep the database and its copies in DIR instead of
//                      the default folder (a portable copy's own, a test's);
//   --help, --version  print and end.

#include <QString>
#include <QStringList>

namespace tessolo::app {

struct TStartOptions {
    bool offline = false;
    bool help = false;
    bool version = false;
    QString database;   // empty: the default file; a postgresql:// URI: a server
    QString importFile; // --import-file: the file to copy onto the server
    QString dataDir;    // --data-dir: empty for the default folder
    QString error;      // a malformed command line, said in a sentence
};

// Reads the options from the program's arguments (the first is the program
// itself). Qt's own options pass; the browser control's follow
// --webEngineArgs; any other option is an error.
TStartOptions parseStartOptions(const QStringList& arguments);

// The text --help prints.
QString usageText();

// Program-wide: set once by start-up, read by the map window, its browser
// control and the address search.
bool offlineMode();
void setOfflineMode(bool offline);

} // namespace tessolo::app
