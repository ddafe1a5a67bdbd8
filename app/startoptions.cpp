#include "app/startoptions.h"

namespace tessolo::app {

namespace {
bool offlineFlag = false;
} // namespace

TStartOptions parseStartOptions(const QStringList& arguments)
{
    TStartOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--offline"))
            options.offline = true;
    }
    return options;
}

bool offlineMode() { return offlineFlag; }

void setOfflineMode(bool offline) { offlineFlag = offline; }

} // namespace tessolo::app
