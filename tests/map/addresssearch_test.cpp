// The program's address search against a stand-in service: answers kept on
// disk for the next start, one question per address, nothing asked offline or
// while the service is unreachable, and the page server's route to it.

#include "app/addresssearch.h"
#include "app/gatedtcpserver.h"
#include "app/mapserver.h"
#include "app/offlineguard.h"
#include "app/startoptions.h"
#include "fakeaddresssearch.h"
#include "tests/diskfull.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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
    return QJsonDocument::fromJson(body)
        .array()
        .at(0)
        .toObject()
        .value(QStringLiteral("properties"))
        .toObject()
        .value(QStringLiteral("title"))
        .toString();
}

// Sends `request` as it is to the page server; with `until`, waits until the
// reply read so far satisfies it (or the server closes) and returns it.
QByteArray rawRequest(quint16 port, const QByteArray& request, std::function<bool(const QByteArray&)> until,
                      int waitMs = 15000)
{
    QTcpSocket c;
    c.connectToHost(QHostAddress::LocalHost, port);
    if (!c.waitForConnected(5000))
        return {};
    c.write(request);
    c.waitForBytesWritten(5000);
    QByteArray all;
    if (!until) {
        c.abort(); // the page went away before its answer
        return {};
    }
    (void)QTest::qWaitFor(
        [&] {
            all += c.readAll();
            return until(all) || c.state() == QAbstractSocket::UnconnectedState;
        },
        waitMs);
    return all + c.readAll();
}

// A GET as the program's page sends it: its own Host, and the key where given.
QByteArray pageGet(const tessolo::app::TMapServer& server, const QByteArray& path,
                   std::function<bool(const QByteArray&)> until, const QByteArray& key = {})
{
    QByteArray head = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n";
    if (!key.isEmpty())
        head += QByteArray(tessolo::app::TMapServer::kKeyHeader) + ": " + key + "\r\n";
    return rawRequest(server.port(), head + "\r\n", std::move(until));
}

bool wholeHead(const QByteArray& r) { return r.contains("\r\n\r\n"); }

// The program's search, asking `service` instead of the real one.
struct Search : TAddressSearch {
    Search(const QString& cacheFile, const QUrl& service, qsizetype keptAnswers = 0)
        : TAddressSearch(cacheFile, keptAnswers)
    {
        setEndpoint(service);
    }
};

// A page server over a folder holding one page, with an address search.
struct Served {
    QTemporaryDir root;
    std::unique_ptr<TAddressSearch> search; // outlives the server that asks it
    std::unique_ptr<tessolo::app::TMapServer> server;

    Served(const QString& cacheFile, const QUrl& service)
    {
        QFile page(root.filePath(QStringLiteral("page.html")));
        if (page.open(QIODevice::WriteOnly))
            page.write("<p>page</p>");
        page.close();
        search = std::make_unique<Search>(cacheFile, service);
        server = std::make_unique<tessolo::app::TMapServer>(root.path());
        server->start();
        server->setAddressSearch(search.get());
    }
};

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
        tessolo::app::setOfflineMode(false);
    }

    void cleanup()
    {
        tessolo::app::setOfflineMode(false);
        fake.reset();
        tmp.reset();
    }

    void answerIsKeptForTheNextStart()
    {
        const QString q = QStringLiteral("東京都府中市架空町9-9 ＡＢビル&3F+α");
        {
            Search first(file, fake->url());
            const Answer a = ask(first, q);
            QCOMPARE(a.status, 200);
            QCOMPARE(titleOf(a.body), q); // the text arrived unchanged, '&' and '+' included
            QCOMPARE(fake->queries, QStringList{q});
        }
        Search second(file, fake->url());
        QCOMPARE(second.cachedCount(), 1);
        bool immediate = false;
        second.lookup(q, [&](int status, const QByteArray& body) { immediate = status == 200 && titleOf(body) == q; });
        QVERIFY(immediate);
        QCOMPARE(fake->queries.size(), 1);
    }

    void oneQuestionPerAddress()
    {
        Search s(file, fake->url());
        int answers = 0;
        for (int i = 0; i < 3; ++i)
            s.lookup(QStringLiteral("東京都府中市架空町"),
                     [&](int status, const QByteArray&) { answers += status == 200; });
        QTRY_COMPARE(answers, 3);
        QCOMPARE(fake->queries.size(), 1);
    }

    void offlineAsksNothing()
    {
        tessolo::app::setOfflineMode(true);
        Search s(file, fake->url());
        QCOMPARE(ask(s, QStringLiteral("東京都府中市")).status, 403);
        QCOMPARE(ask(s, QString()).status, 400);
        QCOMPARE(ask(s, QString(TAddressSearch::kMaxQueryLength + 1, QChar(u'あ'))).status, 400);
        QTest::qWait(100);
        QVERIFY(fake->queries.isEmpty());
        QVERIFY(!QFile::exists(file));
    }

    void unreachableServiceIsLeftAloneForAWhile()
    {
        Search s(file, QUrl(QStringLiteral("http://127.0.0.1:%1/address-search/AddressSearch").arg(closedPort())));
        QCOMPARE(ask(s, QStringLiteral("東京都府中市")).status, 503);
        // The service is back, but within the pause nobody asks it.
        s.setEndpoint(fake->url());
        QCOMPARE(ask(s, QStringLiteral("東京都調布市")).status, 503);
        QVERIFY(fake->queries.isEmpty());
        QCOMPARE(s.cachedCount(), 0);
    }

    void failingAnswerIsNotKept()
    {
        Search s(file, fake->url());
        fake->status = 500;
        QCOMPARE(ask(s, QStringLiteral("東京都府中市")).status, 502);
        fake->status = 200;
        QCOMPARE(ask(s, QStringLiteral("東京都府中市")).status, 200);
        QCOMPARE(fake->queries.size(), 2);
        Search later(file, fake->url());
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
            Search s(file, fake->url());
            QCOMPARE(s.cachedCount(), 1);
            QCOMPARE(ask(s, QStringLiteral("丙")).status, 200);
        }
        Search again(file, fake->url());
        QCOMPARE(again.cachedCount(), 2);
        bool hit = false;
        again.lookup(QStringLiteral("丙"), [&](int status, const QByteArray&) { hit = status == 200; });
        QVERIFY(hit);
    }

    void answerAfterAFailedWriteIsKeptOnALineOfItsOwn()
    {
        Search s(file, fake->url());
        QCOMPARE(ask(s, QStringLiteral("丙")).status, 200);
        {
            // The disk fills up in the middle of the next line.
            DiskFullAfter full(QFileInfo(file).size() + 10);
            QCOMPARE(ask(s, QStringLiteral("甲")).status, 200); // answered, though not kept
        }
        QCOMPARE(QFileInfo(file).size() > 0, true);
        QCOMPARE(ask(s, QStringLiteral("乙")).status, 200); // space again
        Search later(file, fake->url());
        QCOMPARE(later.cachedCount(), 2);
        bool hit = false;
        later.lookup(QStringLiteral("乙"), [&](int status, const QByteArray&) { hit = status == 200; });
        QVERIFY(hit);
    }

    void aCacheThatIsNoRegularFileIsLeftAlone()
    {
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        // A FIFO would block the start for good if it were opened to be read.
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        {
            Search s(file, fake->url());
            QVERIFY2(s.problem().contains(QStringLiteral("通常のファイルではありません")), qPrintable(s.problem()));
            QCOMPARE(ask(s, QStringLiteral("甲")).status, 200); // the map works without the file
            QCOMPARE(s.cachedCount(), 1);
        }
        QVERIFY(QFileInfo(file).isFile() == false && QFileInfo::exists(file));
        QVERIFY(QFile::remove(file));

        // A link is not followed: what it points at is neither read nor written.
        const QString target = tmp->filePath(QStringLiteral("elsewhere.txt"));
        {
            QFile t(target);
            QVERIFY(t.open(QIODevice::WriteOnly));
            t.write(R"({"q":"乙","a":[]})"
                    "\n");
        }
        QVERIFY(QFile::link(target, file));
        {
            Search s(file, fake->url());
            QVERIFY2(s.problem().contains(QStringLiteral("シンボリックリンク")), qPrintable(s.problem()));
            QCOMPARE(s.cachedCount(), 0);
            QCOMPARE(ask(s, QStringLiteral("丙")).status, 200);
        }
        QFile t(target);
        QVERIFY(t.open(QIODevice::ReadOnly));
        QCOMPARE(t.readAll(),
                 QByteArray(R"({"q":"乙","a":[]})"
                            "\n"));
        QVERIFY(QFileInfo(file).isSymLink());
    }

    void theCacheKeepsTheNewestAnswersOnly()
    {
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            for (int i = 0; i < 30; ++i)
                f.write(QStringLiteral(R"({"q":"住所%1","a":[]})"
                                       "\n")
                            .arg(i)
                            .toUtf8());
        }
        auto lines = [this] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : -1;
        };
        {
            Search s(file, fake->url(), 10);
            QCOMPARE(s.cachedCount(), 10);
            QCOMPARE(lines(), 10);
            bool newest = false, oldest = false;
            s.lookup(QStringLiteral("住所29"), [&](int status, const QByteArray&) { newest = status == 200; });
            s.lookup(QStringLiteral("住所19"), [&](int status, const QByteArray&) { oldest = status == 200; });
            QVERIFY(newest);
            QVERIFY(!oldest); // asked again from the service instead
            for (const char* q : {"甲", "乙"})
                QCOMPARE(ask(s, QString::fromUtf8(q)).status, 200);
            QVERIFY(s.cachedCount() <= 11);
            QVERIFY(lines() <= 11);
        }

        // Read from the end in blocks: lines across their seams, and a line
        // far longer than any answer, lose nothing else.
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            for (int i = 0; i < 21000; ++i) {
                f.write(
                    QStringLiteral(
                        R"({"q":"府中市%1","a":[{"geometry":{"coordinates":[139,35]},"properties":{"title":"東京都府中市架空町%1"}}]})"
                        "\n")
                        .arg(i)
                        .toUtf8());
                if (i == 6000)
                    f.write("{\"q\":\"" + QByteArray(200000, 'x') + "\",\"a\":[]}\n");
            }
        }
        const qint64 before = QFileInfo(file).size();
        QVERIFY2(before > 2 * TAddressSearch::kReadBlock, QByteArray::number(before).constData());
        {
            Search s(file, fake->url(), 30000);
            QCOMPARE(s.cachedCount(), 21000);
            for (const char* q : {"府中市0", "府中市6000", "府中市6001", "府中市20999"}) {
                bool hit = false;
                s.lookup(QString::fromUtf8(q), [&](int status, const QByteArray&) { hit = status == 200; });
                QVERIFY2(hit, q);
            }
        }
        QCOMPARE(QFileInfo(file).size(), before); // nothing to compact
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
        QCOMPARE(out,
                 QByteArray(R"([{"geometry":{"coordinates":[139.5,35.6]},"properties":{"title":"東京都府中市"}}])"));
    }

    void pageServerRoutesToTheSearch()
    {
        QTemporaryDir root;
        tessolo::app::TMapServer server(root.path());
        server.start();
        Search s(file, fake->url());
        server.setAddressSearch(&s);

        const QByteArray path =
            "/velmo/address-search?q=" + QUrl::toPercentEncoding(QStringLiteral("東京都府中市架空町"));
        const QByteArray all = pageGet(
            server, path, [](const QByteArray& r) { return r.contains("\r\n\r\n") && r.endsWith("]"); }, server.key());
        QVERIFY2(all.startsWith("HTTP/1.1 200"), all.constData());
        QVERIFY(all.toLower().contains("content-type: application/json"));
        QCOMPARE(titleOf(all.mid(all.indexOf("\r\n\r\n") + 4)), QStringLiteral("東京都府中市架空町"));

        // A page that goes away before its answer: the answer is still kept,
        // and nothing is written to the closed connection.
        pageGet(server, "/velmo/address-search?q=" + QUrl::toPercentEncoding(QStringLiteral("東京都調布市")), {},
                server.key());
        QTRY_COMPARE(s.cachedCount(), 2);

        // Without a search the route is just a missing file.
        server.setAddressSearch(nullptr);
        const QByteArray reply = pageGet(server, path, [](const QByteArray& r) { return r.contains("\r\n"); });
        QVERIFY2(reply.startsWith("HTTP/1.1 404"), reply.constData());
    }

    void pageServerAnswersOnlyItsOwnPage()
    {
        Served served(file, fake->url());
        tessolo::app::TMapServer& server = *served.server;
        TAddressSearch& s = *served.search;
        const QByteArray port = QByteArray::number(server.port());
        const QByteArray search = "/velmo/address-search?q=" + QUrl::toPercentEncoding(QStringLiteral("東京都府中市"));
        auto send = [&](const QByteArray& path, const QByteArray& headers) {
            return rawRequest(server.port(), "GET " + path + " HTTP/1.1\r\n" + headers + "\r\n", wholeHead);
        };
        const QByteArray keyHeader = QByteArray(tessolo::app::TMapServer::kKeyHeader) + ": ";

        // Its own Host and the key: answered, under either name of the machine.
        QVERIFY(send(search, "Host: 127.0.0.1:" + port + "\r\n" + keyHeader + server.key() + "\r\n")
                    .startsWith("HTTP/1.1 200"));
        QVERIFY(send(search, "Host: localhost:" + port + "\r\n" + keyHeader + server.key() + "\r\n")
                    .startsWith("HTTP/1.1 200"));
        QVERIFY(send("/velmo/page.html", "Host: 127.0.0.1:" + port + "\r\n").startsWith("HTTP/1.1 200"));

        // A rebound name, a missing port, no Host, no key, a wrong key: 403 and nothing else.
        QByteArray wrongKey = server.key();
        wrongKey[0] = wrongKey[0] == 'A' ? 'B' : 'A';
        const QList<QPair<QByteArray, QByteArray>> refused = {
            {"/velmo/page.html", "Host: attacker.example:" + port + "\r\n"},
            {"/velmo/page.html", "Host: 127.0.0.1\r\n"},
            {"/velmo/page.html", ""},
            {"/velmo/missing.html", "Host: attacker.example:" + port + "\r\n"},
            {search, "Host: attacker.example:" + port + "\r\n" + keyHeader + server.key() + "\r\n"},
            {search, "Host: 127.0.0.1:" + port + "\r\n"},
            {search, "Host: 127.0.0.1:" + port + "\r\n" + keyHeader + wrongKey + "\r\n"},
            {search + "&key=" + server.key(), "Host: 127.0.0.1:" + port + "\r\n"},
        };
        const QByteArray fresh = "/velmo/address-search?q=" + QUrl::toPercentEncoding(QStringLiteral("東京都調布市"));
        for (const auto& [path, headers] : refused) {
            const QByteArray reply = send(path == search ? fresh : path, headers);
            QVERIFY2(reply.startsWith("HTTP/1.1 403"), (path + " " + headers + " -> " + reply).constData());
            QVERIFY2(!reply.contains("page") && !reply.contains("geometry"), reply.constData());
            QVERIFY(!reply.toLower().contains("access-control"));
        }
        QCOMPARE(fake->queries, QStringList{QStringLiteral("東京都府中市")}); // nothing asked for them
        QCOMPARE(s.cachedCount(), 1);

        // "Connection: close" is honoured at once, not at the idle timeout.
        QElapsedTimer closing;
        closing.start();
        const QByteArray closed = rawRequest(
            server.port(), "GET /velmo/page.html HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\nConnection: close\r\n\r\n",
            [](const QByteArray&) { return false; });
        QVERIFY(closed.startsWith("HTTP/1.1 200") && closed.endsWith("<p>page</p>"));
        QVERIFY2(closing.elapsed() < tessolo::app::TGatedTcpServer::kIdleMs - 1000,
                 QByteArray::number(closing.elapsed()).constData());

        // Another start, another key.
        tessolo::app::TMapServer other(served.root.path());
        QVERIFY(other.key() != server.key());
        QVERIFY(server.key().size() >= 32);
    }

    void aFloodLeavesThePageAnswered()
    {
        Served served(file, fake->url());
        tessolo::app::TMapServer& server = *served.server;
        const auto* gate = server.findChild<tessolo::app::TGatedTcpServer*>();
        QVERIFY(gate);
        const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n";

        QObject flood;
        auto attacker = [&](const QByteArray& bytes) {
            auto* c = new QTcpSocket(&flood);
            QObject::connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
            c->connectToHost(QHostAddress::LocalHost, server.port());
            if (!bytes.isEmpty())
                QObject::connect(c, &QTcpSocket::connected, c, [c, bytes] { c->write(bytes); });
            return c;
        };
        // A head of 4 MB, a body declared at 4 GB, and a head that never ends.
        QTcpSocket* bigHead =
            attacker("GET /velmo/page.html HTTP/1.1\r\n" + host + "X-Pad: " + QByteArray(4 << 20, 'a'));
        QTcpSocket* bigBody = attacker("POST /velmo/page.html HTTP/1.1\r\n" + host +
                                       "Content-Length: 4294967296\r\n\r\n" + QByteArray(64 << 10, 'b'));
        QPointer<QTcpSocket> headAlive(bigHead), bodyAlive(bigBody);
        QByteArray bigHeadReply, bigBodyReply;
        QObject::connect(bigHead, &QTcpSocket::readyRead, bigHead, [&] { bigHeadReply += bigHead->readAll(); });
        QObject::connect(bigBody, &QTcpSocket::readyRead, bigBody, [&] { bigBodyReply += bigBody->readAll(); });
        attacker("GET /velmo/page.html HTTP/1.1\r\n" + host + "X-Slow: ");

        // Hundreds of connections that say nothing, and the page between them.
        QElapsedTimer slowest;
        qint64 worstMs = 0;
        for (int round = 0; round < 10; ++round) {
            for (int i = 0; i < 40; ++i)
                attacker({});
            QTest::qWait(20);
            slowest.start();
            const QByteArray page =
                pageGet(server, "/velmo/page.html", [](const QByteArray& r) { return r.endsWith("</p>"); });
            worstMs = std::max(worstMs, slowest.elapsed());
            QVERIFY2(page.startsWith("HTTP/1.1 200") && page.endsWith("<p>page</p>"), page.constData());
            QVERIFY(gate->liveConnections() <= tessolo::app::TGatedTcpServer::kMaxConnections);
        }
        const QByteArray found = pageGet(
            server, "/velmo/address-search?q=" + QUrl::toPercentEncoding(QStringLiteral("東京都府中市")),
            [](const QByteArray& r) { return r.endsWith("]"); }, server.key());
        QVERIFY2(found.startsWith("HTTP/1.1 200"), found.constData());
        QVERIFY2(worstMs < 3000, QByteArray::number(worstMs).constData());
        // Turned away, with the reason when it still reaches them.
        QTRY_VERIFY(bigHeadReply.startsWith("HTTP/1.1 431") || !headAlive);
        QTRY_VERIFY(bigBodyReply.startsWith("HTTP/1.1 413") || !bodyAlive);
        QVERIFY(!bigHeadReply.contains("200") && !bigBodyReply.contains("200"));
        // The idle and the slow are let go after a few seconds.
        QTRY_VERIFY_WITH_TIMEOUT(gate->liveConnections() == 0, tessolo::app::TGatedTcpServer::kIdleMs + 5000);
    }

    void offlineOptionAndGuard()
    {
        using tessolo::app::parseStartOptions;
        QVERIFY(parseStartOptions({QStringLiteral("tessolo"), QStringLiteral("--offline"),
                                   QStringLiteral("--webEngineArgs"), QStringLiteral("--disable-gpu")})
                    .offline);
        QVERIFY(!parseStartOptions({QStringLiteral("--offline")}).offline); // the program's own name
        QCOMPARE(parseStartOptions({QStringLiteral("tessolo"), QStringLiteral("--data-dir"), QStringLiteral("/tmp")})
                     .dataDir,
                 QStringLiteral("/tmp"));
        QVERIFY(
            !parseStartOptions({QStringLiteral("tessolo"), QStringLiteral("--data-dir=/dev/null")}).error.isEmpty());

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
