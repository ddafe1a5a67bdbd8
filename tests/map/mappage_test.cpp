// The real map page (offline) in the map window: colours by a field that stay
// with their values when the page is loaded again, territories kept by name
// and listing who is inside, and the printed map without the page's address.

#include "tests/map/offlinemap.h"
#include "tests/map/pagescript.h"
#include "data/datalocation.h"
#include "app/frmmapbrows.h"
#include "app/mapserver.h"
#include "app/startoptions.h"
#include "app/webmap.h"
#include "data/sqlitedo.h"

#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPdfDocument>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>

using tessolo::TSQLiteDo;

namespace {

// A customer's call as the program makes it, with its fields.
QString markCall(const QString& address, const QString& label, qint64 rowid, const QJsonObject& fields)
{
    const auto quoted = [](const QString& s) {
        return QString::fromUtf8(QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    };
    return QStringLiteral("search_geo2(%1, %2, %3, %4)")
        .arg(quoted(QLatin1Char('\'') + address + QLatin1Char('\'')), quoted(label), quoted(QString::number(rowid)),
             quoted(QString::fromUtf8(QJsonDocument(fields).toJson(QJsonDocument::Compact))));
}

const char* const kLegend = R"JS(JSON.stringify([...document.querySelectorAll('#legend .tsl-legend-row')].map((r) => ({
  name: r.querySelector('.tsl-legend-name').textContent,
  colour: r.querySelector('.tsl-legend-swatch').style.background + r.querySelector('.tsl-legend-swatch').textContent,
  count: Number(r.querySelector('.tsl-legend-count').textContent),
  off: r.classList.contains('tsl-legend-off') }))))JS";

} // namespace

class MapPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<OfflineMap> map;
    TfrmMapbrows* w = nullptr;

    QVariant js(const QString& code) { return pageScript(w->WebMap1, code); }
    QJsonValue json(const QString& code) { return pageJson(w->WebMap1, code); }
    bool idle(int timeoutMs = 60000) { return pageIdle(w->WebMap1, timeoutMs); }
    bool reload()
    {
        QSignalSpy loaded(w->WebMap1, &QWebEngineView::loadFinished);
        w->WebMap1->reload();
        return loaded.wait(30000) && idle(30000);
    }
    // name → colour, from the legend
    QHash<QString, QString> colours()
    {
        QHash<QString, QString> out;
        for (const QJsonValue& row : json(QString::fromUtf8(kLegend)).toArray())
            out.insert(row[QStringLiteral("name")].toString(), row[QStringLiteral("colour")].toString());
        return out;
    }

private slots:
    void init()
    {
        if (!OfflineMap::pageInstalled())
            QSKIP("the map page is not installed beside the program");
        map = std::make_unique<OfflineMap>();
        w = map->window();
        QVERIFY(map->show());
    }

    void cleanup()
    {
        w = nullptr;
        map.reset();
    }

    // Colour by company: the legend counts; a value keeps its colour when
    // the page is loaded again with other companies, more or fewer, in
    // another order; a click on an entry hides its marks and shows them again.
    void aValueKeepsItsColourAcrossAReload()
    {
        const QStringList companies = {QStringLiteral("山田商店"), QStringLiteral("佐藤工務店"),
                                       QStringLiteral("鈴木建設")};
        int rowid = 0;
        for (int i = 0; i < 6; ++i)
            js(markCall(QStringLiteral("大阪府大阪市北区梅田"), QStringLiteral("客%1::").arg(i), ++rowid,
                        QJsonObject{{QStringLiteral("co"), companies[i % 3 == 2 ? 2 : i % 2]}}));
        QVERIFY(idle());
        w->cmbColorBy->setCurrentIndex(2); // 会社名
        QVERIFY(QTest::qWaitFor([&] { return colours().size() == 3; }, 10000));
        const QHash<QString, QString> before = colours();
        QCOMPARE(QSet<QString>(before.cbegin(), before.cend()).size(), 3);
        const QJsonArray legend = json(QString::fromUtf8(kLegend)).toArray();
        int total = 0;
        for (const QJsonValue& row : legend)
            total += row[QStringLiteral("count")].toInt();
        QCOMPARE(total, 6);

        // Hiding 山田商店 takes its marks off the map; a second click brings them back.
        const int shown = js(QStringLiteral("tessoloMarkCount()")).toInt();
        QCOMPARE(shown, 6);
        const auto click = [&](const QString& name) {
            js(QStringLiteral("[...document.querySelectorAll('#legend .tsl-legend-row')].find((r) => "
                              "r.querySelector('.tsl-legend-name').textContent === '%1').click()")
                   .arg(name));
        };
        int yamadaCount = 0;
        for (const QJsonValue& row : legend)
            if (row[QStringLiteral("name")].toString() == companies[0])
                yamadaCount = row[QStringLiteral("count")].toInt();
        QVERIFY(yamadaCount > 0);
        click(companies[0]);
        QVERIFY(QTest::qWaitFor([&] { return js(QStringLiteral("tessoloMarkCount()")).toInt() == shown - yamadaCount; },
                                5000));
        click(companies[0]);
        QVERIFY(QTest::qWaitFor([&] { return js(QStringLiteral("tessoloMarkCount()")).toInt() == shown; }, 5000));

        // The next start: the page loaded again, the chooser as it was.
        QVERIFY(reload());
        js(markCall(QStringLiteral("京都府京都市"), QStringLiteral("新::"), ++rowid,
                    QJsonObject{{QStringLiteral("co"), QStringLiteral("新しい会社")}}));
        for (int i = 0; i < 4; ++i)
            js(markCall(QStringLiteral("京都府京都市"), QStringLiteral("多::"), ++rowid,
                        QJsonObject{{QStringLiteral("co"), QStringLiteral("多い会社")}}));
        js(markCall(QStringLiteral("京都府京都市"), QStringLiteral("鈴::"), ++rowid,
                    QJsonObject{{QStringLiteral("co"), companies[2]}}));
        js(markCall(QStringLiteral("京都府京都市"), QStringLiteral("山::"), ++rowid,
                    QJsonObject{{QStringLiteral("co"), companies[0]}}));
        QVERIFY(idle());
        QVERIFY(QTest::qWaitFor([&] { return colours().size() == 4; }, 10000));
        const QHash<QString, QString> after = colours();
        QCOMPARE(after.value(companies[0]), before.value(companies[0]));
        QCOMPARE(after.value(companies[2]), before.value(companies[2]));
        QVERIFY(!QStringList(before.values()).contains(after.value(QStringLiteral("多い会社"))));
    }

    // A territory drawn and named lists the customers inside it, a concave
    // one leaving out its notch, and comes back with the next start.
    void aTerritoryListsWhoIsInsideAndIsKept()
    {
        // Marks at town level in Osaka's 北区 and 中央区, one in Kyoto.
        js(markCall(QStringLiteral("大阪府大阪市北区梅田"), QStringLiteral("梅田::"), 1, {}));
        js(markCall(QStringLiteral("大阪府大阪市中央区難波"), QStringLiteral("難波::"), 2, {}));
        js(markCall(QStringLiteral("京都府京都市"), QStringLiteral("京都::"), 3, {}));
        QVERIFY(idle());
        const QJsonArray marks = json(QStringLiteral("JSON.stringify(tessoloMarks())")).toArray();
        QCOMPARE(marks.size(), 3);
        QJsonObject umeda, namba;
        for (const QJsonValue& m : marks) {
            if (m[QStringLiteral("label")].toString() == QStringLiteral("梅田"))
                umeda = m.toObject();
            if (m[QStringLiteral("label")].toString() == QStringLiteral("難波"))
                namba = m.toObject();
        }
        QVERIFY(!umeda.isEmpty() && !namba.isEmpty());
        const double la = umeda[QStringLiteral("lat")].toDouble(), lo = umeda[QStringLiteral("lng")].toDouble();
        const double lb = namba[QStringLiteral("lat")].toDouble(), lob = namba[QStringLiteral("lng")].toDouble();
        // A "C" open to the east whose notch holds 難波 while its arm holds 梅田
        // (難波 lies south of 梅田): a box around both with the southern
        // mark's surroundings cut out from the east.
        const double s = lb - 0.01, n = la + 0.01, wst = std::min(lo, lob) - 0.02, est = std::max(lo, lob) + 0.02;
        const QString ring = QStringLiteral("[[%1,%2],[%1,%3],[%4,%3],[%4,%5],[%6,%5],[%6,%3],[%7,%3],[%7,%2]]")
                                 .arg(s, 0, 'f', 6)
                                 .arg(wst, 0, 'f', 6)
                                 .arg(est, 0, 'f', 6)
                                 .arg(lb - 0.005, 0, 'f', 6)
                                 .arg(lob - 0.005, 0, 'f', 6)
                                 .arg(lb + 0.005, 0, 'f', 6)
                                 .arg(n, 0, 'f', 6);
        js(QStringLiteral("tessoloAddTerritory('北の営業', %1)").arg(ring));
        const auto listed = [&] {
            return js(QStringLiteral("[...document.querySelectorAll('#area-list .tsl-area-name, #area-approx-list "
                                     ".tsl-area-name')]"
                                     ".map((a) => a.textContent).join('|')"))
                .toString();
        };
        QCOMPARE(listed(), QStringLiteral("梅田"));
        QVERIFY(js(QStringLiteral("document.getElementById('area').querySelector('summary').textContent"))
                    .toString()
                    .contains(QStringLiteral("北の営業")));

        // The rectangle tool, as a user clicks it: two corners, then a name.
        QVERIFY(js(QStringLiteral("!!document.querySelector('.leaflet-pm-icon-rectangle')")).toBool());
        js(QStringLiteral(
            "window.prompt = () => '矩形'; "
            "document.querySelector('.leaflet-pm-icon-rectangle').closest('a, .button-container').click()"));
        const QString corners =
            QStringLiteral("(() => { const r = document.getElementById('map').getBoundingClientRect();"
                           " for (const [fx, fy] of [[0.45, 0.45], [0.55, 0.55]]) {"
                           "  const o = { clientX: r.left + r.width * fx, clientY: r.top + r.height * fy, bubbles: "
                           "true, cancelable: true, view: window };"
                           "  const target = document.elementFromPoint(o.clientX, o.clientY);"
                           "  for (const type of ['mousedown', 'mouseup', 'click']) target.dispatchEvent(new "
                           "MouseEvent(type, o)); } })()");
        js(corners);
        QTRY_COMPARE_WITH_TIMEOUT(
            js(QStringLiteral("tessoloTerritories().map((t) => t.name).sort().join('|')")).toString(),
            QStringLiteral("北の営業|矩形"), 5000);

        QVERIFY(reload());
        QCOMPARE(js(QStringLiteral("tessoloTerritories().map((t) => t.name).sort().join('|')")).toString(),
                 QStringLiteral("北の営業|矩形"));
        QCOMPARE(js(QStringLiteral("tessoloTerritories().find((t) => t.name === '北の営業').ring.length")).toInt(), 8);
    }

    // 訪問順 from the own company's icon through the area's customers: each
    // once, numbered on the map, the legs adding up to the round shown.
    void aRoundVisitsEveryCustomerOfTheAreaOnce()
    {
        const char* const wards[] = {"千代田区", "中央区", "港区", "渋谷区", "豊島区", "文京区", "台東区"};
        int rowid = 0;
        for (const char* ward : wards)
            js(markCall(QStringLiteral("東京都") + QString::fromUtf8(ward),
                        QString::fromUtf8(ward) + QStringLiteral("::"), ++rowid, {}));
        js(QStringLiteral("draw_homeicon('東京都新宿区')"));
        js(QStringLiteral("draw_circle('東京都新宿区', '30')"));
        QVERIFY(idle());
        const int listed = js(QStringLiteral("document.getElementById('area').dataset.count")).toInt();
        QCOMPARE(listed, 7);
        js(QStringLiteral("document.getElementById('area-route').click()"));
        const QJsonObject round = json(QStringLiteral("JSON.stringify(tessoloRoute())")).toObject();
        QStringList labels;
        for (const QJsonValue& v : round[QStringLiteral("labels")].toArray())
            labels << v.toString();
        QCOMPARE(labels.size(), 7);
        QCOMPARE(QSet<QString>(labels.cbegin(), labels.cend()).size(), 7);
        QCOMPARE(js(QStringLiteral("document.querySelectorAll('.tsl-route-no').length")).toInt(), 7);
        QCOMPARE(js(QStringLiteral("document.getElementById('route').hidden")).toBool(), false);
        double total = round[QStringLiteral("returnLeg")].toDouble();
        for (const QJsonValue& v : round[QStringLiteral("legs")].toArray())
            total += v.toDouble();
        const QString shown = js(QStringLiteral("document.getElementById('route-km').textContent")).toString();
        QCOMPARE(shown, QStringLiteral("%1 km").arg(total / 1000, 0, 'f', 1));

        // The same customers counted per municipality: one in each ward.
        js(QStringLiteral("tessoloDensity(true)"));
        QVERIFY(QTest::qWaitFor(
            [&] { return json(QStringLiteral("JSON.stringify(tessoloDensity())")).toObject().size() >= 7; }, 20000));
        const QJsonObject density = json(QStringLiteral("JSON.stringify(tessoloDensity())")).toObject();
        for (const char* ward : wards)
            QCOMPARE(density.value(QString::fromUtf8(ward)).toInt(), 1);
    }

    // The printed page: header and footer are there, the page's address is not.
    void thePrintedPageCarriesNoAddress()
    {
        js(markCall(QStringLiteral("大阪府大阪市北区梅田"), QStringLiteral("梅田::"), 1, {}));
        QVERIFY(idle());
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        const QString file = map->data().filePath(QStringLiteral("map.pdf"));
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(file);
        printer->setPageSize(QPageSize(QPageSize::A4));
        w->WebMap1->setPrinter(std::move(printer));
        w->WebMap1->hideSetup = true;
        w->WebMap1->Print();
        QPdfDocument doc;
        QCOMPARE(doc.load(file), QPdfDocument::Error::None);
        QVERIFY(doc.pageCount() >= 1);
        const QString text = doc.getAllText(0).text();
        QVERIFY2(text.contains(QStringLiteral("1/1")), qPrintable(text)); // the header's page count
        QVERIFY2(text.contains(QString::number(QDate::currentDate().year())), qPrintable(text)); // the footer's date
        for (const QString& address : {QStringLiteral("127.0.0.1"), QStringLiteral("http"), QStringLiteral("velmo")})
            QVERIFY2(!text.contains(address), qPrintable(text));
        // The controls are back on the page after the picture.
        QCOMPARE(js(QStringLiteral("document.body.classList.contains('tsl-printing')")).toBool(), false);
    }
};

QTEST_MAIN(MapPageTest)
#include "mappage_test.moc"
