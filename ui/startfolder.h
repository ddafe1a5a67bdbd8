#pragma once
// Where the program's file dialogs open: the user's documents, or the home
// folder where there is none. Never the folder a dialog was last left in,
// which Qt shares between every Qt program and which may be a place (/proc,
// a network share gone away) that a dialog cannot list.

#include <QString>

namespace tessolo::ui {

QString startFolder();

} // namespace tessolo::ui
