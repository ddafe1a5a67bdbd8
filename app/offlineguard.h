#pragma once
// Keeps the browser control on the machine: every request for anything but
// the program's own page server (127.0.0.1) is blocked and noted. Installed
// when the program runs with --offline, so that nothing leaves the machine
// even if the page asked for it.

#include <QList>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

namespace tessolo::app {

class TOfflineGuard : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    explicit TOfflineGuard(QObject* parent = nullptr);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

    // Whether `url` stays on the machine: the loopback address, and the
    // browser's own schemes that fetch nothing (data:, blob:, about:).
    static bool staysLocal(const QUrl& url);
    const QList<QUrl>& blocked() const { return m_blocked; }

private:
    QList<QUrl> m_blocked;
};

} // namespace tessolo::app
