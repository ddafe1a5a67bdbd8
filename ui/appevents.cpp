#include "ui/appevents.h"

namespace tessolo::ui {

namespace {
AppEvents* g_current = nullptr;
} // namespace

AppEvents::AppEvents(QObject* parent) : QObject(parent), m_previous(g_current) { g_current = this; }

AppEvents::~AppEvents()
{
    if (g_current == this)
        g_current = m_previous;
}

AppEvents* AppEvents::current() { return g_current; }

} // namespace tessolo::ui
