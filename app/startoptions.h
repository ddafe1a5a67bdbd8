#pragma once
// What the command line can ask of the program. The one option, --offline,
// makes it send nothing at all over the network: the map page then requests
// neither tiles nor address searches, the program's own address search
// refuses, and the browser control blocks whatever else would leave the
// machine.

#include <QStringList>

namespace tessolo::app {

struct TStartOptions {
    bool offline = false;
};

// Reads the options from the program's arguments (the first is the program
// itself). Options it does not know are left to the browser control, which
// reads its own from the same command line.
TStartOptions parseStartOptions(const QStringList& arguments);

// Program-wide: set once by start-up, read by the map window, its browser
// control and the address search.
bool offlineMode();
void setOfflineMode(bool offline);

} // namespace tessolo::app
