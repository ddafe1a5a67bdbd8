#include "ui/appevents.h"

namespace tessolo::ui {

namespace {
TAppEvents* g_current = nullptr;
} // namespace

TAppEvents::TAppEvents(QObject* parent)
    : QObject(parent),
      m_previous(g_current)
{
    g_current = this;
}

TAppEvents::~TAppEvents()
{
    if (g_current == this)
        g_current = m_previous;
}

TAppEvents* TAppEvents::current() { return g_current; }

} // namespace tessolo::ui
