// Starts the program's window set as start-up does, over a database of six
// customers and the own company, and presses "全顧客位置表示", "自社表示" and
// "エリア" (5 km) on the map window, like a user would; then prints READY and
// stays up until killed, for tools/screenshot-map.sh to photograph the screen.
//
// usage: tessolo_screenshot_driver <database folder> <velmo folder> [offline|online] [zoom steps]

#include "data/datalocation.h"
#include "app/application.h"
#include "app/frmmapbrows.h"
#include "app/mapserver.h"
#include "app/startoptions.h"
#include "app/webmap.h"
#include "ui/windowset.h"
#include "customer/ourcompany.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWebEnginePage>
#include <cstdio>
#include <cstdlib>

namespace {

void wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

int pending()
{
    int out = -1;
    bool done = false;
    frmMapbrows->WebMap1->page()->runJavaScript(
        QStringLiteral("window.tessoloPending ? tessoloPending()"
                       " + (window.tessoloBasemapState && !tessoloBasemapState().ready"
                       " && !tessoloBasemapState().failed ? 1 : 0) : -1"),
        [&](const QVariant& v) {
            out = v.toInt();
            done = true;
        });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return out;
}

void settle()
{
    QElapsedTimer t;
    t.start();
    while (pending() != 0 && t.elapsed() < 20000)
        wait(100);
    wait(800);
}

// A business in 東京都府中市 with customers in its own city and its
// neighbours: the map then shows a city's zoom.
void seed()
{
    tessolo::TSQLiteDo db;
    db.setDBpoint(tessolo::kDatabaseName);
    const char* const customers[][6] = {
        {"山田太郎", "ヤマダタロウ", "山田商店", "東京都", "府中市", "宮町1-50"},
        {"佐藤花子", "サトウハナコ", "佐藤工業", "東京都", "府中市", "分梅町2丁目3"},
        {"鈴木一郎", "スズキイチロウ", "鈴木物産", "東京都", "府中市", "若松町三丁目1-1"},
        {"高橋次郎", "タカハシジロウ", "", "東京都", "調布市", "布田1-2"},
        {"田中三郎", "タナカサブロウ", "田中製作所", "東京都", "国立市", "中1-1"},
        {"伊藤四郎", "イトウシロウ", "", "東京都", "小金井市", "本町6-6"},
    };
    for (const auto& c : customers) {
        tessolo::customer::Record r{};
        r[0] = QString::fromUtf8(c[0]);
        r[1] = QString::fromUtf8(c[1]);
        r[2] = QString::fromUtf8(c[2]);
        r[7] = QString::fromUtf8(c[3]);
        r[8] = QString::fromUtf8(c[4]);
        r[9] = QString::fromUtf8(c[5]);
        db.exec_sql(tessolo::customer::insertSql(r));
    }
    tessolo::ourcompany::Record o{};
    o[0] = QStringLiteral("テッソーロ株式会社");
    o[2] = QStringLiteral("東京都");
    o[3] = QStringLiteral("府中市");
    o[4] = QStringLiteral("府中町1-1");
    db.exec_sql(tessolo::ourcompany::insertSql(o));
    db.closeDBpoint();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <database folder> <velmo folder> [offline|online] [zoom steps]\n", argv[0]);
        return 2;
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    tessolo::app::TApplication app(argc, argv);
    tessolo::app::installJapaneseFont();
    tessolo::location::setDataDirectory(QString::fromLocal8Bit(argv[1]));
    // As --offline does.
    tessolo::app::setOfflineMode(argc > 3 && QByteArray(argv[3]) == "offline");
    const int zoomSteps = argc > 4 ? QByteArray(argv[4]).toInt() : 0;

    tessolo::app::createWindowSet();
    frmMapbrows->mapServer()->setRoot(QString::fromLocal8Bit(argv[2]));
    seed();
    frmMapbrows->move(0, 0);
    frmMapbrows->show();
    QTimer::singleShot(0, [zoomSteps] {
        while (frmMapbrows->WebMap1->isLoading() || !frmMapbrows->WebMap1->hasDocument())
            wait(100);
        settle();
        frmMapbrows->btnClients->click();
        settle();
        frmMapbrows->btnOur->click();
        settle();
        frmMapbrows->EditCircle->setText(QStringLiteral("5"));
        frmMapbrows->Button2->click();
        settle();
        // Closer in or farther out, as the zoom buttons do.
        for (int i = 0; i < std::abs(zoomSteps); ++i) {
            frmMapbrows->WebMap1->page()->runJavaScript(
                QStringLiteral("document.querySelector('.leaflet-control-zoom-%1').click()")
                    .arg(zoomSteps > 0 ? QStringLiteral("in") : QStringLiteral("out")));
            wait(600);
        }
        settle();
        std::printf("READY\n");
        std::fflush(stdout);
    });
    const int rc = app.exec();
    tessolo::app::destroyWindowSet();
    return rc;
}
