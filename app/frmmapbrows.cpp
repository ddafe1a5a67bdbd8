#include "app/frmmapbrows.h"
#include "app/problemreport.h"

#include "ui/appevents.h"
#include "ui/backupguard.h"
#include "ui/windowstyle.h"
#include "app/addresssearch.h"
#include "app/mapserver.h"
#include "app/pagebridge.h"
#include "app/printing.h"
#include "app/visitround.h"
#include "app/startoptions.h"
#include "app/storechoice.h"
#include "data/store.h"
#include "app/webmap.h"
#include "data/datalocation.h"
#include "postal/postalcode.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"
#include "customer/memofields.h"
#include "customer/ourcompany.h"
#include "ui/errordisplay.h"
#include "ui/imemode.h"
#include "ui/postaledit.h"
#include "ui/windowset.h"
#include "ui/startfolder.h"

#include "app/aboutbox.h"
#include "roster/frmaddress.h"
#include "picker/frmclntsrc.h"
#include "atena/frmatena.h"
#include <QSet>
#include <QWebEngineView>

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QHash>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>

using tessolo::EAbort;
using tessolo::TSQLiteDo;
using tessolo::kDatabaseName;
using tessolo::ui::guarded;
using tessolo::ui::runHandler;

namespace {

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

TfrmMapbrows::TfrmMapbrows(QWidget* parent)
    : QMainWindow(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("frmMapbrows"), QStringLiteral("顧客地図表示"),
                             QColor(0xfa, 0xf8, 0xf0)); // off-white
    // A copy or a file on a shared folder must not be taken for the usual one.
    if (!tessolo::location::isDefaultDatabase())
        setWindowTitle(windowTitle() + QStringLiteral(" - ") +
                       QDir::toNativeSeparators(tessolo::location::databaseFile()));

    buildMenu();
    buildPanel();
    wire();
    // The status bar carries the renderer's messages: a line of text high,
    // also before the first message.
    statusBar()->setMinimumHeight(statusBar()->fontMetrics().height() + 8);
    resize(812, 719 + menuBar()->sizeHint().height() + statusBar()->minimumHeight());

    runHandler([this] { FormCreate(); });
    m_server = new tessolo::app::TMapServer(tessolo::app::TMapServer::defaultRoot(), this);
    m_search = new tessolo::app::TAddressSearch(tessolo::app::TAddressSearch::defaultCacheFile(), this);
    m_server->setAddressSearch(m_search);
    wireSearch();
    runHandler([this] {
        m_server->start();
        WebMap1->setServerKey(m_server->host(), tessolo::app::TMapServer::kKeyHeader, m_server->key());
    });
}

TfrmMapbrows::~TfrmMapbrows() = default;

void TfrmMapbrows::buildMenu()
{
    F1 = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    F1->setObjectName(QStringLiteral("F1"));
    N1 = F1->addAction(QStringLiteral("顧客情報設定"));
    N1->setObjectName(QStringLiteral("N1"));
    QAction* dataLocation = F1->addAction(QStringLiteral("データの場所…"));
    dataLocation->setObjectName(QStringLiteral("mnuDataLocation"));
    connect(dataLocation, &QAction::triggered, this, guarded([this] {
                tessolo::app::TfrmDataLocation dialog(this);
                dialog.exec();
            }));
    P1 = F1->addAction(QStringLiteral("印刷(&P)"));
    P1->setObjectName(QStringLiteral("P1"));
    V1 = F1->addAction(QStringLiteral("プレビュー(&V)"));
    V1->setObjectName(QStringLiteral("V1"));
    S1 = F1->addAction(QStringLiteral("印刷設定(&S)"));
    S1->setObjectName(QStringLiteral("S1"));
    X1 = F1->addAction(QStringLiteral("終了(&X)"));
    X1->setObjectName(QStringLiteral("X1"));
    // Ctrl+X stays Cut in the edit fields: a line edit claims the key through
    // its shortcut override while it has the focus, so the window's shortcut
    // only fires when the focus is elsewhere (a button, the panel).
    X1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    X1->setShortcutContext(Qt::WindowShortcut);

    buildSettingsMenu();
    N2 = menuBar()->addMenu(QStringLiteral("ヘルプ"));
    N2->setObjectName(QStringLiteral("N2"));
    N3 = N2->addAction(QStringLiteral("バージョン"));
    N3->setObjectName(QStringLiteral("N3"));
    auto* report = N2->addAction(QStringLiteral("問題の報告"));
    report->setObjectName(QStringLiteral("ProblemReport"));
    connect(report, &QAction::triggered, this,
            tessolo::ui::guarded([this] { tessolo::app::writeProblemReport(this); }));
}

void TfrmMapbrows::buildPanel()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Panel0"));
    WebMap1 = new tessolo::app::TWebMap(central);

    auto* panel = new QWidget(central);
    panel->setObjectName(QStringLiteral("Panel1"));
    btnClients = button("btnClients", QStringLiteral("全顧客位置表示"), panel);
    btnclient = button("btnclient", QStringLiteral("顧客選択表示"), panel);
    EditCircle = new QLineEdit(QStringLiteral("5"), panel);
    EditCircle->setObjectName(QStringLiteral("EditCircle"));
    EditCircle->setFixedWidth(48);
    Button2 = button("Button2", QStringLiteral("エリア"), panel);
    Label4 = new QLabel(QStringLiteral("郵便番号"), panel);
    Label4->setObjectName(QStringLiteral("Label4"));
    MaskEditPost = new tessolo::ui::TPostalMaskEdit(panel);
    MaskEditPost->setObjectName(QStringLiteral("MaskEditPost"));
    MaskEditPost->setFixedWidth(80);
    Label4->setBuddy(MaskEditPost);
    Label5 = new QLabel(QStringLiteral("住所"), panel);
    Label5->setObjectName(QStringLiteral("Label5"));
    EditAdrs = new QLineEdit(panel);
    EditAdrs->setObjectName(QStringLiteral("EditAdrs"));
    tessolo::ui::setImeMode(EditAdrs, tessolo::ui::ImeMode::Hiragana);
    Label5->setBuddy(EditAdrs);
    Button1 = button("Button1", QStringLiteral("検索"), panel);
    btnclear = button("btnclear", QStringLiteral("クリア"), panel);
    btnOur = button("btnOur", QStringLiteral("自社表示"), panel);
    buildColorBy(panel);

    auto* row1 = new QHBoxLayout;
    row1->addWidget(btnClients);
    row1->addWidget(btnclient);
    row1->addSpacing(16);
    row1->addWidget(EditCircle);
    row1->addWidget(Button2);
    row1->addStretch();
    row1->addWidget(cmbColorBy);
    row1->addSpacing(8);
    row1->addWidget(btnclear);
    row1->addWidget(btnOur);
    auto* row2 = new QHBoxLayout;
    row2->addWidget(Label4);
    row2->addWidget(MaskEditPost);
    row2->addSpacing(8);
    row2->addWidget(Label5);
    row2->addWidget(EditAdrs, 1);
    row2->addWidget(Button1);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(6, 4, 6, 6);
    panelLayout->addLayout(row1);
    panelLayout->addLayout(row2);

    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(WebMap1, 1);
    layout->addWidget(panel);
    setCentralWidget(central);

    QWidget* order[] = {btnClients,   btnclient, EditCircle, Button2,  cmbColorBy,
                        MaskEditPost, EditAdrs,  Button1,    btnclear, btnOur};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TfrmMapbrows::wire()
{
    connect(btnClients, &QPushButton::clicked, this, guarded([this] { btnClientsClick(); }));
    connect(btnclient, &QPushButton::clicked, this, guarded([this] { btnclientClick(); }));
    connect(Button2, &QPushButton::clicked, this, guarded([this] { Button2Click(); }));
    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    connect(btnclear, &QPushButton::clicked, this, guarded([this] { btnclearClick(); }));
    connect(btnOur, &QPushButton::clicked, this, guarded([this] { btnOurClick(); }));
    connect(N1, &QAction::triggered, this, guarded([this] { N1Click(); }));
    connect(P1, &QAction::triggered, this, guarded([this] { P1Click(); }));
    connect(V1, &QAction::triggered, this, guarded([this] { V1Click(); }));
    connect(S1, &QAction::triggered, this, guarded([this] { S1Click(); }));
    connect(X1, &QAction::triggered, this, guarded([this] { X1Click(); }));
    connect(N3, &QAction::triggered, this, guarded([this] { N3Click(); }));
    m_bridge = new tessolo::app::TPageBridge(this);
    WebMap1->setHost(m_bridge);
    // What the page was given starts again with each load.
    connect(WebMap1, &QWebEngineView::loadStarted, this, [this] {
        m_pageRows.clear();
        m_callsKnown = true;
    });
    // Queued: the window opened runs its own loop, not inside the page's message.
    connect(
        m_bridge, &tessolo::app::TPageBridge::marksChosen, this,
        [this](tessolo::app::TPageBridge::Action action, const QList<qint64>& rowids) {
            runHandler([&] { marksChosen(int(action), rowids); });
        },
        Qt::QueuedConnection);
    wirePageRequests();
    connect(WebMap1, &tessolo::app::TWebMap::pageRestarted, this,
            [this](const QString& message) { statusBar()->showMessage(message); });
    if (tessolo::ui::TAppEvents* events = tessolo::ui::TAppEvents::current()) {
        connect(events, &tessolo::ui::TAppEvents::statusMessage, this,
                [this](const QString& message) { statusBar()->showMessage(message); });
        // Marks of customers that a restore replaced would point at data no
        // longer there: show the restored ones instead.
        connect(events, &tessolo::ui::TAppEvents::dataReplaced, this, [this] {
            tessolo::ui::runHandler([this] {
                btnclearClick();
                btnClientsClick();
            });
        });
    }
}

void TfrmMapbrows::wireSearch()
{
    connect(m_search, &tessolo::app::TAddressSearch::problemFound, this,
            [this](const QString& message) { statusBar()->showMessage(message); });
    if (!m_search->problem().isEmpty())
        statusBar()->showMessage(m_search->problem());
}

QString TfrmMapbrows::pageAddress() const
{
    QStringList query;
    if (tessolo::app::offlineMode())
        query << QStringLiteral("offline=1");
    if (actStreetLevel->isChecked())
        query << QStringLiteral("street=1");
    if (!m_homeForPage.isEmpty())
        query << QStringLiteral("home=") + QString::fromLatin1(QUrl::toPercentEncoding(m_homeForPage));
    QString address = m_server->host() + QStringLiteral("/velmo/tessolo.html");
    if (!query.isEmpty())
        address += QLatin1Char('?') + query.join(QLatin1Char('&'));
    return address;
}

namespace {
QString siteAddress(const tessolo::store::SiteValues& v)
{
    namespace col = tessolo::ourcompany::col;
    return v[col::Prefecture] + v[col::City] + v[col::Town];
}
} // namespace

void TfrmMapbrows::FormCreate()
{
    // A server's tables were made when it was connected to.
    if (tessolo::store::currentIsServer())
        return;
    TSQLiteDo db;
    db.initDB(kDatabaseName);
}

void TfrmMapbrows::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (m_shown)
        return;
    m_shown = true;
    runHandler([this] { FormShow(); });
}

void TfrmMapbrows::FormShow()
{
    if (m_server->port() == 0)
        return;
    // The map opens on the own company's first site.
    if (tessolo::store::currentIsServer()) {
        const auto sites = tessolo::store::current().sites();
        m_homeForPage = sites.isEmpty() ? QString() : siteAddress(sites.first().values);
    } else {
        TSQLiteDo db;
        db.getDBpoint(kDatabaseName);
        auto table = db.query(tessolo::ourcompany::kSitesSql);
        m_homeForPage.clear();
        if (table->MoveFirst() && !table->Eof())
            m_homeForPage = table->NamedFieldAsString(QStringLiteral("prefecture")) +
                table->NamedFieldAsString(QStringLiteral("city")) + table->NamedFieldAsString(QStringLiteral("town"));
        table.reset();
        db.closeDBpoint();
    }
    WebMap1->Navigate(pageAddress());
}

namespace {
QString placementKey() { return QStringLiteral("frmMapbrows/geometry"); }
QSettings placementSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tessolo"), QStringLiteral("Tessolo"));
}
} // namespace

void TfrmMapbrows::rememberPlacement()
{
    m_rememberPlacement = true;
    const QByteArray saved = placementSettings().value(placementKey()).toByteArray();
    if (!saved.isEmpty())
        restoreGeometry(saved);
}

void TfrmMapbrows::closeEvent(QCloseEvent* e)
{
    if (m_rememberPlacement) {
        QSettings settings = placementSettings();
        settings.setValue(placementKey(), saveGeometry());
    }
    QMainWindow::closeEvent(e);
}

// The page calls below keep the shape they have always had; the page reads
// them as written down at the top of app/web/js/map.js, and both sides keep
// to that together:
// - a customer's address goes in single quotes, "'" + prefecture + city +
//   town + "'", as the Windows edition built it like an SQL literal; the
//   postal search sends its address bare, the address search its typed text
//   quoted as address and label. The page takes one enclosing pair off.
// - the label packs two fields into the call's one text argument as
//   person_name + "::" + company_name; the page splits at the first "::".
// - "自社表示" draws the icon at the first own-company row only, while
//   homeAddr, the centre "エリア" uses, ends as the last row's address.
// - the page lives at /velmo/tessolo.html, the map page's folder name of old.
// search_geo2's arguments for one customer.
QStringList TfrmMapbrows::customerCall(qint64 rowid, const std::function<QString(int)>& field)
{
    namespace col = tessolo::customer::col;
    return {QLatin1Char('\'') + field(col::Prefecture) + field(col::City) + field(col::Town) + QLatin1Char('\''),
            field(col::PersonName) + QStringLiteral("::") + field(col::CompanyName), QString::number(rowid),
            customerAttributes(field)};
}

void TfrmMapbrows::markAllCustomers()
{
    QList<QStringList> calls;
    QList<qint64> rowids;
    if (tessolo::store::currentIsServer()) {
        for (const auto& row : tessolo::store::current().customers()) {
            calls.append(customerCall(row.key, [&row](int column) { return row.values[size_t(column)]; }));
            rowids.append(row.key);
        }
    } else {
        TSQLiteDo db;
        db.getDBpoint(kDatabaseName);
        auto table = db.query(tessolo::customer::kListSql);
        // Each column's place is looked up once, not in every row: with a
        // hundred thousand customers the lookups cost more than the reading.
        std::array<qsizetype, tessolo::customer::kColumnCount> at{};
        for (int c = 0; c < tessolo::customer::kColumnCount; ++c)
            at[size_t(c)] = table->FieldIndex(tessolo::customer::kFields[size_t(c)].column.toString());
        const qsizetype rowidAt = table->FieldIndex(QStringLiteral("rowid"));
        for (table->MoveFirst(); !table->Eof(); table->Next()) {
            const qint64 rowid = table->FieldAsString(rowidAt).toLongLong();
            calls.append(customerCall(rowid, [&](int column) { return table->FieldAsString(at[size_t(column)]); }));
            rowids.append(rowid);
        }
        table.reset();
        db.closeDBpoint();
    }
    // The rows are read whole first so that no connection stays open while
    // the page draws.
    markCalls(calls, rowids);
}

void TfrmMapbrows::markCustomers(const QList<qint64>& chosen)
{
    namespace c = tessolo::customer;
    QList<QStringList> calls;
    QList<qint64> rowids;
    // In the order chosen, each once; a customer deleted since is passed over.
    for (const c::Stored& s : c::recordsOf(chosen)) {
        rowids.append(s.rowid);
        calls.append(customerCall(s.rowid, [&s](int column) { return s.record[size_t(column)]; }));
    }
    markCalls(calls, rowids);
}

void TfrmMapbrows::showCustomers(const QList<qint64>& rowids)
{
    tessolo::ui::runHandler([&] { markCustomers(rowids); });
}

void TfrmMapbrows::markCalls(const QList<QStringList>& calls, const QList<qint64>& rowids)
{
    recordCalls(rowids);
    try {
        WebMap1->ExecScriptExRows(QStringLiteral("search_geo2"), calls);
    } catch (...) {
        m_callsKnown = false; // how many of them the page took is unknown
        throw;
    }
}

// The fourth argument of a customer's search_geo2: what the page colours by
// and shows in the popup, as a JSON object text. Short keys: the text goes
// over the page's channel once per customer, 100,000 times for a large list.
QString TfrmMapbrows::customerAttributes(const std::function<QString(int)>& field)
{
    namespace col = tessolo::customer::col;
    QJsonObject o;
    const auto put = [&](const char* key, const QString& value) {
        if (!value.isEmpty())
            o.insert(QLatin1String(key), value);
    };
    const QString memo = field(col::Memo);
    const tessolo::customer::memo::Fields memoFields = tessolo::customer::memo::parse(memo);
    const QStringList& groups = memoFields.groups;
    if (!groups.isEmpty())
        o.insert(QStringLiteral("g"), QJsonArray::fromStringList(groups));
    put("co", field(col::CompanyName));
    put("pf", field(col::Prefecture));
    put("ct", field(col::City));
    put("dp", field(col::Department));
    put("ps", field(col::Position));
    put("tel", field(col::Tel));
    put("mail", field(col::Email1));
    put("memo", tessolo::customer::memo::firstNoteLine(memoFields));
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void TfrmMapbrows::recordCalls(const QList<qint64>& rowids)
{
    if (!WebMap1->hasDocument())
        return;
    for (qint64 id : rowids)
        if (id >= 0)
            m_pageRows.insert(id);
}

QList<qint64> TfrmMapbrows::knownRowids(const QList<qint64>& rowids) const
{
    QList<qint64> out;
    QSet<qint64> seen;
    for (qint64 rowid : rowids) {
        if (!m_pageRows.contains(rowid) || seen.contains(rowid))
            continue;
        seen.insert(rowid);
        out << rowid;
    }
    return out;
}

// The page's links under the area list: the customers listed in the circle
// or a territory, in the list's order, on postcards or labels, or to a CSV
// file.
void TfrmMapbrows::marksChosen(int action, const QList<qint64>& chosen)
{
    if (!m_callsKnown)
        throw tessolo::TessoloError(QStringLiteral("地図の印と顧客の対応がわからなくなりました。"
                                                   "クリアしてから、もう一度印を付けてください。"));
    const QList<qint64> rowids = knownRowids(chosen);
    if (rowids.isEmpty())
        throw EAbort();
    if (action == int(tessolo::app::TPageBridge::Action::Csv)) {
        if (frmAddress)
            frmAddress->exportCustomers(rowids);
        return;
    }
    if (!frmAtena)
        throw EAbort();
    frmAtena->setCustomers(rowids);
    frmAtena->exec();
}

void TfrmMapbrows::btnClientsClick() { markAllCustomers(); }

void TfrmMapbrows::btnclientClick()
{
    if (!frmClntsrc)
        throw EAbort();
    frmClntsrc->exec();
    if (frmClntsrc->getFlg() == 0)
        throw EAbort();
    markCustomers(frmClntsrc->getRowids());
}

void TfrmMapbrows::btnOurClick()
{
    if (tessolo::store::currentIsServer()) {
        const auto sites = tessolo::store::current().sites();
        for (qsizetype i = 0; i < sites.size(); ++i) {
            homeAddr = siteAddress(sites[i].values);
            if (i == 0)
                WebMap1->ExecScriptEx(QStringLiteral("draw_homeicon"), {homeAddr});
        }
        return;
    }
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    auto table = db.query(tessolo::ourcompany::kSitesSql);
    int counter = 0;
    for (table->MoveFirst(); !table->Eof(); table->Next()) {
        homeAddr = table->NamedFieldAsString(QStringLiteral("prefecture")) +
            table->NamedFieldAsString(QStringLiteral("city")) + table->NamedFieldAsString(QStringLiteral("town"));
        if (counter == 0)
            WebMap1->ExecScriptEx(QStringLiteral("draw_homeicon"), {homeAddr});
        ++counter;
    }
    table.reset();
    db.closeDBpoint();
}

void TfrmMapbrows::Button1Click()
{
    const QString postal = MaskEditPost->text();
    const QString address = EditAdrs->text();
    if (postal == tessolo::postal::kEmptyField && address.isEmpty())
        throw EAbort();
    if (address.isEmpty()) {
        QString prefecture, city, town;
        if (tessolo::store::currentIsServer()) {
            const auto found = tessolo::store::current().postalAddresses(tessolo::postal::toStored(postal));
            if (!found.isEmpty()) {
                prefecture = found.last().prefecture;
                city = found.last().city;
                town = found.last().town;
            }
        } else {
            TSQLiteDo db;
            db.setDBpoint(kDatabaseName);
            db.postal2address(tessolo::postal::toStored(postal), prefecture, city, town);
            db.closeDBpoint();
        }
        EditAdrs->setText(prefecture + city + town);
        recordCalls({-1});
        WebMap1->ExecScriptEx(QStringLiteral("search_geo2"), {prefecture + city + town, postal});
        return;
    }
    const QString quoted = QLatin1Char('\'') + address + QLatin1Char('\'');
    recordCalls({-1});
    WebMap1->ExecScriptEx(QStringLiteral("search_geo2"), {quoted, quoted});
}

void TfrmMapbrows::Button2Click()
{
    if (EditCircle->text().isEmpty())
        throw EAbort();
    WebMap1->ExecScriptEx(QStringLiteral("draw_circle"), {homeAddr, EditCircle->text()});
}

void TfrmMapbrows::btnclearClick() { WebMap1->ExecScript(QStringLiteral("clearAll()"), QStringLiteral("JavaScript")); }

void TfrmMapbrows::P1Click()
{
    WebMap1->hideSetup = true;
    WebMap1->Print();
}

void TfrmMapbrows::V1Click() { WebMap1->PrintPreview(); }

void TfrmMapbrows::S1Click() { WebMap1->PrintSetup(); }

void TfrmMapbrows::N1Click()
{
    if (frmAddress)
        frmAddress->exec();
}

void TfrmMapbrows::N3Click()
{
    if (AboutBox)
        AboutBox->exec();
}

void TfrmMapbrows::X1Click() { close(); }

// ---- colour by -------------------------------------------------------------

QStringList TfrmMapbrows::colorByKeys()
{
    return {QString(),
            QStringLiteral("g"),
            QStringLiteral("co"),
            QStringLiteral("pf"),
            QStringLiteral("ct"),
            QStringLiteral("dp"),
            QStringLiteral("ps")};
}

void TfrmMapbrows::buildColorBy(QWidget* parent)
{
    cmbColorBy = new QComboBox(parent);
    cmbColorBy->setObjectName(QStringLiteral("cmbColorBy"));
    cmbColorBy->setToolTip(QStringLiteral("印の色分け"));
    for (const char* caption : {"なし", "グループ", "会社名", "都道府県", "市区町村", "部署", "役職"})
        cmbColorBy->addItem(QString::fromUtf8(caption));
    // The last choice comes back with the next start.
    const int saved = placementSettings().value(QStringLiteral("frmMapbrows/colorBy"), 0).toInt();
    if (saved > 0 && saved < cmbColorBy->count())
        cmbColorBy->setCurrentIndex(saved);
    connect(cmbColorBy, &QComboBox::currentIndexChanged, this, [this](int index) {
        QSettings settings = placementSettings();
        settings.setValue(QStringLiteral("frmMapbrows/colorBy"), index);
        runHandler([this] { applyColorBy(); });
    });
}

void TfrmMapbrows::applyColorBy()
{
    if (!WebMap1->hasDocument())
        return; // the page asks for it when it has loaded
    const QString key = colorByKeys().value(cmbColorBy->currentIndex());
    WebMap1->ExecScriptEx(QStringLiteral("set_color_by"), {key});
}

// ---- what the page asks of the window ------------------------------------------

void TfrmMapbrows::wirePageRequests()
{
    connect(
        m_bridge, &tessolo::app::TPageBridge::customerOpened, this,
        [this](qint64 rowid) {
            if (m_pageRows.contains(rowid))
                emit customerOpenRequested(rowid);
        },
        Qt::QueuedConnection);
    connect(
        m_bridge, &tessolo::app::TPageBridge::linkOpened, this, [](const QUrl& url) { QDesktopServices::openUrl(url); },
        Qt::QueuedConnection);
    connect(
        m_bridge, &tessolo::app::TPageBridge::visitRoundChosen, this,
        [this](bool planner, const QList<qint64>& rowids, const QList<qint64>& legs, qint64 back) {
            runHandler([&] { visitRound(planner, rowids, legs, back); });
        },
        Qt::QueuedConnection);
    // A page loaded afresh colours as the chooser says.
    connect(WebMap1, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (ok && cmbColorBy->currentIndex() > 0)
            runHandler([this] { applyColorBy(); });
    });
}

// ---- a round of visits ----------------------------------------------------------

void TfrmMapbrows::visitRound(bool planner, const QList<qint64>& rowids, const QList<qint64>& legs, qint64 returnLeg)
{
    // Legs by rowid: a customer deleted meanwhile by another program drops
    // out of the list without shifting the others' legs.
    QList<qint64> shown;
    QHash<qint64, qint64> legOf;
    for (qsizetype i = 0; i < rowids.size(); ++i) {
        if (m_pageRows.contains(rowids.at(i))) {
            shown << rowids.at(i);
            legOf.insert(rowids.at(i), legs.value(i));
        }
    }
    if (shown.isEmpty())
        throw EAbort();
    const QList<tessolo::app::VisitStop> stops = tessolo::app::visitStops(tessolo::customer::recordsOf(shown), legOf);
    const QString start = homeAddr.isEmpty() ? m_homeForPage : homeAddr;
    if (planner) {
        if (tessolo::app::offlineMode())
            throw tessolo::TessoloError(QStringLiteral("オフラインで起動しているため、経路検索サイトは開けません。"));
        int dropped = 0;
        QDesktopServices::openUrl(tessolo::app::routePlannerUrl(start, stops, returnLeg >= 0, &dropped));
        if (dropped > 0)
            statusBar()->showMessage(
                QStringLiteral("経路検索サイトに渡せる経由地は限られるため、%1 件を省きました。").arg(dropped));
        return;
    }
    QTextDocument doc;
    doc.setHtml(tessolo::app::visitListHtml(start, stops, returnLeg));
    QPrinter printer(QPrinter::HighResolution);
    if (!tessolo::printing::printerAvailable(printer)) {
        const QString file = QFileDialog::getSaveFileName(
            this, QStringLiteral("プリンターがないため 訪問リストを PDF に保存します"),
            QDir(tessolo::ui::startFolder()).filePath(QStringLiteral("訪問リスト.pdf")), QStringLiteral("PDF (*.pdf)"));
        if (file.isEmpty())
            throw EAbort();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(
            file.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ? file : file + QStringLiteral(".pdf"));
    } else {
        QPrintDialog dialog(&printer, this);
        dialog.setWindowTitle(QStringLiteral("訪問リストの印刷"));
        if (dialog.exec() != QDialog::Accepted)
            throw EAbort();
    }
    doc.print(&printer);
}

// ---- street-level positions ---------------------------------------------------

namespace {
QString streetLevelKey() { return QStringLiteral("frmMapbrows/streetLevel"); }
} // namespace

void TfrmMapbrows::buildSettingsMenu()
{
    mnuSettings = menuBar()->addMenu(QStringLiteral("設定(&O)"));
    mnuSettings->setObjectName(QStringLiteral("mnuSettings"));
    actStreetLevel = mnuSettings->addAction(QStringLiteral("番地まで位置を調べる（住所を国土地理院の住所検索へ送る）"));
    actStreetLevel->setObjectName(QStringLiteral("actStreetLevel"));
    actStreetLevel->setCheckable(true);
    actStreetLevel->setChecked(placementSettings().value(streetLevelKey(), false).toBool());
    connect(actStreetLevel, &QAction::toggled, this, [this](bool on) { runHandler([&] { setStreetLevel(on); }); });
}

void TfrmMapbrows::setStreetLevel(bool on)
{
    QSettings settings = placementSettings();
    settings.setValue(streetLevelKey(), on);
    if (on && tessolo::app::offlineMode())
        statusBar()->showMessage(
            QStringLiteral("オフラインで起動しているため、住所は送りません。以前に調べた位置だけを使います。"));
    else if (on)
        statusBar()->showMessage(
            QStringLiteral("これから印を付ける顧客の住所を、一件に一度だけ国土地理院の住所検索へ送ります。"));
    if (WebMap1->hasDocument())
        WebMap1->ExecScriptEx(QStringLiteral("set_street_level"), {on ? QStringLiteral("1") : QStringLiteral("0")});
}
