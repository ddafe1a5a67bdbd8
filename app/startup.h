#pragma once
// The start-up steps between the command line and the window set.

#include "app/startoptions.h"

namespace tessolo::app {

// Answers --help and --version, and a malformed command line, on the
// terminal. Returns the exit code, or -1 when the program is to start.
int answerCommandLine(const TStartOptions& options);

// Settles which database file the program opens: `path` when given
// (--database), else tessolo.db in the default folder, which is created on a
// first start. When that cannot be, says why in a message box and on
// stderr and returns false; nothing has been written then.
bool chooseDatabase(const QString& path);

// Lets the roster offer the postal list the program ships with.
void enableShippedPostalList();

} // namespace tessolo::app
