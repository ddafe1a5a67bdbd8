// "全顧客位置表示" against the real map page (offline): how long until every
// customer is on the map, and how long the window's event loop is kept
// waiting meanwhile.

#include "app/frmmapbrows.h"
#include "app/mapserver.h"
#include "app/webmap.h"
#include "data/sqlitedo.h"
#include "roster/customer.h"
#include "ui/errordisplay.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <memory>

using tessolo::TSQLiteDo;
using tessolo::kDatabaseName;

namespace {

const char* const kPlaces[47][2] = {
    {"北海道", "札幌市"},   {"青森県", "青森市"},   {"岩手県", "盛岡市"},     {"宮城県", "仙台市"},
    {"秋田県", "秋田市"},   {"山形県", "山形市"},   {"福島県", "福島市"},     {"茨城県", "水戸市"},
    {"栃木県", "宇都宮市"}, {"群馬県", "前橋市"},   {"埼玉県", "さいたま市"}, {"千葉県", "千葉市"},
    {"東京都", "新宿区"},   {"神奈川県", "横浜市"}, {"新潟県", "新潟市"},     {"富山県", "富山市"},
    {"石川県", "金沢市"},   {"福井県", "福井市"},   {"山梨県", "甲府市"},     {"長野県", "長野市"},
    {"岐阜県", "岐阜市"},   {"静岡県", "静岡市"},   {"愛知県", "名古屋市"},   {"三重県", "津市"},
    {"滋賀県", "大津市"},   {"京都府", "京都市"},   {"大阪府", "大阪市"},     {"兵庫県", "神戸市"},
    {"奈良県", "奈良市"},   {"和歌山県", "和歌山市"}, {"鳥取県", "鳥取市"},   {"島根県", "松江市"},
    {"岡山県", "岡山市"},   {"広島県", "広島市"},   {"山口県", "山口市"},     {"徳島県", "徳島市"},
    {"香川県", "高松市"},   {"愛媛県", "松山市"},   {"高知県", "高知市"},     {"福岡県", "福岡市"},
    {"佐賀県", "佐賀市"},   {"長崎県", "長崎市"},   {"熊本県", "熊本市"},     {"大分県", "大分市"},
    {"宮崎県", "宮崎市"},   {"鹿児島県", "鹿児島市"}, {"沖縄県", "那覇市"},
};

} // namespace

class MapPerfTest : public QObject {
    Q_OBJECT

    QVariantMap state(TfrmMapbrows& w)
    {
        QVariantMap out;
        bool done = false;
        w.WebMap1->page()->runJavaScript(QStringLiteral("window.tessoloState ? tessoloState() : null"),
                                         [&](const QVariant& v) {
                                             out = v.toMap();
                                             done = true;
                                         });
        QTest::qWaitFor([&] { return done; }, 10000);
        return out;
    }

private slots:
    void allCustomers_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("goalMs");
        QTest::newRow("5000") << 5000 << 1500;
        QTest::newRow("20000") << 20000 << 5000;
    }

    void allCustomers()
    {
        QFETCH(int, count);
        QFETCH(int, goalMs);
        const QString velmo = QStringLiteral(TESSOLO_VELMO_DIR);
        if (!QFile::exists(velmo + QStringLiteral("/tessolo.html")))
            QSKIP("the map page is not installed beside the program");

        QTemporaryDir tmp;
        TSQLiteDo::setBaseDirectoryForTesting(tmp.path());
        tessolo::app::TMapServer::setDefaultRootForTesting(velmo);
        TfrmMapbrows::setPageQueryForTesting(QStringLiteral("offline=1"));
        QStringList errors;
        tessolo::ui::setErrorHook([&](const QString& m) { errors << m; });

        TfrmMapbrows w;
        {
            TSQLiteDo db;
            db.getDBpoint(kDatabaseName);
            db.beginTransaction();
            for (int i = 0; i < count; ++i) {
                tessolo::customer::Record r{};
                const auto& place = kPlaces[i % 47];
                r[0] = QStringLiteral("顧客%1").arg(i);
                r[1] = QStringLiteral("コキャク%1").arg(i, 6, 10, QLatin1Char('0'));
                r[2] = QStringLiteral("会社%1").arg(i % 300);
                r[7] = QString::fromUtf8(place[0]);
                r[8] = QString::fromUtf8(place[1]);
                r[9] = QStringLiteral("本町%1丁目").arg(i % 9 + 1);
                db.exec_sql2(tessolo::customer::insertSql(r));
            }
            db.commitTransaction();
        }
        QSignalSpy loaded(w.WebMap1, &QWebEngineView::loadFinished);
        w.show();
        QVERIFY(loaded.wait(30000));
        // The page's table of places loads after the document.
        QVERIFY(QTest::qWaitFor([&] { return state(w).value(QStringLiteral("pending")).toInt() == 0; }, 30000));

        // How long the window's own events wait while the run goes on.
        QElapsedTimer sinceTick;
        qint64 worstGap = 0;
        QTimer ticker;
        ticker.setInterval(10);
        connect(&ticker, &QTimer::timeout, this, [&] {
            worstGap = std::max(worstGap, sinceTick.restart());
        });

        QElapsedTimer clock;
        clock.start();
        sinceTick.start();
        ticker.start();
        QTest::mouseClick(w.btnClients, Qt::LeftButton);
        const qint64 sent = clock.elapsed();
        QVariantMap s;
        QVERIFY(QTest::qWaitFor([&] {
            s = state(w);
            return s.value(QStringLiteral("pending")).toInt() == 0
                   && s.value(QStringLiteral("marks")).toInt() + s.value(QStringLiteral("unplaced")).toInt() >= count;
        }, 60000));
        const qint64 drawn = clock.elapsed();
        ticker.stop();

        qInfo("%d customers: calls answered after %lld ms, all drawn after %lld ms (goal %d ms); "
              "marks %d, unplaced %d; longest wait of the window's events %lld ms",
              count, sent, drawn, goalMs, s.value(QStringLiteral("marks")).toInt(),
              s.value(QStringLiteral("unplaced")).toInt(), worstGap);
        QVERIFY(errors.isEmpty());
        QCOMPARE(s.value(QStringLiteral("marks")).toInt(), count);
        // The machine is shared with builds: twice the goal is the limit here;
        // the figure itself is printed above.
        QVERIFY2(drawn <= 2 * goalMs, qPrintable(QStringLiteral("%1 ms").arg(drawn)));

        TfrmMapbrows::setPageQueryForTesting(QString());
        tessolo::ui::setErrorHook({});
    }
};

QTEST_MAIN(MapPerfTest)
#include "mapperf_test.moc"
