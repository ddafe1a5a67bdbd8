#pragma once
// A stand-in for the address search service on 127.0.0.1: it answers every
// question with one point titled as asked (or as a test says), sends no
// cross-origin headers, and notes each question it got.

#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>
#include <functional>

class FakeAddressSearch {
public:
    // lng, lat of the answer; the title is the question unless `title` says.
    double lng = 139.4777;
    double lat = 35.6688;
    std::function<QString(const QString&)> title;
    int status = 200;

    FakeAddressSearch()
    {
        m_server.route(QStringLiteral("/address-search/AddressSearch"), [this](const QHttpServerRequest& r) {
            const QString q = QUrlQuery(r.url()).queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded);
            queries << q;
            if (status != 200)
                return QHttpServerResponse(QHttpServerResponse::StatusCode(status));
            const QJsonObject feature{{QStringLiteral("type"), QStringLiteral("Feature")},
                                      {QStringLiteral("geometry"),
                                       QJsonObject{{QStringLiteral("type"), QStringLiteral("Point")},
                                                   {QStringLiteral("coordinates"), QJsonArray{lng, lat}}}},
                                      {QStringLiteral("properties"),
                                       QJsonObject{{QStringLiteral("addressCode"), QString()},
                                                   {QStringLiteral("title"), title ? title(q) : q}}}};
            return QHttpServerResponse(QJsonArray{feature});
        });
        m_port = m_server.listen(QHostAddress::LocalHost, 0);
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/address-search/AddressSearch").arg(m_port)); }
    quint16 port() const { return m_port; }

    QStringList queries;

private:
    QHttpServer m_server;
    quint16 m_port = 0;
};
