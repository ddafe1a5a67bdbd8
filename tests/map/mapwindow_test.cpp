// The map window and a recording page together: each button's page calls
// arrive with exactly their arguments, hostile text arrives unchanged, the two
// call failures are reported, and the page server answers only for its folder.

#include "data/datalocation.h"
#include "app/aboutbox.h"
#include "app/frmmapbrows.h"
#include "app/mapserver.h"
#include "app/webmap.h"
#include "customer/ourcompany.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"
#include "ui/errordisplay.h"
#include "ui/postaledit.h"
#include "ui/windowset.h"
#include "tests/testevents.h"

#include "picker/frmclntsrc.h"
#include "roster/frmaddress.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QTcpServer>
#include <QLineEdit>
#include <QPdfDocument>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QStatusBar>
#include <QWebEnginePage>
#include <QWindow>
#include <memory>
#include <qpa/qwindowsysteminterface.h>
#include <signal.h>

using tessolo::TSQLiteDo;
using tessolo::kDatabaseName;

namespace {

const char* kRecordingPage = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>テスト地図</title></head><body>
<script>
window.calls = [];
window.throwAt = 0;
function rec(n, a) { window.calls.push([n].concat(Array.prototype.slice.call(a))); }
function search_geo2(address, label) {
  if (window.throwAt && window.calls.length + 1 === window.throwAt) throw new Error('geocoder failed');
  rec('search_geo2', arguments);
}
function draw_homeicon(address) { rec('draw_homeicon', arguments); }
function draw_circle(centre, radius) { rec('draw_circle', arguments); }
function clearAll() { rec('clearAll', arguments); }
function throws_string() { throw 'plain text'; }
</script></body></html>
)";

const char* kBarePage = R"(<!doctype html><html><head><meta charset="utf-8"><title>x</title></head><body>
<script>window.calls = [];</script></body></html>
)";

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// The process's peak resident memory (VmHWM), in kB.
qint64 peakMemoryKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// Answers the next modal dialog once it is up.
void answerModal(std::function<void(QWidget*)> act)
{
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, poll] {
        QWidget* w = QApplication::activeModalWidget();
        if (w)
            act(w);
        else
            QTimer::singleShot(20, *poll);
    };
    QTimer::singleShot(20, *poll);
}

} // namespace

class MapWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tmp;
    QString velmo;
    std::unique_ptr<TfrmMapbrows> w;
    QStringList errors;

    QVariant js(const QString& script)
    {
        QVariant out;
        bool done = false;
        w->WebMap1->page()->runJavaScript(script, [&](const QVariant& v) {
            out = v;
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done; }, 10000))
            qWarning("script timed out");
        return out;
    }

    QJsonArray calls()
    {
        return QJsonDocument::fromJson(js(QStringLiteral("JSON.stringify(window.calls)")).toString().toUtf8()).array();
    }

    static QJsonArray call(std::initializer_list<QString> parts)
    {
        QJsonArray a;
        for (const QString& p : parts)
            a.append(p);
        return a;
    }

    void exec(const QString& sql)
    {
        try {
            TSQLiteDo db;
            db.setDBpoint(kDatabaseName);
            db.exec_sql(sql);
        } catch (const tessolo::TessoloError& e) {
            QFAIL(qPrintable(e.message()));
        }
    }

    void addCustomer(const QString& name, const QString& kana, const QString& company, const QString& pref,
                     const QString& city, const QString& town)
    {
        tessolo::customer::Record r{};
        r[0] = name;
        r[1] = kana;
        r[2] = company;
        r[7] = pref;
        r[8] = city;
        r[9] = town;
        exec(tessolo::customer::insertSql(r));
    }

    void addSite(const QString& pref, const QString& city, const QString& town)
    {
        tessolo::ourcompany::Record r{};
        r[0] = QStringLiteral("本社");
        r[2] = pref;
        r[3] = city;
        r[4] = town;
        exec(tessolo::ourcompany::insertSql(r));
    }

    void load(const QString& page)
    {
        QSignalSpy spy(w->WebMap1, &QWebEngineView::loadFinished);
        w->WebMap1->Navigate(w->mapServer()->host() + QStringLiteral("/velmo/") + page);
        QVERIFY(spy.wait(20000));
        QVERIFY(spy.first().first().toBool());
    }

    // Sends a raw request line and returns the status line and Content-Type.
    QPair<QByteArray, QByteArray> rawGet(const QByteArray& path)
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, w->mapServer()->port());
        if (!s.waitForConnected(5000))
            return {};
        s.write("GET " + path + " HTTP/1.1\r\nHost: " + w->mapServer()->host().toLatin1() +
                "\r\nConnection: close\r\n\r\n");
        QByteArray all;
        // A timeout shows in what comes back, which the caller checks.
        (void)QTest::qWaitFor(
            [&] {
                all += s.readAll();
                return s.state() == QAbstractSocket::UnconnectedState || all.contains("\r\n\r\n");
            },
            5000);
        all += s.readAll();
        const QList<QByteArray> lines = all.split('\n');
        QByteArray type;
        for (const QByteArray& l : lines)
            if (l.toLower().startsWith("content-type:"))
                type = l.mid(13).trimmed();
        return {lines.value(0).trimmed(), type};
    }

    void addCustomers(int rows)
    {
        TSQLiteDo db;
        db.getDBpoint(kDatabaseName);
        db.beginTransaction();
        for (int i = 0; i < rows; ++i) {
            tessolo::customer::Record r{};
            r[0] = QStringLiteral("客%1").arg(i);
            r[1] = QStringLiteral("カ%1").arg(i, 5, 10, QLatin1Char('0'));
            r[7] = QStringLiteral("東京都");
            db.exec_sql2(tessolo::customer::insertSql(r));
        }
        db.commitTransaction();
    }

    // A left click on `target` as the window system delivers one: queued for
    // the window, taken when the event loop next takes user input.
    void windowSystemClick(QWidget* target)
    {
        static ulong stamp = 1000;
        stamp += 1000; // never a double click
        QWindow* win = w->windowHandle();
        const QPointF local = target->mapTo(w.get(), target->rect().center());
        const QPointF global = w->mapToGlobal(local.toPoint());
        using WSI = QWindowSystemInterface;
        WSI::handleMouseEvent<WSI::AsynchronousDelivery>(win, stamp, local, global, Qt::LeftButton, Qt::LeftButton,
                                                         QEvent::MouseButtonPress);
        WSI::handleMouseEvent<WSI::AsynchronousDelivery>(win, stamp + 50, local, global, Qt::NoButton, Qt::LeftButton,
                                                         QEvent::MouseButtonRelease);
    }

private slots:
    void init()
    {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        tessolo::location::setDataDirectory(tmp->path());
        velmo = QDir(tmp->path()).filePath(QStringLiteral("velmo"));
        QVERIFY(QDir().mkpath(velmo + QStringLiteral("/css")));
        writeFile(velmo + QStringLiteral("/tessolo.html"), kRecordingPage);
        writeFile(velmo + QStringLiteral("/bare.html"), kBarePage);
        writeFile(velmo + QStringLiteral("/css/a.css"), "body{}");
        writeFile(velmo + QStringLiteral("/a.js"), "var a;");
        writeFile(velmo + QStringLiteral("/a.json"), "{}");
        writeFile(velmo + QStringLiteral("/a.png"), "\x89PNG");
        writeFile(velmo + QStringLiteral("/a.svg"), "<svg/>");
        writeFile(tmp->filePath(QStringLiteral("outside.txt")), "secret");
        errors.clear();
        QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::errorRaised,
                         [this](const QString& m) { errors << m; });

        w = std::make_unique<TfrmMapbrows>();
        w->mapServer()->setRoot(velmo);
        frmMapbrows = w.get();
        QVERIFY(QFile::exists(tmp->filePath(kDatabaseName)));
        QSignalSpy spy(w->WebMap1, &QWebEngineView::loadFinished);
        w->show();
        QVERIFY(spy.wait(20000));
        QCOMPARE(w->WebMap1->url().toString(),
                 QStringLiteral("http://") + w->mapServer()->host() + QStringLiteral("/velmo/tessolo.html"));
    }

    void cleanup()
    {
        frmMapbrows = nullptr;
        w.reset();
        QObject::disconnect(&testEvents(), &tessolo::ui::TAppEvents::errorRaised, nullptr, nullptr);
        tmp.reset();
    }

    void windowLayout()
    {
        QCOMPARE(w->windowTitle(), QStringLiteral("顧客地図表示"));
        QCOMPARE(w->EditCircle->text(), QStringLiteral("5"));
        QCOMPARE(w->MaskEditPost->text(), QStringLiteral("   -    "));
        QCOMPARE(w->X1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
        // Tab order of the bottom panel.
        const QList<QWidget*> order{
            w->btnClients,   w->btnclient, w->EditCircle, w->Button2,  static_cast<QWidget*>(w->cmbColorBy),
            w->MaskEditPost, w->EditAdrs,  w->Button1,    w->btnclear, w->btnOur};
        for (int i = 0; i + 1 < order.size(); ++i) {
            QWidget* next = order[i]->nextInFocusChain();
            while (next->focusPolicy() == Qt::NoFocus)
                next = next->nextInFocusChain();
            QCOMPARE(next, order[i + 1]);
        }
        QVERIFY(w->findChild<QWidget*>(QStringLiteral("WebMap1")));
        // The status bar is a line of text high before any message.
        const QStatusBar* bar = w->findChild<QStatusBar*>();
        QVERIFY(bar && bar->isVisible());
        QVERIFY(bar->height() >= bar->fontMetrics().height());
    }

    void allCustomersInReadingOrder()
    {
        addCustomer(QStringLiteral("山田太郎"), QStringLiteral("ヤマダタロウ"), QStringLiteral("山田商店"),
                    QStringLiteral("東京都"), QStringLiteral("千代田区"), QStringLiteral("丸の内1-1"));
        // Quotes, backslashes, a closing script tag and a line break in the data.
        addCustomer(QStringLiteral("O'Brien \"Bob\""), QStringLiteral("アオキ"), QStringLiteral("C:\\dir</script>\nx"),
                    QStringLiteral("大阪府"), QStringLiteral("大阪市'); alert(1); //"), QStringLiteral("梅田"));
        addCustomer(QStringLiteral("住所なし"), QStringLiteral("イイダ"), QString(), QString(), QString(), QString());

        QTest::mouseClick(w->btnClients, Qt::LeftButton);
        QVERIFY(errors.isEmpty());
        // Each customer's rowid and fields follow, the fields as a JSON text.
        const QJsonArray expected{
            call({QStringLiteral("search_geo2"), QStringLiteral("'大阪府大阪市'); alert(1); //梅田'"),
                  QStringLiteral("O'Brien \"Bob\"::C:\\dir</script>\nx"), QStringLiteral("2"),
                  QStringLiteral(
                      "{\"co\":\"C:\\\\dir</script>\\nx\",\"ct\":\"大阪市'); alert(1); //\",\"pf\":\"大阪府\"}")}),
            call({QStringLiteral("search_geo2"), QStringLiteral("''"), QStringLiteral("住所なし::"),
                  QStringLiteral("3"), QStringLiteral("{}")}),
            call({QStringLiteral("search_geo2"), QStringLiteral("'東京都千代田区丸の内1-1'"),
                  QStringLiteral("山田太郎::山田商店"), QStringLiteral("1"),
                  QStringLiteral("{\"co\":\"山田商店\",\"ct\":\"千代田区\",\"pf\":\"東京都\"}")}),
        };
        QCOMPARE(calls(), expected);

        // Marks accumulate: a second click sends the rows again.
        QTest::mouseClick(w->btnClients, Qt::LeftButton);
        QCOMPARE(calls().size(), 6);
    }

    void ownCompanyAndArea()
    {
        // Before the own company is shown the circle has no centre.
        QTest::mouseClick(w->Button2, Qt::LeftButton);
        QCOMPARE(calls(), QJsonArray{call({QStringLiteral("draw_circle"), QString(), QStringLiteral("5")})});

        // No site: nothing drawn, the centre kept.
        QTest::mouseClick(w->btnOur, Qt::LeftButton);
        QCOMPARE(calls().size(), 1);

        addSite(QStringLiteral("愛知県"), QStringLiteral("名古屋市"), QStringLiteral("栄"));
        addSite(QStringLiteral("福岡県"), QStringLiteral("福岡市"), QStringLiteral("天神"));
        QTest::mouseClick(w->btnOur, Qt::LeftButton);
        w->EditCircle->setText(QStringLiteral("12.5km"));
        QTest::mouseClick(w->Button2, Qt::LeftButton);
        w->EditCircle->clear();
        QTest::mouseClick(w->Button2, Qt::LeftButton);

        const QJsonArray got = calls();
        QCOMPARE(got.size(), 3);
        QCOMPARE(got.at(1).toArray(), call({QStringLiteral("draw_homeicon"), QStringLiteral("愛知県名古屋市栄")}));
        QCOMPARE(got.at(2).toArray(),
                 call({QStringLiteral("draw_circle"), QStringLiteral("福岡県福岡市天神"), QStringLiteral("12.5km")}));
        QCOMPARE(w->homeAddr, QStringLiteral("福岡県福岡市天神"));
        QVERIFY(errors.isEmpty());
    }

    void search()
    {
        exec(QStringLiteral("insert into m_postal (postal_code2, prefecture2, city2, town2) values "
                            "('1000005', '東京都', '千代田区', '丸の内')"));
        // Both fields empty: nothing.
        QTest::mouseClick(w->Button1, Qt::LeftButton);
        QCOMPARE(calls().size(), 0);

        w->MaskEditPost->setText(QStringLiteral("100-0005"));
        QTest::mouseClick(w->Button1, Qt::LeftButton);
        QCOMPARE(w->EditAdrs->text(), QStringLiteral("東京都千代田区丸の内"));

        // Address and postal code: the typed address alone is searched.
        w->EditAdrs->setText(QStringLiteral("京都府京都市"));
        QTest::mouseClick(w->Button1, Qt::LeftButton);

        // A code not in the table: empty address, still searched.
        w->EditAdrs->clear();
        w->MaskEditPost->setText(QStringLiteral("999-9999"));
        QTest::mouseClick(w->Button1, Qt::LeftButton);
        QCOMPARE(w->EditAdrs->text(), QString());

        // Three digits only: looked up with its blanks, matching nothing.
        w->EditAdrs->clear();
        w->MaskEditPost->setText(QStringLiteral("100"));
        QTest::mouseClick(w->Button1, Qt::LeftButton);

        const QJsonArray expected{
            call({QStringLiteral("search_geo2"), QStringLiteral("東京都千代田区丸の内"), QStringLiteral("100-0005")}),
            call({QStringLiteral("search_geo2"), QStringLiteral("'京都府京都市'"), QStringLiteral("'京都府京都市'")}),
            call({QStringLiteral("search_geo2"), QString(), QStringLiteral("999-9999")}),
            call({QStringLiteral("search_geo2"), QString(), QStringLiteral("100-    ")}),
        };
        QCOMPARE(calls(), expected);
        QVERIFY(errors.isEmpty());
    }

    void hostileTypedAddressArrivesUnchanged()
    {
        QString hostile = QStringLiteral("a'b\"c\\d</script><script>x()</script>\ne\u2028f\u2029g 𠮷");
        hostile += QChar(0xD800); // a lone surrogate, as a broken paste can leave
        w->EditAdrs->setText(hostile);
        QTest::mouseClick(w->Button1, Qt::LeftButton);
        QVERIFY(errors.isEmpty());
        // Compared in the page itself, character by character.
        const QString quoted = QLatin1Char('\'') + hostile + QLatin1Char('\'');
        const QVariant same = js(QStringLiteral("(function(){var c=window.calls[0];var e=%1;"
                                                "return c.length===3&&c[1]===e&&c[2]===e;})()")
                                     .arg(tessolo::app::jsStringLiteral(quoted)));
        QVERIFY(same.toBool());
        QCOMPARE(js(QStringLiteral("window.calls[0][1].length")).toInt(), quoted.size());
        QCOMPARE(js(QStringLiteral("window.calls[0][1].charCodeAt(%1)").arg(quoted.size() - 2)).toInt(), 0xD800);
    }

    void clearRunsClearAll()
    {
        w->EditAdrs->setText(QStringLiteral("そのまま"));
        QTest::mouseClick(w->btnclear, Qt::LeftButton);
        QTRY_COMPARE(calls(), QJsonArray{call({QStringLiteral("clearAll")})});
        QCOMPARE(w->EditAdrs->text(), QStringLiteral("そのまま"));
    }

    void missingFunctionFails()
    {
        load(QStringLiteral("bare.html"));
        addCustomer(QStringLiteral("甲"), QStringLiteral("コウ"), QString(), QStringLiteral("東京都"), QString(),
                    QString());
        QTest::mouseClick(w->btnClients, Qt::LeftButton);
        QCOMPARE(errors, QStringList{QStringLiteral("This object does not support this method")});
        errors.clear();
        QTest::mouseClick(w->Button2, Qt::LeftButton);
        QCOMPARE(errors, QStringList{QStringLiteral("This object does not support this method")});
        // clearAll() is run as script text: its failure is ignored.
        errors.clear();
        QTest::mouseClick(w->btnclear, Qt::LeftButton);
        QTest::qWait(200);
        QVERIFY(errors.isEmpty());
    }

    void throwingCallStopsTheRun()
    {
        // More rows than one batch: the failure is in the second batch, and
        // the batches after it, already sent, must call nothing.
        const int rows = tessolo::app::TWebMap::kBatchRows * 2 + 50;
        const int failAt = tessolo::app::TWebMap::kBatchRows + 17;
        addCustomers(rows);
        js(QStringLiteral("window.throwAt = %1").arg(failAt));
        QTest::mouseClick(w->btnClients, Qt::LeftButton);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(QStringLiteral("Method call unsuccessful. geocoder failed (")),
                 qPrintable(errors.first()));
        QVERIFY(errors.first().endsWith(QStringLiteral(").")));
        QVERIFY2(errors.first().contains(QStringLiteral("/velmo/tessolo.html line ")), qPrintable(errors.first()));
        QCOMPARE(calls().size(), failAt - 1);
        QCOMPARE(calls().last().toArray().at(2).toString(), QStringLiteral("客%1::").arg(failAt - 2));

        // The page is not stuck: the next run marks again.
        js(QStringLiteral("window.throwAt = 0; window.calls = []"));
        errors.clear();
        QTest::mouseClick(w->btnClients, Qt::LeftButton);
        QVERIFY(errors.isEmpty());
        QCOMPARE(calls().size(), rows);

        // A thrown value that is no Error: its text, and the function as source.
        errors.clear();
        tessolo::ui::runHandler([&] { w->WebMap1->ExecScriptEx(QStringLiteral("throws_string"), {}); });
        QCOMPARE(errors, QStringList{QStringLiteral("Method call unsuccessful. plain text (throws_string).")});
    }

    void clicksDuringARunWaitTheirTurn()
    {
        const int rows = tessolo::app::TWebMap::kBatchRows * 15;
        addCustomers(rows);
        addSite(QStringLiteral("東京都"), QStringLiteral("府中市"), QStringLiteral("宮町"));
        // While 全顧客位置表示 waits for the page: 自社表示, クリア and
        // 全顧客位置表示 once more, clicked as a user would.
        bool clickedDuringRun = false;
        QTimer probe;
        probe.setInterval(1);
        connect(&probe, &QTimer::timeout, this, [&] {
            if (!w->WebMap1->isRunning())
                return;
            probe.stop();
            clickedDuringRun = true;
            windowSystemClick(w->btnOur);
            windowSystemClick(w->btnclear);
            windowSystemClick(w->btnClients);
        });
        probe.start();
        windowSystemClick(w->btnClients);
        QTRY_VERIFY_WITH_TIMEOUT(clickedDuringRun, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(calls().size(), 2 * rows + 2, 30000);
        QVERIFY(errors.isEmpty());

        // Each handler ran whole, one after the other, in the order clicked.
        const QJsonArray got = calls();
        for (int i = 0; i < rows; ++i)
            QCOMPARE(got.at(i).toArray().at(0).toString(), QStringLiteral("search_geo2"));
        QCOMPARE(got.at(rows).toArray(), call({QStringLiteral("draw_homeicon"), QStringLiteral("東京都府中市宮町")}));
        QCOMPARE(got.at(rows + 1).toArray(), call({QStringLiteral("clearAll")}));
        for (int i = rows + 2; i < got.size(); ++i)
            QCOMPARE(got.at(i).toArray().at(0).toString(), QStringLiteral("search_geo2"));
    }

    void deadRendererReloadsThePage()
    {
        const QString pageUrl = w->WebMap1->url().toString();
        QSignalSpy restarted(w->WebMap1, &tessolo::app::TWebMap::pageRestarted);
        for (int round = 1; round <= tessolo::app::TWebMap::kMaxRestarts; ++round) {
            const qint64 pid = w->WebMap1->page()->renderProcessPid();
            QVERIFY(pid > 0);
            QSignalSpy loaded(w->WebMap1, &QWebEngineView::loadFinished);
            QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
            QVERIFY(loaded.wait(20000));
            QVERIFY(loaded.first().first().toBool());
            QCOMPARE(w->WebMap1->url().toString(), pageUrl);
            QCOMPARE(restarted.size(), round);
            QVERIFY2(w->statusBar()->currentMessage().contains(QStringLiteral("読み込み直しました")),
                     qPrintable(w->statusBar()->currentMessage()));
            // The buttons draw again.
            js(QStringLiteral("window.calls = []"));
            QTest::mouseClick(w->Button2, Qt::LeftButton);
            QCOMPARE(calls(), QJsonArray{call({QStringLiteral("draw_circle"), QString(), QStringLiteral("5")})});
        }
        // Dying at every load: it stops trying and says so.
        QSignalSpy loaded(w->WebMap1, &QWebEngineView::loadFinished);
        QCOMPARE(::kill(pid_t(w->WebMap1->page()->renderProcessPid()), SIGKILL), 0);
        QTRY_COMPARE_WITH_TIMEOUT(restarted.size(), tessolo::app::TWebMap::kMaxRestarts + 1, 20000);
        QVERIFY(w->statusBar()->currentMessage().contains(QStringLiteral("読み込み直しをやめました")));
        QVERIFY(!loaded.wait(1500));
        QVERIFY(!w->WebMap1->hasDocument());
        QVERIFY(errors.isEmpty());
    }

    void noDocumentNoCalls()
    {
        tessolo::app::TWebMap blank;
        bool threw = false;
        try {
            blank.ExecScriptEx(QStringLiteral("search_geo2"), {QStringLiteral("a"), QStringLiteral("b")});
            blank.ExecScript(QStringLiteral("clearAll()"), QStringLiteral("JavaScript"));
        } catch (...) {
            threw = true;
        }
        QVERIFY(!threw);
    }

    void ctrlXCutsInFieldsAndClosesElsewhere()
    {
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->EditAdrs->setText(QStringLiteral("切り取る"));
        w->EditAdrs->setFocus();
        w->EditAdrs->selectAll();
        QTest::keyClick(w->EditAdrs, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(w->EditAdrs->text(), QString());
        QVERIFY(w->isVisible());

        w->EditCircle->setFocus();
        w->EditCircle->selectAll();
        QTest::keyClick(w->EditCircle, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(w->EditCircle->text(), QString());
        QVERIFY(w->isVisible());

        w->btnClients->setFocus();
        QTest::keyClick(w->btnClients, Qt::Key_X, Qt::ControlModifier);
        QVERIFY(!w->isVisible());
    }

    void serverAnswersOnlyItsFolder()
    {
        auto ok = rawGet("/velmo/tessolo.html");
        QCOMPARE(ok.first, QByteArray("HTTP/1.1 200 OK"));
        QCOMPARE(ok.second, QByteArray("text/html; charset=utf-8"));
        QCOMPARE(rawGet("/velmo/a.js").second, QByteArray("text/javascript; charset=utf-8"));
        QCOMPARE(rawGet("/velmo/css/a.css").second, QByteArray("text/css; charset=utf-8"));
        QCOMPARE(rawGet("/velmo/a.json").second, QByteArray("application/json"));
        QCOMPARE(rawGet("/velmo/a.png").second, QByteArray("image/png"));
        QCOMPARE(rawGet("/velmo/a.svg").second, QByteArray("image/svg+xml"));
        for (const QByteArray& bad :
             {QByteArray("/velmo/../outside.txt"), QByteArray("/velmo/%2e%2e/outside.txt"),
              QByteArray("/velmo/%2e%2e/tessolo.db"), QByteArray("/velmo/css/../../outside.txt"),
              QByteArray("/outside.txt"), QByteArray("/tessolo.db"),
              QByteArray(qPrintable(tmp->filePath(QStringLiteral("outside.txt")))), QByteArray("/velmo/"),
              QByteArray("/velmo/nothing.html")})
            QVERIFY2(rawGet(bad).first.startsWith("HTTP/1.1 404"), bad.constData());
        // Listening on the loopback address only.
        QCOMPARE(w->mapServer()->servers().size(), 1);
        QCOMPARE(w->mapServer()->servers().first()->serverAddress(), QHostAddress(QHostAddress::LocalHost));
    }

    void printsWithHeaderAndFooter()
    {
        // A printer's full resolution: the page must still not be held as one
        // giant picture.
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        const QString pdf = tmp->filePath(QStringLiteral("map.pdf"));
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
        w->WebMap1->setPrinter(std::move(printer));
        QVERIFY(!w->WebMap1->hideSetup);
        const qint64 before = peakMemoryKb();
        w->P1->trigger();
        const qint64 growth = peakMemoryKb() - before;
        qInfo("peak memory grew by %lld kB while printing", growth);
        QVERIFY(growth < 200 * 1024);
        QVERIFY(errors.isEmpty());
        QVERIFY(w->WebMap1->hideSetup);
        // Page setup after a print asks nothing.
        w->S1->trigger();

        QPdfDocument doc;
        QCOMPARE(doc.load(pdf), QPdfDocument::Error::None);
        QCOMPARE(doc.pageCount(), 1);
        const QString text = doc.getAllText(0).text();
        QVERIFY2(text.contains(QStringLiteral("テスト地図")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("1/1 ページ")), qPrintable(text));
        QVERIFY(text.contains(QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"))));
        QVERIFY(!text.contains(w->mapServer()->host()));
    }

    void previewDrawsThePage()
    {
        auto printer = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(tmp->filePath(QStringLiteral("unused.pdf")));
        w->WebMap1->setPrinter(std::move(printer));
        QString title;
        answerModal([&](QWidget* m) {
            title = m->windowTitle();
            // The preview is drawn before the dialog is answered.
            QTimer::singleShot(1500, m, [m] { static_cast<QDialog*>(m)->reject(); });
        });
        w->V1->trigger();
        QCOMPARE(title, QStringLiteral("印刷プレビュー"));
        QVERIFY(errors.isEmpty());
    }

    // Where no printer is installed the map goes to a PDF the user names.
    void noPrinterWritesAPdf()
    {
        auto printer = std::make_unique<QPrinter>();
        printer->setOutputFormat(QPrinter::PdfFormat); // as Qt leaves it where no printer is installed
        w->WebMap1->setPrinter(std::move(printer));
        QString title, pdf;
        answerModal([&](QWidget* m) {
            title = m->windowTitle();
            auto* dialog = qobject_cast<QFileDialog*>(m);
            if (!dialog)
                return static_cast<void>(static_cast<QDialog*>(m)->reject());
            pdf = dialog->selectedFiles().value(0); // the name offered
            static_cast<QDialog*>(dialog)->accept();
        });
        w->P1->trigger();
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
        QVERIFY2(title.contains(QStringLiteral("PDF")), qPrintable(title));
        QVERIFY2(pdf.endsWith(QStringLiteral(".pdf")), qPrintable(pdf));
        QPdfDocument doc;
        QCOMPARE(doc.load(pdf), QPdfDocument::Error::None);
        QCOMPARE(doc.pageCount(), 1);
        doc.close();
        // Left behind, it would make the next run's dialog ask about replacing it.
        QFile::remove(pdf);
    }

    void aboutBoxTwice()
    {
        TAboutBox box;
        AboutBox = &box;
        for (int i = 0; i < 2; ++i) {
            QString caption;
            answerModal([&](QWidget* m) {
                caption = m->windowTitle();
                QTest::keyClick(m, Qt::Key_Return);
            });
            w->N3->trigger();
            QCOMPARE(caption, QStringLiteral("バージョン情報"));
        }
        QCOMPARE(box.ProductName->text(), QStringLiteral("製品名: Tessolo"));
        QCOMPARE(box.Version->text(), QStringLiteral("バージョン 1.0.0"));
        QVERIFY(!box.ProgramIcon->pixmap().isNull());
        QCOMPARE(box.minimumSize(), box.maximumSize());
        AboutBox = nullptr;
    }

    void rosterOpensModallyAndLeavesTheMapAlone()
    {
        addCustomer(QStringLiteral("丙"), QStringLiteral("ヘイ"), QStringLiteral("丙社"), QStringLiteral("大阪府"),
                    QStringLiteral("大阪市"), QString());
        TfrmAddress roster;
        frmAddress = &roster;
        // Shown twice: the same hidden window comes back with the list reloaded.
        for (int i = 0; i < 2; ++i) {
            QString caption, count;
            bool modal = false;
            answerModal([&](QWidget* m) {
                caption = m->windowTitle();
                modal = m->isModal();
                count = roster.EditCnt->text();
                m->close();
            });
            w->N1->trigger();
            QCOMPARE(caption, QStringLiteral("名簿一覧"));
            QVERIFY(modal);
            QCOMPARE(count, QStringLiteral("1"));
            QVERIFY(!roster.isVisible());
        }
        QCOMPARE(calls().size(), 0);
        QVERIFY(errors.isEmpty());
        frmAddress = nullptr;
    }

    void pickerCancelAndDecide()
    {
        addCustomer(QStringLiteral("乙"), QStringLiteral("オツ"), QStringLiteral("乙社"), QStringLiteral("北海道"),
                    QStringLiteral("札幌市"), QString());
        TfrmClntsrc picker;
        frmClntsrc = &picker;
        answerModal([&](QWidget*) { picker.btncancel->click(); });
        QTest::mouseClick(w->btnclient, Qt::LeftButton);
        QCOMPARE(calls().size(), 0);

        answerModal([&](QWidget*) { picker.btnok->click(); });
        QTest::mouseClick(w->btnclient, Qt::LeftButton);
        QCOMPARE(calls(),
                 QJsonArray{call({QStringLiteral("search_geo2"), QStringLiteral("'北海道札幌市'"),
                                  QStringLiteral("乙::乙社"), QStringLiteral("1"),
                                  QStringLiteral("{\"co\":\"乙社\",\"ct\":\"札幌市\",\"pf\":\"北海道\"}")})});
        QVERIFY(errors.isEmpty());
        frmClntsrc = nullptr;
    }
};

QTEST_MAIN(MapWindowTest)
#include "mapwindow_test.moc"
