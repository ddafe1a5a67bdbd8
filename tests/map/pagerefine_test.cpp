// The real map page with the program's address search in front of a
// stand-in service (which sends no cross-origin headers): an answer found at
// one start is found again at the next, on another port, without asking the
// service; with --offline nothing is asked and nothing leaves the machine.
// Also how long the page takes from the window's showing to loaded, and to
// its base map drawn.

#include "app/addresssearch.h"
#include "app/frmmapbrows.h"
#include "app/mapserver.h"
#include "app/offlineguard.h"
#include "app/startoptions.h"
#include "app/webmap.h"
#include "data/sqlitedo.h"
#include "fakeaddresssearch.h"
#include "tests/ui/uitest.h"
#include "ui/windowset.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QVariantMap>
#include <QWebEnginePage>
#include <memory>

using tessolo::app::TAddressSearch;

class PageRefineTest : public QObject {
    Q_OBJECT

    std::unique_ptr<uitest::Db> db;
    std::unique_ptr<uitest::Errors> errors;
    std::unique_ptr<QTemporaryDir> tmp;
    std::unique_ptr<FakeAddressSearch> fake;
    const QString velmo = QStringLiteral(TESSOLO_VELMO_DIR);

    QVariantMap js(TfrmMapbrows& w, const QString& script)
    {
        QVariantMap out;
        bool done = false;
        w.WebMap1->page()->runJavaScript(script, [&](const QVariant& v) {
            out = v.toMap();
            done = true;
        });
        // A timeout shows in what comes back, which the caller checks.
        (void)QTest::qWaitFor([&] { return done; }, 10000);
        return out;
    }

    QVariantMap state(TfrmMapbrows& w) { return js(w, QStringLiteral("window.tessoloState ? tessoloState() : {}")); }

    bool settled(TfrmMapbrows& w)
    {
        const QVariantMap s = state(w);
        return !s.isEmpty() && s.value(QStringLiteral("pending")).toInt() == 0 &&
            s.value(QStringLiteral("refining")).toInt() == 0;
    }

    // The page's state and the questions the service got, for a failure's message.
    QString describe(TfrmMapbrows& w)
    {
        QStringList parts;
        const QVariantMap s = state(w);
        for (auto it = s.cbegin(); it != s.cend(); ++it)
            parts << it.key() + QLatin1Char('=') + it.value().toString();
        return parts.join(QLatin1Char(' ')) + QStringLiteral("; asked: ") + fake->queries.join(QLatin1Char('|'));
    }

    static void addCustomer(const QString& name, const QString& pref, const QString& city, const QString& town)
    {
        uitest::Db::addCustomer({name, name, {}, {}, {}, {}, {}, pref, city, town});
    }

    // Shows a map window as start-up does and waits for its page.
    std::unique_ptr<TfrmMapbrows> start()
    {
        auto w = std::make_unique<TfrmMapbrows>();
        w->mapServer()->setRoot(velmo);
        w->addressSearch()->setEndpoint(fake->url());
        frmMapbrows = w.get();
        QSignalSpy loaded(w->WebMap1, &QWebEngineView::loadFinished);
        w->show();
        if (!loaded.wait(30000))
            qWarning("the page did not load");
        return w;
    }

    void stop(std::unique_ptr<TfrmMapbrows>& w)
    {
        frmMapbrows = nullptr;
        w.reset();
    }

private slots:
    void init()
    {
        if (!QFile::exists(velmo + QStringLiteral("/tessolo.html")))
            QSKIP("the map page is not installed beside the program");
        db = std::make_unique<uitest::Db>();
        errors = std::make_unique<uitest::Errors>();
        tmp = std::make_unique<QTemporaryDir>();
        fake = std::make_unique<FakeAddressSearch>();
        TAddressSearch::setDefaultCacheFile(tmp->filePath(QStringLiteral("profile/address-search.jsonl")));
        tessolo::app::setOfflineMode(false);
    }

    void cleanup()
    {
        tessolo::app::setOfflineMode(false);
        TAddressSearch::setDefaultCacheFile(QString());
        fake.reset();
        tmp.reset();
        errors.reset();
        db.reset();
    }

    void secondStartFindsTheFirstStartsAnswer()
    {
        // A town the table does not know: placed at its municipality, so asked.
        const QString address = QStringLiteral("東京都府中市架空町9-9");
        addCustomer(QStringLiteral("甲"), QStringLiteral("東京都"), QStringLiteral("府中市"),
                    QStringLiteral("架空町9-9"));

        auto first = start();
        const quint16 firstPort = first->mapServer()->port();
        QTest::mouseClick(first->btnClients, Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(state(*first).value(QStringLiteral("refined")).toInt() == 1,
                                  qPrintable(describe(*first)), 20000);
        QCOMPARE(fake->queries, QStringList{address});
        stop(first);

        // The next start cannot have the same port (and so the same origin):
        // held here, or by whoever took it meanwhile.
        QTcpServer holder;
        holder.listen(QHostAddress::LocalHost, firstPort);
        auto second = start();
        QVERIFY(second->mapServer()->port() != firstPort);
        QTest::mouseClick(second->btnClients, Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(state(*second).value(QStringLiteral("refined")).toInt() == 1,
                                  qPrintable(describe(*second)), 20000);
        QCOMPARE(state(*second).value(QStringLiteral("marks")).toInt(), 1);
        QCOMPARE(fake->queries.size(), 1);
        QVERIFY2(errors->messages.isEmpty(), qPrintable(errors->messages.join(QLatin1Char('|'))));
        stop(second);
    }

    void offlineStartAsksNothingAndSendsNothing()
    {
        // One address answered at an earlier start, one never asked.
        {
            TAddressSearch earlier(TAddressSearch::defaultCacheFile());
            earlier.setEndpoint(fake->url());
            bool done = false;
            earlier.lookup(QStringLiteral("東京都府中市架空町1"), [&](int, const QByteArray&) { done = true; });
            QTRY_VERIFY(done);
        }
        fake->queries.clear();
        tessolo::app::setOfflineMode(true);
        addCustomer(QStringLiteral("乙"), QStringLiteral("東京都"), QStringLiteral("府中市"),
                    QStringLiteral("架空町1"));
        addCustomer(QStringLiteral("丙"), QStringLiteral("東京都"), QStringLiteral("府中市"),
                    QStringLiteral("架空町2"));
        auto w = start();
        QVERIFY(w->pageAddress().endsWith(QStringLiteral("/velmo/tessolo.html?offline=1")));
        QVERIFY(w->WebMap1->offlineGuard());
        QTest::mouseClick(w->btnClients, Qt::LeftButton);
        // Settled: nothing left to draw and no answer still to come (an
        // answer arriving makes its mark move, so drawing resumes).
        QTRY_VERIFY2_WITH_TIMEOUT(settled(*w), qPrintable(describe(*w)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(
            js(*w, QStringLiteral("tessoloBasemapState()")).value(QStringLiteral("ready")).toBool(), 20000);
        QTest::qWait(500);
        const QVariantMap s = state(*w);
        QCOMPARE(s.value(QStringLiteral("marks")).toInt(), 2);
        QVERIFY(s.value(QStringLiteral("offline")).toBool());
        // The kept answer moves its mark; the other stays on the table's point.
        QVERIFY2(s.value(QStringLiteral("refined")).toInt() == 1, qPrintable(describe(*w)));
        QVERIFY(fake->queries.isEmpty());
        // The page asked for nothing off the machine ...
        QCOMPARE(w->WebMap1->offlineGuard()->blocked(), QList<QUrl>{});
        // ... and had it asked, the request would not have left.
        js(*w, QStringLiteral("fetch('https://tile.openstreetmap.org/5/28/12.png').catch(function(){}); ({})"));
        QTRY_COMPARE(w->WebMap1->offlineGuard()->blocked().size(), 1);
        QVERIFY2(errors->messages.isEmpty(), qPrintable(errors->messages.join(QLatin1Char('|'))));
        stop(w);
    }

    // Street-level positions: off, an address the town table places is not
    // sent; on, it is sent once, kept, and its mark moves to the answer.
    void streetLevelSendsEachAddressOnceWhenChosen()
    {
        const QString address = QStringLiteral("東京都千代田区丸の内1-1");
        addCustomer(QStringLiteral("丁"), QStringLiteral("東京都"), QStringLiteral("千代田区"),
                    QStringLiteral("丸の内1-1"));
        auto w = start();
        w->actStreetLevel->setChecked(false);
        QTest::mouseClick(w->btnClients, Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(settled(*w), qPrintable(describe(*w)), 20000);
        QTest::qWait(300);
        QCOMPARE(state(*w).value(QStringLiteral("refined")).toInt(), 0);
        QVERIFY2(fake->queries.isEmpty(), qPrintable(describe(*w)));

        w->actStreetLevel->setChecked(true);
        QVERIFY(w->pageAddress().contains(QStringLiteral("street=1")));
        QTest::mouseClick(w->btnclear, Qt::LeftButton);
        QTest::mouseClick(w->btnClients, Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(state(*w).value(QStringLiteral("refined")).toInt() == 1, qPrintable(describe(*w)),
                                  20000);
        QCOMPARE(fake->queries, QStringList{address});
        const QVariantMap mark = js(*w, QStringLiteral("tessoloMarks()[0]"));
        QCOMPARE(mark.value(QStringLiteral("lat")).toDouble(), fake->lat);
        QCOMPARE(mark.value(QStringLiteral("lng")).toDouble(), fake->lng);

        // Marked again: the kept answer, no second question.
        QTest::mouseClick(w->btnclear, Qt::LeftButton);
        QTest::mouseClick(w->btnClients, Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(state(*w).value(QStringLiteral("refined")).toInt() == 1, qPrintable(describe(*w)),
                                  20000);
        QCOMPARE(fake->queries.size(), 1);
        w->actStreetLevel->setChecked(false);
        QVERIFY2(errors->messages.isEmpty(), qPrintable(errors->messages.join(QLatin1Char('|'))));
        stop(w);
    }

    void pageLoadTimes()
    {
        QElapsedTimer t;
        t.start();
        auto w = start();
        const qint64 loaded = t.elapsed();
        QTRY_VERIFY_WITH_TIMEOUT(
            js(*w, QStringLiteral("tessoloBasemapState()")).value(QStringLiteral("ready")).toBool(), 20000);
        const qint64 basemap = t.elapsed();
        const QVariantMap b = js(*w, QStringLiteral("tessoloBasemapState()"));
        qInfo("window made and shown to page loaded: %lld ms; to base map drawn: %lld ms "
              "(page clock: file read at %d ms, drawn at %d ms)",
              loaded, basemap, b.value(QStringLiteral("loadedMs")).toInt(), b.value(QStringLiteral("ms")).toInt());
        // All Japan: no municipality fills a good part of the window.
        QCOMPARE(b.value(QStringLiteral("labels")).toStringList(), QStringList{});
        stop(w);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    PageRefineTest t;
    return QTest::qExec(&t, argc, argv);
}
#include "pagerefine_test.moc"
