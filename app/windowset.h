#pragma once
// Start-up's fixed set of windows: created once, in order, the map window
// first; the others live hidden until the program ends. The references
// themselves are in ui/windowset.h.

namespace tessolo::app {

// Creates the seven windows in their order and fills the program-wide
// references. The map window is created first, so the database exists before
// any other window is built.
void createWindowSet();
// Frees them in reverse order and clears the references.
void destroyWindowSet();

} // namespace tessolo::app
