#pragma once
// A map window over the page the build copied beside the program, started as
// --offline starts it (the page asks for no tiles), on a data folder of its
// own; shown, with its page loaded and drawn.

#include "app/frmmapbrows.h"
#include "app/mapserver.h"
#include "app/startoptions.h"
#include "app/webmap.h"
#include "data/datalocation.h"
#include "tests/map/pagescript.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <memory>

class OfflineMap {
public:
    static QString pageFolder() { return QStringLiteral(TESSOLO_VELMO_DIR); }
    static bool pageInstalled() { return QFile::exists(pageFolder() + QStringLiteral("/tessolo.html")); }

    OfflineMap()
    {
        tessolo::location::setDataDirectory(m_data.path());
        tessolo::app::setOfflineMode(true);
        m_window = std::make_unique<TfrmMapbrows>();
        m_window->mapServer()->setRoot(pageFolder());
    }
    ~OfflineMap()
    {
        m_window.reset();
        tessolo::app::setOfflineMode(false);
        tessolo::location::setDataDirectory(QString());
    }

    // False when the page did not load and draw within 30 s each.
    bool show()
    {
        QSignalSpy loaded(m_window->WebMap1, &QWebEngineView::loadFinished);
        m_window->show();
        return loaded.wait(30000) && pageIdle(m_window->WebMap1, 30000);
    }
    TfrmMapbrows* window() const { return m_window.get(); }
    const QTemporaryDir& data() const { return m_data; }

private:
    QTemporaryDir m_data;
    std::unique_ptr<TfrmMapbrows> m_window;
};
