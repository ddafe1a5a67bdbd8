#pragma once
// The messages the program raises for its windows, seen by a test: one
// TAppEvents object for the whole test program, made on first use. A fixture
// connects what it wants to read and disconnects it again when it ends.

#include "ui/appevents.h"

inline tessolo::ui::TAppEvents& testEvents()
{
    // Never freed: connections of fixtures end before the program does.
    static auto* events = new tessolo::ui::TAppEvents;
    return *events;
}
