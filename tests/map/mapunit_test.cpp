// Header and footer codes, the script literal, and the page server's path
// rules, without a window.

#include "app/mapserver.h"
#include "app/printing.h"
#include "app/webmap.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using tessolo::app::jsStringLiteral;
using tessolo::app::TMapServer;
using tessolo::printing::expandCodes;
using tessolo::printing::PrintInfo;

namespace {

PrintInfo info()
{
    PrintInfo i;
    i.title = QStringLiteral("顧客地図表示");
    i.url = QStringLiteral("http://127.0.0.1:4711/velmo/tessolo.html");
    i.date = QDate(2026, 3, 7);
    i.time = QTime(9, 5);
    i.page = 2;
    i.pageCount = 5;
    return i;
}

} // namespace

TEST(PrintCodes, HeaderAndFooterOfTheMap)
{
    const auto h = expandCodes(QStringLiteral("&w&b&p/&P ページ"), info());
    EXPECT_EQ(h.left, QStringLiteral("顧客地図表示"));
    EXPECT_EQ(h.centre, QString());
    EXPECT_EQ(h.right, QStringLiteral("2/5 ページ"));

    const auto f = expandCodes(QStringLiteral("&u&b&d"), info());
    EXPECT_EQ(f.left, QStringLiteral("http://127.0.0.1:4711/velmo/tessolo.html"));
    EXPECT_EQ(f.right, QStringLiteral("2026/03/07"));
}

TEST(PrintCodes, BreaksLiteralsAndUnknownCodes)
{
    const auto three = expandCodes(QStringLiteral("L&bC&bR&bR2"), info());
    EXPECT_EQ(three.left, QStringLiteral("L"));
    EXPECT_EQ(three.centre, QStringLiteral("C"));
    EXPECT_EQ(three.right, QStringLiteral("RR2"));

    const auto lit = expandCodes(QStringLiteral("A&&B &x &T &D&"), info());
    EXPECT_EQ(lit.left, QStringLiteral("A&B &x 09:05 2026年3月7日&"));
    EXPECT_TRUE(lit.right.isEmpty());

    // A title holding codes of its own is not expanded a second time.
    PrintInfo i = info();
    i.title = QStringLiteral("&p&b");
    const auto t = expandCodes(QStringLiteral("&w"), i);
    EXPECT_EQ(t.left, QStringLiteral("&p&b"));
}

TEST(ScriptLiteral, ParsesBackToTheSameText)
{
    const QString hostile = QStringLiteral("'\"\\</script><!-- \n\r\t\u2028\u2029 東京都 \x01 𠮷");
    const QString lit = jsStringLiteral(hostile);
    // Nothing that could end the literal or the line survives raw.
    EXPECT_FALSE(lit.mid(1, lit.size() - 2).contains(QRegularExpression(QStringLiteral("(?<!\\\\)\""))));
    for (QChar c : {QChar(u'\n'), QChar(u'\r'), QChar(0x2028), QChar(0x2029), QChar(u'<')})
        EXPECT_FALSE(lit.contains(c)) << int(c.unicode());
    // The escapes are JSON as well, so a JSON reader gives back the text.
    const QJsonDocument doc = QJsonDocument::fromJson((QStringLiteral("[") + lit + QStringLiteral("]")).toUtf8());
    ASSERT_TRUE(doc.isArray());
    EXPECT_EQ(doc.array().at(0).toString(), hostile);
}

TEST(ScriptLiteral, LoneSurrogatesAreEscaped)
{
    QString s = QStringLiteral("a");
    s += QChar(0xD800);
    s += QStringLiteral("b");
    s += QChar(0xDC00);
    EXPECT_EQ(jsStringLiteral(s), QStringLiteral("\"a\\ud800b\\udc00\""));
}

class ServerPaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        QDir d(tmp.path());
        ASSERT_TRUE(d.mkpath(QStringLiteral("velmo/js")));
        write(QStringLiteral("velmo/tessolo.html"));
        write(QStringLiteral("velmo/js/map.js"));
        write(QStringLiteral("secret.db"));
        root = d.filePath(QStringLiteral("velmo"));
    }
    void write(const QString& rel)
    {
        QFile f(QDir(tmp.path()).filePath(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    QTemporaryDir tmp;
    QString root;
};

TEST_F(ServerPaths, ServesFilesInsideTheFolderOnly)
{
    EXPECT_EQ(TMapServer::resolve(root, QStringLiteral("/velmo/tessolo.html")),
              QFileInfo(root + QStringLiteral("/tessolo.html")).canonicalFilePath());
    EXPECT_FALSE(TMapServer::resolve(root, QStringLiteral("/velmo/js/map.js")).isEmpty());
    EXPECT_FALSE(TMapServer::resolve(root, QStringLiteral("/velmo/js/%6Dap.js")).isEmpty());

    for (const char* bad :
         {"/velmo/../secret.db", "/velmo/%2e%2e/secret.db", "/velmo/%2E%2E/secret.db", "/velmo/js/../../secret.db",
          "/velmo/..%2fsecret.db", "/velmo/..%5csecret.db", "/velmo//etc/passwd", "/etc/passwd", "/velmo/", "/velmo/js",
          "/velmo/js/", "/velmo/./tessolo.html", "/secret.db", "/velmotessolo.html", "/velmo/missing.html",
          "/velmo/%00tessolo.html", "/velmo/C:/x"})
        EXPECT_TRUE(TMapServer::resolve(root, QString::fromLatin1(bad)).isEmpty()) << bad;
}

TEST_F(ServerPaths, LinksMustNotLeadOut)
{
    ASSERT_TRUE(QFile::link(QDir(tmp.path()).filePath(QStringLiteral("secret.db")), root + QStringLiteral("/link.db")));
    EXPECT_TRUE(TMapServer::resolve(root, QStringLiteral("/velmo/link.db")).isEmpty());
}

TEST(ServerTypes, ContentTypes)
{
    EXPECT_EQ(TMapServer::contentType(QStringLiteral("a.html")), QByteArray("text/html; charset=utf-8"));
    EXPECT_EQ(TMapServer::contentType(QStringLiteral("a.JS")), QByteArray("text/javascript; charset=utf-8"));
    EXPECT_EQ(TMapServer::contentType(QStringLiteral("a.css")), QByteArray("text/css; charset=utf-8"));
    EXPECT_EQ(TMapServer::contentType(QStringLiteral("a.json")), QByteArray("application/json"));
    EXPECT_EQ(TMapServer::contentType(QStringLiteral("a.png")), QByteArray("image/png"));
    EXPECT_EQ(TMapServer::contentType(QStringLiteral("a.svg")), QByteArray("image/svg+xml"));
    EXPECT_EQ(TMapServer::contentType(QStringLiteral("a.bin")), QByteArray("application/octet-stream"));
}

TEST(PrintPlan, TheWholeMapFirstWithTheListBesideBelowOrAfterIt)
{
    using tessolo::printing::planPages;
    const QRectF content(100, 100, 2800, 2000); // landscape, in device pixels
    const QSizeF map(800, 600);
    const auto lines = [](qreal h) { return [h](qsizetype, qreal) { return h; }; };
    const auto aspect = [](const QRectF& r) { return r.width() / r.height(); };

    // No list: the map as large as the page allows, its shape kept.
    auto pages = planPages(map, 0, lines(40), content, 50);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(content.contains(pages[0].map));
    EXPECT_NEAR(aspect(pages[0].map), 800.0 / 600, 1e-6);
    EXPECT_NEAR(pages[0].map.height(), content.height(), 1e-6);

    // A list that fits: on the same page, clear of the map.
    pages = planPages(map, 30, lines(40), content, 50);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0].lineCount, 30);
    EXPECT_TRUE(content.contains(pages[0].map) && content.contains(pages[0].list));
    EXPECT_FALSE(pages[0].map.intersects(pages[0].list));
    EXPECT_NEAR(aspect(pages[0].map), 800.0 / 600, 1e-6);

    // A list longer than a page: the map alone first, every line after it once.
    pages = planPages(map, 200, lines(40), content, 50);
    ASSERT_EQ(pages.size(), 1 + 4); // 50 lines of 40 in 2000
    EXPECT_EQ(pages[0].lineCount, 0);
    EXPECT_NEAR(pages[0].map.height(), content.height(), 1e-6);
    qsizetype next = 0;
    for (qsizetype i = 1; i < pages.size(); ++i) {
        EXPECT_TRUE(pages[i].map.isEmpty());
        EXPECT_EQ(pages[i].firstLine, next);
        EXPECT_LE(pages[i].lineCount * 40, content.height());
        next += pages[i].lineCount;
    }
    EXPECT_EQ(next, 200);

    // The page follows the view's shape.
    EXPECT_EQ(tessolo::printing::orientationFor(QSize(800, 600)), QPageLayout::Landscape);
    EXPECT_EQ(tessolo::printing::orientationFor(QSize(600, 800)), QPageLayout::Portrait);
}

// ---- the round of visits and the memo's groups -----------------------------------

#include "app/visitround.h"
#include "customer/memofields.h"

TEST(VisitRound, ACustomerDeletedMeanwhileTakesItsLegAlong)
{
    namespace col = tessolo::customer::col;
    std::vector<tessolo::customer::Stored> found(2);
    found[0].rowid = 1;
    found[0].record[col::PersonName] = QStringLiteral("山田 太郎");
    found[0].record[col::Prefecture] = QStringLiteral("東京都");
    found[0].record[col::City] = QStringLiteral("千代田区");
    found[0].record[col::Town] = QStringLiteral("丸の内1-1");
    found[0].record[col::Building] = QStringLiteral("丸ビル");
    found[1].rowid = 3; // rowid 2 was deleted by another program
    found[1].record[col::CompanyName] = QStringLiteral("佐藤商店");
    found[1].record[col::Tel] = QStringLiteral("03-1234-5678");
    const QList<tessolo::app::VisitStop> stops = tessolo::app::visitStops(found, {{1, 1200}, {2, 800}, {3, 450}});
    ASSERT_EQ(stops.size(), 2);
    EXPECT_EQ(stops[0].name, QStringLiteral("山田 太郎"));
    EXPECT_EQ(stops[0].address, QStringLiteral("東京都千代田区丸の内1-1丸ビル"));
    EXPECT_EQ(stops[0].legMetres, 1200);
    EXPECT_EQ(stops[1].name, QStringLiteral("佐藤商店"));
    EXPECT_EQ(stops[1].tel, QStringLiteral("03-1234-5678"));
    EXPECT_EQ(stops[1].legMetres, 450);
}

TEST(VisitRound, ListCarriesOrderNameAddressTelephoneAndLegs)
{
    using tessolo::app::VisitStop;
    const QList<VisitStop> stops{{QStringLiteral("山田 太郎 山田商店"), QStringLiteral("東京都千代田区丸の内1-1"),
                                  QStringLiteral("03-1234-5678"), 1250},
                                 {QStringLiteral("<b>佐藤</b>"), QStringLiteral("東京都港区"), QString(), 800}};
    const QString html = tessolo::app::visitListHtml(QStringLiteral("東京都新宿区"), stops, 3000);
    EXPECT_TRUE(html.contains(
        QStringLiteral("<td>1</td><td>山田 太郎 山田商店</td><td>東京都千代田区丸の内1-1</td><td>03-1234-5678</td>")));
    EXPECT_TRUE(html.contains(QStringLiteral("1.3 km")));
    EXPECT_TRUE(html.contains(QStringLiteral("800 m")));
    EXPECT_TRUE(html.contains(QStringLiteral("出発地へ戻る")));
    EXPECT_TRUE(html.contains(QStringLiteral("5.0 km"))) << "the total with the way back";
    EXPECT_FALSE(html.contains(QStringLiteral("<b>佐藤"))) << "names stay text";
    EXPECT_FALSE(tessolo::app::visitListHtml(QString(), stops, -1).contains(QStringLiteral("出発地へ戻る")));
}

TEST(VisitRound, PlannerGetsTheStopsInOrderAndAtMostNineWaypoints)
{
    QList<tessolo::app::VisitStop> stops;
    for (int i = 0; i < 12; ++i)
        stops.append({QString(), QStringLiteral("住所%1").arg(i), QString(), 0});
    int dropped = -1;
    const QUrl back = tessolo::app::routePlannerUrl(QStringLiteral("出発"), stops.mid(0, 3), true, &dropped);
    const QString text = QUrl::fromPercentEncoding(back.toEncoded());
    EXPECT_EQ(dropped, 0);
    EXPECT_TRUE(text.contains(QStringLiteral("origin=出発"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("destination=出発"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("waypoints=住所0|住所1|住所2"))) << text.toStdString();
    const QUrl open = tessolo::app::routePlannerUrl(QStringLiteral("出発"), stops, false, &dropped);
    const QString openText = QUrl::fromPercentEncoding(open.toEncoded());
    EXPECT_TRUE(openText.contains(QStringLiteral("destination=住所11"))) << openText.toStdString();
    EXPECT_EQ(dropped, 2);
}

TEST(MemoGroups, ThePopupShowsTheNotesFirstLineAndTheGroupsApart)
{
    namespace memo = tessolo::customer::memo;
    const memo::Fields f =
        memo::parse(QStringLiteral("\r\n  初回訪問 5月\r\n二行目\r\n連名：花子\r\n#年賀状　#DM不要 #年賀状\r\n"));
    EXPECT_EQ(f.groups, (QStringList{QStringLiteral("年賀状"), QStringLiteral("DM不要")}));
    EXPECT_EQ(memo::firstNoteLine(f), QStringLiteral("初回訪問 5月"));
    EXPECT_EQ(memo::firstNoteLine(memo::parse(QStringLiteral("#DM"))), QString());
}
