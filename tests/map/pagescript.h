#pragma once
// Asking the map page from a window test: a script's answer (waited for, up
// to 20 s), the same read as JSON, and waiting until the page has drawn
// every queued mark.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>

inline QVariant pageScript(QWebEngineView* view, const QString& code)
{
    QVariant out;
    bool done = false;
    view->page()->runJavaScript(code, [&](const QVariant& v) {
        out = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 20000))
        qWarning("no answer from the page to %s", qPrintable(code.left(80)));
    return out;
}

inline QJsonValue pageJson(QWebEngineView* view, const QString& code)
{
    return QJsonDocument::fromJson(("[" + pageScript(view, code).toString() + "]").toUtf8()).array().at(0);
}

inline bool pageIdle(QWebEngineView* view, int timeoutMs = 60000)
{
    return QTest::qWaitFor([&] { return pageScript(view, QStringLiteral("tessoloPending()")).toInt() == 0; },
                           timeoutMs);
}
