#include "app/offlineguard.h"

#include <QHostAddress>
#include <QWebEngineUrlRequestInfo>

namespace tessolo::app {

TOfflineGuard::TOfflineGuard(QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent)
{ }

bool TOfflineGuard::staysLocal(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("data") || scheme == QLatin1String("blob") || scheme == QLatin1String("about"))
        return true;
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("ws") &&
        scheme != QLatin1String("wss"))
        return false;
    // By address, not by name: a name could be made to resolve elsewhere.
    const QHostAddress host(url.host());
    return !host.isNull() && host.isLoopback();
}

void TOfflineGuard::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    if (staysLocal(info.requestUrl()))
        return;
    info.block(true);
    m_blocked.append(info.requestUrl());
}

} // namespace tessolo::app
