// Tessolo: a customer map for small businesses.

#include "app/addresssearch.h"
#include "app/application.h"
#include "app/frmmapbrows.h"
#include "app/startoptions.h"
#include "app/startup.h"
#include "app/storechoice.h"
#include "app/webmap.h"
#include "data/datalocation.h"
#include "ui/windowset.h"
#include "ui/backupguard.h"

#include <QFileInfo>

#include <sys/stat.h>

int main(int argc, char** argv)
{
    // Every file the program and its browser control write (the roster, its
    // copies, exports, caches, settings) is its user's alone.
    ::umask(077);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const tessolo::app::TStartOptions options = tessolo::app::parseStartOptions(arguments);
    // --help and --version need no display.
    if (const int rc = tessolo::app::answerCommandLine(options); rc >= 0)
        return rc;

    // Moving a file onto the server needs no display at all.
    if (!options.importFile.isEmpty())
        return tessolo::app::runImportFile(options);

    // The browser control shares its graphics context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    tessolo::app::TApplication app(argc, argv);
    tessolo::app::installJapaneseFont();
    tessolo::app::installJapaneseQtTexts();
    if (!options.dataDir.isEmpty())
        tessolo::location::setDataDirectory(QFileInfo(options.dataDir).absoluteFilePath());
    if (!tessolo::app::chooseStore(options.database))
        return 1;
    tessolo::app::setOfflineMode(options.offline);
    tessolo::app::enableShippedPostalList();
    tessolo::app::TWebMap::usePersistentProfile(QStringLiteral("tessolo"));
    tessolo::app::TAddressSearch::setDefaultCacheFile(tessolo::app::TAddressSearch::profileCacheFile());
    tessolo::app::createWindowSet();
    frmMapbrows->rememberPlacement();
    frmMapbrows->show();
    tessolo::ui::dailyBackup();
    const int rc = app.exec();
    tessolo::app::destroyWindowSet();
    return rc;
}
