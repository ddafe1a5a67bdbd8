#include "app/pagekey.h"

#include <QUrl>
#include <QWebEngineUrlRequestInfo>

namespace tessolo::app {

TPageKey::TPageKey(QWebEngineUrlRequestInterceptor* next, QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent),
      m_next(next)
{ }

void TPageKey::setServer(const QString& hostPort, const QByteArray& headerName, const QByteArray& key)
{
    m_hostPort = hostPort;
    m_header = headerName;
    m_key = key;
}

void TPageKey::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    if (m_next)
        m_next->interceptRequest(info);
    if (m_key.isEmpty())
        return;
    const QUrl url = info.requestUrl();
    if (url.scheme() == QLatin1String("http") && url.authority() == m_hostPort)
        info.setHttpHeader(m_header, m_key);
}

} // namespace tessolo::app
