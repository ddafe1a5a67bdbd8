// The program's address search against a stand-in service: answers kept on
// disk for the next start, one question per address, nothing asked offline or
// while the service is unreachable, and the page server's route to it.

#include "app/addresssearch.h"
#include "app/mapserver.h"
#include "app/offlineguard.h"
#include "app/startoptions.h"
#include "fakeaddresssearch.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using tessolo::app::TAddressSearch;

namespace {

struct Answer {
    bool done = false;
    int status = 0;
    QByteArray body;
};

// Looks `query` up and waits for the answer.
Answer ask(TAddressSearch& s, const QString& query)
{
    Answer a;
    s.lookup(query, [&a](int status, const QByteArray& body) {
        a.done = true;
        a.status = status;
        a.body = body;
    });
    // A timeout shows in what comes back, which the caller checks.
    (void)QTest::qWaitFor([&] { return a.done; }, 15000);
    return a;
}

QString titleOf(const QByteArray& body)
{
    return QJsonDocument::fromJson(body).array().at(0).toObject().value(QStringLiteral("properties")).toObject()
        .value(QStringLiteral("title")).toString();
}

// Sends a GET for `path` to the page server; with `until`, waits until the
// reply read so far satisfies it and returns it.
QByteArray rawGet(quint16 port, const QByteArray& path, std::function<bool(const QByteArray&)> until)
{
    QTcpSocket c;
    c.connectToHost(QHostAddress::LocalHost, port);
    if (!c.waitForConnected(5000))
        return {};
    c.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    c.waitForBytesWritten(5000);
    QByteArray all;
    if (!until) {
        c.abort(); // the page went away before its answer
        return {};
    }
    // A timeout shows in what comes back, which the caller checks.
    (void)QTest::qWaitFor([&] {
        all += c.readAll();
        return until(all);
    }, 15000);
    return all;
}

quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort(); // closed again when `s` goes
}

} // namespace

class AddressSearchTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp;
    std::unique_ptr<FakeAddressSearch> fake;
    QString file;

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        file = tmp->filePath(QStringLiteral("profile/address-search.jsonl"));
        fake = std::make_unique<FakeAddressSearch>();
        QVERIFY(fake->port() != 0);
        TAddressSearch::setEndpointForTesting(fake->url());
        tessolo::app::setOfflineMode(false);
    }

    void cleanup()
    {
        tessolo::app::setOfflineMode(false);
        TAddressSearch::setEndpointForTesting(QUrl());
        fake.reset();
        tmp.reset();
    }

    void answerIsKeptForTheNextStart()
    {
        const QString q = QStringLiteral("東京都府中市架空町9-9 ＡＢビル&3F+α");
        {
            TAddressSearch first(file);
            const Answer a = ask(first, q);
            QCOMPARE(a.status, 200);
            QCOMPARE(titleOf(a.body), q); // the text arrived unchanged, '&' and '+' included
            QCOMPARE(fake->queries, QStringList{q});
        }
        TAddressSearch second(file);
        QCOMPARE(second.cachedCount(), 1);
        bool immediate = false;
        second.lookup(q, [&](int status, const QByteArray& body) {
            immediate = status == 200 && titleOf(body) == q;
        });
        QVERIFY(immediate);
        QCOMPARE(fake->queries.size(), 1);
    }

    void oneQuestionPerAddress()
    {
        TAddressSearch s(file);
        int answers = 0;
        for (int i = 0; i < 3; ++i)
            s.lookup(QStringLiteral("東京都府中市架空町"), [&](int status, const QByteArray&) { answers += status == 200; });
        QTRY_COMPARE(answers, 3);
        QCOMPARE(fake->queries.size(), 1);
    }

    void offlineAsksNothing()
    {
        tessolo::app::setOfflineMode(true);
        TAddressSearch s(file);
        QCOMPARE(ask(s, QStringLiteral("東京都府中市")).status, 403);
        QCOMPARE(ask(s, QString()).status, 400);
        QCOMPARE(ask(s, QString(TAddressSearch::kMaxQueryLength + 1, QChar(u'あ'))).status, 400);
        QTest::qWait(100);
        QVERIFY(fake->queries.isEmpty());
        QVERIFY(!QFile::exists(file));
    }

    void unreachableServiceIsLeftAloneForAWhile()
    {
        TAddressSearch::setEndpointForTesting(
            QUrl(QStringLiteral("http://127.0.0.1:%1/address-search/AddressSearch").arg(closedPort())));
        TAddressSearch s(file);
        QCOMPARE(ask(s, QStringLiteral("東京都府中市")).status, 503);
        // The service is back, but within the pause nobody asks it.
        TAddressSearch::setEndpointForTesting(fake->url());
        QCOMPARE(ask(s, QStringLiteral("東京都調布市")).status, 503);
        QVERIFY(fake->queries.isEmpty());
        QCOMPARE(s.cachedCount(), 0);
    }

    void failingAnswerIsNotKept()
    {
        TAddressSearch s(file);
        fake->status = 500;
        QCOMPARE(ask(s, QStringLiteral("東京都府中市")).status, 502);
        fake->status = 200;
        QCOMPARE(ask(s, QStringLiteral("東京都府中市")).status, 200);
        QCOMPARE(fake->queries.size(), 2);
        TAddressSearch later(file);
        QCOMPARE(later.cachedCount(), 1);
    }

    void tornLineIsSkippedAndLaterLinesStillRead()
    {
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(R"({"q":"甲","a":[{"geometry":{"coordinates":[139,35]},"properties":{"title":"甲"}}]})"
                    "\n"
                    "{\"q\":\"乙\",\"a\":[{\"geometry\":{\"coordi"); // torn mid-write
        }
        {
            TAddressSearch s(file);
            QCOMPARE(s.cachedCount(), 1);
            QCOMPARE(ask(s, QStringLiteral("丙")).status, 200);
        }
        TAddressSearch again(file);
        QCOMPARE(again.cachedCount(), 2);
        bool hit = false;
        again.lookup(QStringLiteral("丙"), [&](int status, const QByteArray&) { hit = status == 200; });
        QVERIFY(hit);
    }

    void answerAfterAFailedWriteIsKeptOnALineOfItsOwn()
    {
        if (!QFileInfo(QStringLiteral("/dev/full")).exists())
            QSKIP("no /dev/full to fill the disk with");
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        const QString real = file + QStringLiteral(".real");
        TAddressSearch s(file);
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), file));
        QCOMPARE(ask(s, QStringLiteral("甲")).status, 200); // answered, though not kept: the disk is full
        // Space again; the failed write left part of its line behind.
        {
            QFile f(real);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("{\"q\":\"\xe7\x94\xb2\",\"a\":[{\"geom");
        }
        QVERIFY(QFile::remove(file));
        QVERIFY(QFile::link(real, file));
        QCOMPARE(ask(s, QStringLiteral("乙")).status, 200);
        TAddressSearch later(file);
        QCOMPARE(later.cachedCount(), 1);
        bool hit = false;
        later.lookup(QStringLiteral("乙"), [&](int status, const QByteArray&) { hit = status == 200; });
        QVERIFY(hit);
    }

    void answersAreTrimmedToWhatThePageReads()
    {
        QByteArray out;
        QVERIFY(!TAddressSearch::trimAnswer("{\"error\":1}", &out));
        QVERIFY(!TAddressSearch::trimAnswer("not json", &out));
        QVERIFY(TAddressSearch::trimAnswer(
            R"([{"geometry":{"coordinates":[139.5,35.6]},"properties":{"title":"東京都府中市","addressCode":"13206"}},
                {"geometry":{"coordinates":["x",35]},"properties":{"title":"bad"}},
                {"geometry":{"coordinates":[139,35]},"properties":{}}])",
            &out));
        QCOMPARE(out, QByteArray(R"([{"geometry":{"coordinates":[139.5,35.6]},"properties":{"title":"東京都府中市"}}])"));
    }

    void pageServerRoutesToTheSearch()
    {
        QTemporaryDir root;
        tessolo::app::TMapServer server(root.path());
        server.start();
        TAddressSearch s(file);
        server.setAddressSearch(&s);

        const QByteArray path = "/velmo/address-search?q=" + QUrl::toPercentEncoding(QStringLiteral("東京都府中市架空町"));
        const QByteArray all = rawGet(server.port(), path,
                                      [](const QByteArray& r) { return r.contains("\r\n\r\n") && r.endsWith("]"); });
        QVERIFY2(all.startsWith("HTTP/1.1 200"), all.constData());
        QVERIFY(all.toLower().contains("content-type: application/json"));
        QCOMPARE(titleOf(all.mid(all.indexOf("\r\n\r\n") + 4)), QStringLiteral("東京都府中市架空町"));

        // A page that goes away before its answer: the answer is still kept,
        // and nothing is written to the closed connection.
        rawGet(server.port(), "/velmo/address-search?q=" + QUrl::toPercentEncoding(QStringLiteral("東京都調布市")), {});
        QTRY_COMPARE(s.cachedCount(), 2);

        // Without a search the route is just a missing file.
        server.setAddressSearch(nullptr);
        const QByteArray reply = rawGet(server.port(), path, [](const QByteArray& r) { return r.contains("\r\n"); });
        QVERIFY2(reply.startsWith("HTTP/1.1 404"), reply.constData());
    }

    void offlineOptionAndGuard()
    {
        using tessolo::app::parseStartOptions;
        QVERIFY(parseStartOptions({QStringLiteral("tessolo"), QStringLiteral("--disable-gpu"), QStringLiteral("--offline")})
                    .offline);
        QVERIFY(!parseStartOptions({QStringLiteral("--offline")}).offline); // the program's own name

        using tessolo::app::TOfflineGuard;
        QVERIFY(TOfflineGuard::staysLocal(QUrl(QStringLiteral("http://127.0.0.1:5000/velmo/tessolo.html"))));
        QVERIFY(TOfflineGuard::staysLocal(QUrl(QStringLiteral("data:image/png;base64,AAAA"))));
        QVERIFY(!TOfflineGuard::staysLocal(QUrl(QStringLiteral("https://tile.openstreetmap.org/5/28/12.png"))));
        // a name is not trusted to stay on the machine
        QVERIFY(!TOfflineGuard::staysLocal(QUrl(QStringLiteral("http://localhost.example.com/"))));
    }
};

QTEST_GUILESS_MAIN(AddressSearchTest)
#include "addresssearch_test.moc"
