#include "app/startup.h"

#include "data/datalocation.h"
#include "data/errors.h"
#include "postal/shippedpostal.h"
#include "ui/shippedpostaloffer.h"

#include <QApplication>
#include <QMessageBox>
#include <QStandardPaths>
#include <cstdio>

namespace tessolo::app {

int answerCommandLine(const TStartOptions& options)
{
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tessolo: %s\n\n%s", options.error.toLocal8Bit().constData(),
                     usageText().toLocal8Bit().constData());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("Tessolo %s\n", TESSOLO_VERSION);
        return 0;
    }
    return -1;
}

bool chooseDatabase(const QString& path)
{
    try {
        if (!path.isEmpty())
            location::useDatabaseFile(path);
        location::prepareDefaultDirectory();
        return true;
    } catch (const TessoloError& e) {
        std::fprintf(stderr, "tessolo: %s\n", e.message().toLocal8Bit().constData());
        // Started from the desktop's menu nobody reads stderr; on the
        // offscreen platform nobody could answer a box.
        if (QGuiApplication::platformName() != QLatin1String("offscreen"))
            QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), e.message());
        return false;
    }
}

void enableShippedPostalList()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    ui::enableShippedPostalOffer({shippedpostal::shippedFolder(), config + QStringLiteral("/Tessolo/tessolo.conf")});
}

} // namespace tessolo::app
