// Tessolo: a customer map for small businesses.

#include "app/addresssearch.h"
#include "app/application.h"
#include "app/frmmapbrows.h"
#include "app/startoptions.h"
#include "app/webmap.h"
#include "app/windowset.h"
#include "ui/backupguard.h"
#include "ui/windowset.h"

int main(int argc, char** argv)
{
    // The browser control shares its graphics context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    tessolo::app::TApplication app(argc, argv);
    tessolo::app::installJapaneseFont();
    tessolo::app::setOfflineMode(tessolo::app::parseStartOptions(QCoreApplication::arguments()).offline);
    tessolo::app::TWebMap::usePersistentProfile(QStringLiteral("tessolo"));
    tessolo::app::TAddressSearch::setDefaultCacheFile(tessolo::app::TAddressSearch::profileCacheFile());
    tessolo::app::createWindowSet();
    frmMapbrows->show();
    tessolo::ui::dailyBackup();
    const int rc = app.exec();
    tessolo::app::destroyWindowSet();
    return rc;
}
