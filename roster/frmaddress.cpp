#include "roster/frmaddress.h"

#include "ui/windowstyle.h"
#include "ui/okrightdlg2.h"
#include "backup/frmbackup.h"
#include "company/frmourcompany.h"
#include "csvimport/frmcsvin.h"
#include "postal/postalcode.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"
#include "customer/customerexport.h"
#include "atena/frmatena.h"
#include "customer/customerlist.h"
#include "customer/kanafilter.h"
#include "customer/customergroups.h"
#include "customer/memofields.h"
#include "roster/groupseditor.h"
#include "data/store.h"
#include "data/transaction.h"
#include "text/kanacodes.h"
#include "roster/readingcapture.h"
#include "roster/readingsource.h"
#include "text/zenkaku.h"
#include "ui/backgroundrun.h"
#include "ui/appevents.h"
#include "ui/enternav.h"
#include "ui/errordisplay.h"
#include "ui/imemode.h"
#include "ui/kanabuttons.h"
#include "ui/memoedit.h"
#include "ui/notice.h"
#include "ui/postaledit.h"
#include "ui/postalupdatedialog.h"
#include "ui/shippedpostaloffer.h"
#include "ui/startfolder.h"
#include "ui/progress.h"
#include "ui/windowset.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QSignalBlocker>
#include <QTreeView>
#include <QUrl>

using tessolo::TSQLiteDo;
using tessolo::kDatabaseName;
using tessolo::ui::guarded;
namespace customer = tessolo::customer;
namespace fields = tessolo::fields;
namespace ui = tessolo::ui;

namespace {

QString labelOf(const char* control)
{
    return fields::byControl(customer::kFields, QLatin1String(control)).label.toString();
}

// The list's headings (their order and widths) as the user left them.
const QString kListLayoutKey = QStringLiteral("roster/listHeader");

} // namespace

TfrmAddress::TfrmAddress(QWidget* parent)
    : QDialog(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("frmAddress"), QStringLiteral("名簿一覧"), QColor(210, 234, 236));
    QFont f;
    f.setPointSize(9);
    setFont(f);
    // The size the form was laid out for is the smallest; the window grows
    // and maximises, and the list takes the room.
    m_baseSize = QSize(936, 563);
    setMinimumSize(m_baseSize);
    resize(m_baseSize);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);
    move(0, 0);

    buildMenu();
    buildFileDialogs();
    buildList();
    buildSearch();
    buildInputs();
    buildButtons();
    wire();
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        m_baseGeometry.insert(child, child->geometry());
    markStored();
    // Another PC on a shared folder, or a sqlite3 shell, may change the
    // file: the list follows every few seconds and on coming back. A server
    // announces other PCs' changes, so asking it each second costs nothing;
    // the store is chosen at start.
    m_dataWatch = std::make_unique<tessolo::customer::TDataWatch>();
    auto* watchTimer = new QTimer(this);
    connect(watchTimer, &QTimer::timeout, this, [this] { reloadIfChangedElsewhere(); });
    watchTimer->start(tessolo::store::currentIsServer() ? 1000 : 3000);
}

void TfrmAddress::changeEvent(QEvent* e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        reloadIfChangedElsewhere();
}

void TfrmAddress::reloadIfChangedElsewhere()
{
    // Also true after this program's own writes (other connections); the
    // list is then read once more, which shows the same.
    if (!isVisible() || tessolo::ui::backgroundWorkRunning())
        return;
    if (tessolo::store::currentIsServer()) {
        // Another PC's change, announced by the server; a server away just
        // now is said when the user next works with it.
        bool changed = false;
        try {
            changed = tessolo::store::current().waitForChange(0);
        } catch (const tessolo::TessoloError&) {
            return;
        }
        if (changed)
            tessolo::ui::runHandler([this] { loadList(); });
        return;
    }
    if (!m_dataWatch->changed())
        return;
    tessolo::ui::runHandler([this] { loadList(); });
}

// Below the list everything moves down as the window grows and keeps its
// size; the list and the bars across the window take the new room.
void TfrmAddress::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    const int dx = std::max(0, width() - m_baseSize.width());
    const int dy = std::max(0, height() - m_baseSize.height());
    for (auto it = m_baseGeometry.cbegin(); it != m_baseGeometry.cend(); ++it) {
        QWidget* w = it.key();
        QRect r = it.value();
        if (w == ListViewNm || w == MainMenu1 || w->objectName() == QLatin1String("Bevel1")) {
            r.setWidth(r.width() + dx);
            if (w == ListViewNm)
                r.setHeight(r.height() + dy);
        } else if (w == EditCnt || w->objectName() == QLatin1String("Lab_CNT")) {
            r.translate(dx, 0);
        } else if (w == LabFilter) {
            r.setWidth(r.width() + dx);
        } else if (r.top() >= 296) { // the form and the buttons
            r.translate(0, dy);
        }
        w->setGeometry(r);
    }
}

void TfrmAddress::buildMenu()
{
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false);
    MainMenu1->setGeometry(0, 0, width(), 22);

    QMenu* n1 = MainMenu1->addMenu(QStringLiteral("ファイル(&F)"));
    n1->setObjectName(QStringLiteral("N1"));
    U1 = n1->addAction(QStringLiteral("郵便データ更新"));
    U1->setObjectName(QStringLiteral("U1"));
    U1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    addAction(U1); // the shortcut works while the menu is closed
    QMenu* n2 = n1->addMenu(QStringLiteral("住所データ取込"));
    n2->setObjectName(QStringLiteral("N2"));
    CSV1 = n2->addAction(QStringLiteral("CSV"));
    CSV1->setObjectName(QStringLiteral("CSV1"));
    QMenu* n7 = n1->addMenu(QStringLiteral("住所データ出力"));
    n7->setObjectName(QStringLiteral("mnuExport"));
    actExportCsv = n7->addAction(QStringLiteral("CSV"));
    actExportCsv->setObjectName(QStringLiteral("actExportCsv"));
    actAtena = n1->addAction(QStringLiteral("宛名印刷"));
    actAtena->setObjectName(QStringLiteral("actAtena"));
    mnuMap = n1->addAction(QStringLiteral("地図に表示"));
    mnuMap->setObjectName(QStringLiteral("mnuMap"));
    QMenu* n8 = n1->addMenu(QStringLiteral("バックアップ"));
    n8->setObjectName(QStringLiteral("N8"));
    actRestore = n8->addAction(QStringLiteral("復元…"));
    actRestore->setObjectName(QStringLiteral("actRestore"));
    actBackupNow = n8->addAction(QStringLiteral("今すぐバックアップ"));
    actBackupNow->setObjectName(QStringLiteral("actBackupNow"));
    n8->addSeparator();
    actExportData = n8->addAction(QStringLiteral("データの書き出し…"));
    actExportData->setObjectName(QStringLiteral("actExportData"));
    actImportData = n8->addAction(QStringLiteral("データの読み込み…"));
    actImportData->setObjectName(QStringLiteral("actImportData"));
    X1 = n1->addAction(QStringLiteral("終了(&X)"));
    X1->setObjectName(QStringLiteral("X1"));
    // As in the map window: a text field claims Ctrl+X for Cut through its
    // shortcut override, so the key closes the window only from elsewhere.
    X1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    X1->setShortcutContext(Qt::WindowShortcut);
    addAction(X1);

    QMenu* e1 = MainMenu1->addMenu(QStringLiteral("設定(&E)"));
    e1->setObjectName(QStringLiteral("E1"));
    N3 = e1->addAction(QStringLiteral("自社住所情報"));
    N3->setObjectName(QStringLiteral("N3"));
}

// The import's and the export's file dialogs, Qt's own: the export's carries
// the encoding.
void TfrmAddress::buildFileDialogs()
{
    OpenTextFileDialog1 = new QFileDialog(this, QString(), tessolo::ui::startFolder());
    OpenTextFileDialog1->setObjectName(QStringLiteral("OpenTextFileDialog1"));
    OpenTextFileDialog1->setWindowTitle(QStringLiteral("ファイルを開く"));
    OpenTextFileDialog1->setNameFilter(QStringLiteral("CSV (*.csv)"));
    OpenTextFileDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenTextFileDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenTextFileDialog1->setOption(QFileDialog::DontUseNativeDialog);
    // Start in the user's documents, not wherever any Qt program's dialog was
    // last left: a dialog opened on /proc or /dev reads its special files to
    // tell their types and can hang there.
    OpenTextFileDialog1->setDirectory(tessolo::ui::startFolder());

    SaveTextFileDialog1 = new QFileDialog(this, QString(), tessolo::ui::startFolder());
    SaveTextFileDialog1->setObjectName(QStringLiteral("SaveTextFileDialog1"));
    SaveTextFileDialog1->setWindowTitle(QStringLiteral("名前を付けて保存"));
    SaveTextFileDialog1->setNameFilters({QStringLiteral("CSV (*.csv)"), QStringLiteral("Excel (*.xlsx)")});
    SaveTextFileDialog1->setDefaultSuffix(QStringLiteral("csv"));
    connect(SaveTextFileDialog1, &QFileDialog::filterSelected, this, [this](const QString& filter) {
        SaveTextFileDialog1->setDefaultSuffix(filter.contains(QStringLiteral("xlsx")) ? QStringLiteral("xlsx")
                                                                                      : QStringLiteral("csv"));
    });
    SaveTextFileDialog1->setFileMode(QFileDialog::AnyFile);
    SaveTextFileDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveTextFileDialog1->setOption(QFileDialog::DontUseNativeDialog);
    SaveTextFileDialog1->setDirectory(tessolo::ui::startFolder());
    SaveTextFileDialog1->selectFile(QStringLiteral("顧客一覧.csv"));
    // The encoding goes under the file type, where Windows' save dialog for
    // text files has it.
    EncodingBox = new QComboBox(SaveTextFileDialog1);
    EncodingBox->setObjectName(QStringLiteral("EncodingBox"));
    EncodingBox->addItems(
        {QStringLiteral("シフトJIS（Windows の表計算ソフト向け）"), QStringLiteral("UTF-8（BOM 付き）")});
    if (auto* grid = qobject_cast<QGridLayout*>(SaveTextFileDialog1->layout())) {
        const int row = grid->rowCount();
        auto* label = new QLabel(QStringLiteral("文字コード:"), SaveTextFileDialog1);
        label->setBuddy(EncodingBox);
        grid->addWidget(label, row, 0);
        grid->addWidget(EncodingBox, row, 1);
    }
}

void TfrmAddress::buildList()
{
    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::StyledPanel);
    bevel->setGeometry(6, 26, 924, 34);

    KanaButtons = new tessolo::ui::TKanaButtons(this);
    KanaButtons->setGeometry(10, 30, 740, 26);

    auto* labCnt = new QLabel(QStringLiteral("件数"), this);
    labCnt->setObjectName(QStringLiteral("Lab_CNT"));
    labCnt->setGeometry(780, 34, 40, 18);
    EditCnt = new QLineEdit(this);
    EditCnt->setObjectName(QStringLiteral("EditCnt"));
    EditCnt->setFocusPolicy(Qt::ClickFocus); // not a tab stop
    EditCnt->setGeometry(822, 31, 90, 24);
    labCnt->setBuddy(EditCnt);

    ListModel = new customer::TCustomerListModel(this);
    ListFilter = new customer::TCustomerFilter(ListModel, this);
    ListViewNm = new QTreeView(this);
    ListViewNm->setObjectName(QStringLiteral("ListViewNm"));
    ListViewNm->setGeometry(6, 92, 924, 198);
    ListViewNm->setRootIsDecorated(false);
    ListViewNm->setUniformRowHeights(true);
    ListViewNm->setItemsExpandable(false);
    ListViewNm->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewNm->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewNm->setAllColumnsShowFocus(true);
    ListViewNm->setModel(ListFilter);
    ListViewNm->setSortingEnabled(true);
    ListViewNm->header()->setSectionsClickable(true);
    ListViewNm->header()->setSectionsMovable(true);
    ListViewNm->header()->setStretchLastSection(false);
    const int widths[] = {105, 110, 180, 160, 75, 75, 90, 220, 75, 110};
    for (int i = 0; i < customer::listcol::Count; ++i)
        ListViewNm->setColumnWidth(i, widths[i]);
    ListViewNm->sortByColumn(customer::listcol::PersonKana, Qt::AscendingOrder);
    restoreListLayout();
    connect(ListViewNm->header(), &QHeaderView::sectionResized, this, [this] { saveListLayout(); });
    connect(ListViewNm->header(), &QHeaderView::sectionMoved, this, [this] { saveListLayout(); });
    connect(ListViewNm->header(), &QHeaderView::sortIndicatorChanged, this, [this] { saveListLayout(); });
}

void TfrmAddress::saveListLayout() const { QSettings().setValue(kListLayoutKey, ListViewNm->header()->saveState()); }

void TfrmAddress::restoreListLayout()
{
    const QByteArray state = QSettings().value(kListLayoutKey).toByteArray();
    if (state.isEmpty() || !ListViewNm->header()->restoreState(state))
        return;
    // A layout from an older list may lack columns: they show at the width
    // they were given.
    for (int i = 0; i < customer::listcol::Count; ++i) {
        if (ListViewNm->header()->isSectionHidden(i))
            ListViewNm->header()->showSection(i);
    }
    ListFilter->sort(ListViewNm->header()->sortIndicatorSection(), ListViewNm->header()->sortIndicatorOrder());
}

void TfrmAddress::buildSearch()
{
    EditSearch = new QLineEdit(this);
    EditSearch->setObjectName(QStringLiteral("EditSearch"));
    EditSearch->setPlaceholderText(QStringLiteral("検索: 名前・カナ・会社・住所・電話・メール"));
    EditSearch->setClearButtonEnabled(true);
    EditSearch->setGeometry(6, 64, 420, 24);
    tessolo::ui::setImeMode(EditSearch, tessolo::ui::ImeMode::Hiragana);
    GroupFilter = new TGroupFilter(this);
    GroupFilter->setGeometry(436, 64, 300, 24);
    LabFilter = new QLabel(this);
    LabFilter->setObjectName(QStringLiteral("LabFilter"));
    LabFilter->setGeometry(742, 67, 184, 18);
}

QLineEdit* TfrmAddress::addEdit(const char* name, const char* labelName, int x, int y, int w)
{
    auto* l = new QLabel(labelOf(name), this);
    l->setObjectName(QString::fromLatin1(labelName));
    l->setGeometry(x, y + 3, 120, 18);
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x + 124, y, w, 24);
    l->setBuddy(e);
    return e;
}

void TfrmAddress::buildInputs()
{
    auto* bevel2 = new QFrame(this);
    bevel2->setObjectName(QStringLiteral("Bevel2"));
    bevel2->setFrameShape(QFrame::StyledPanel);
    bevel2->setGeometry(6, 296, 924, 228);

    constexpr int top = 302, step = 27, colA = 14, colB = 330, editW = 180;
    EditName = addEdit("EditName", "Lab_name", colA, top, editW);
    EditNmKana = addEdit("EditNmKana", "Label1", colA, top + step, editW);
    EditCompany = addEdit("EditCompany", "Lab_corp", colA, top + 2 * step, editW);
    EditCokana = addEdit("EditCokana", "Label2", colA, top + 3 * step, editW);
    EditDepar = addEdit("EditDepar", "Lab_div", colA, top + 4 * step, editW);
    EditPosision = addEdit("EditPosision", "Lab_pos", colA, top + 5 * step, editW);
    EditTel = addEdit("EditTel", "Label7", colA, top + 6 * step, editW);
    EditFax = addEdit("EditFax", "Label8", colA, top + 7 * step, editW);

    auto* labPostal = new QLabel(labelOf("MaskEditPostal"), this);
    labPostal->setObjectName(QStringLiteral("Lab_postal"));
    labPostal->setGeometry(colB, top + 3, 120, 18);
    MaskEditPostal = new tessolo::ui::TPostalMaskEdit(this);
    MaskEditPostal->setObjectName(QStringLiteral("MaskEditPostal"));
    MaskEditPostal->setGeometry(colB + 124, top, 80, 24);
    labPostal->setBuddy(MaskEditPostal);
    EditPref = addEdit("EditPref", "Lab_pref", colB, top + step, editW);
    EditCity = addEdit("EditCity", "Lab_city", colB, top + 2 * step, editW);
    EditAddr = addEdit("EditAddr", "Lab_add1", colB, top + 3 * step, editW);
    EditBuild = addEdit("EditBuild", "Label3", colB, top + 4 * step, editW);
    EditEmail1 = addEdit("EditEmail1", "Label5", colB, top + 5 * step, editW);
    EditEmail2 = addEdit("EditEmail2", "Label6", colB, top + 6 * step, editW);
    EditUrl = addEdit("EditUrl", "Label9", colB, top + 7 * step, editW);

    auto* labMemo = new QLabel(labelOf("Memo1"), this);
    labMemo->setObjectName(QStringLiteral("Label4"));
    labMemo->setGeometry(650, top + 3, 60, 18);
    Memo1 = new tessolo::ui::TMemoEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(650, top + 24, 272, 188);
    Memo1->setTabChangesFocus(true);
    labMemo->setBuddy(Memo1);
    MemoFields = new TMemoFieldsBox(this, Memo1, QRect(650, top + 20, 272, 200));

    m_form.emplace(this, customer::kFields);
    m_form->applyImeModes();
}

void TfrmAddress::buildButtons()
{
    auto* bevel3 = new QFrame(this);
    bevel3->setObjectName(QStringLiteral("Bevel3"));
    bevel3->setFrameShape(QFrame::StyledPanel);
    bevel3->setGeometry(6, 528, 924, 32);
    auto makeButton = [this](const char* name, const QString& caption, int x) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, 531, 90, 26);
        return b;
    };
    btnadd = makeButton("btnadd", QStringLiteral("追加"), 540);
    btnup = makeButton("btnup", QStringLiteral("更新"), 636);
    btndel = makeButton("btndel", QStringLiteral("削除"), 732);
    btnClear = makeButton("btnClear", QStringLiteral("クリア"), 836);

    auto popup = [this](QLineEdit* field, const char* menuName, const char* itemName, const QString& caption,
                        QAction*& item) {
        auto* menu = new QMenu(field);
        menu->setObjectName(QString::fromLatin1(menuName));
        item = menu->addAction(caption);
        item->setObjectName(QString::fromLatin1(itemName));
        // The menu takes the place of the field's own context menu.
        field->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(field, &QWidget::customContextMenuRequested, menu,
                [field, menu](const QPoint& pos) { menu->popup(field->mapToGlobal(pos)); });
        return menu;
    };
    PopupMenu_mail1 = popup(EditEmail1, "PopupMenu_mail1", "N4", QStringLiteral("メールする"), N4);
    PopupMenu_mail2 = popup(EditEmail2, "PopupMenu_mail2", "N5", QStringLiteral("メールする"), N5);
    PopupMenu_url = popup(EditUrl, "PopupMenu_url", "N6", QStringLiteral("ブラウザで開く"), N6);

    // Tab order: the sixteen inputs and the memo, the four buttons, the list.
    const QList<QWidget*> chain = {EditName,  EditNmKana, EditCompany,    EditCokana, EditDepar, EditPosision,
                                   EditTel,   EditFax,    MaskEditPostal, EditPref,   EditCity,  EditAddr,
                                   EditBuild, EditEmail1, EditEmail2,     EditUrl,    Memo1,     btnadd,
                                   btnup,     btndel,     btnClear,       EditSearch, ListViewNm};
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    MemoFields->chain(Memo1, btnadd);
}

void TfrmAddress::wire()
{
    connect(KanaButtons, &tessolo::ui::TKanaButtons::kanaChosen, this, [this](int code) {
        tessolo::ui::runHandler([&] {
            // 全表示 shows everyone: the search goes with the kana filter.
            if (code == 0) {
                const QSignalBlocker quiet(EditSearch);
                EditSearch->clear();
                ListFilter->setSearch(QString());
            }
            listByKana(code);
        });
    });
    connect(EditSearch, &QLineEdit::textChanged, this, guarded([this] {
                ListFilter->setSearch(EditSearch->text());
                showFilter();
            }));
    connect(GroupFilter, &TGroupFilter::filterChanged, this, guarded([this] { applyGroupFilter(); }));
    connect(GroupFilter, &TGroupFilter::addRequested, this,
            [this](const QString& g) { tessolo::ui::runHandler([&] { groupsChosen(g, true); }); });
    connect(GroupFilter, &TGroupFilter::removeRequested, this,
            [this](const QString& g) { tessolo::ui::runHandler([&] { groupsChosen(g, false); }); });
    connect(btnadd, &QPushButton::clicked, this, guarded([this] { btnaddClick(); }));
    connect(btnup, &QPushButton::clicked, this, guarded([this] { btnupClick(); }));
    connect(btndel, &QPushButton::clicked, this, guarded([this] { btndelClick(); }));
    connect(btnClear, &QPushButton::clicked, this, guarded([this] { btnClearClick(); }));
    connect(ListViewNm, &QTreeView::clicked, this, guarded([this] { ListViewNmClick(); }));
    connect(N4, &QAction::triggered, this, guarded([this] { N4Click(); }));
    connect(N5, &QAction::triggered, this, guarded([this] { N5Click(); }));
    connect(N6, &QAction::triggered, this, guarded([this] { N6Click(); }));
    connect(N3, &QAction::triggered, this, guarded([this] { N3Click(); }));
    connect(CSV1, &QAction::triggered, this, guarded([this] { CSV1Click(); }));
    connect(actExportCsv, &QAction::triggered, this, guarded([this] { CSV2Click(); }));
    connect(actAtena, &QAction::triggered, this, guarded([this] { mnuAtenaClick(); }));
    connect(mnuMap, &QAction::triggered, this, guarded([this] { mnuMapClick(); }));
    connect(U1, &QAction::triggered, this, [this] { U1Click(); });
    connect(actRestore, &QAction::triggered, this, guarded([this] { R1Click(); }));
    connect(actBackupNow, &QAction::triggered, this, guarded([this] {
                tessolo::store::requireFile(QStringLiteral("今すぐバックアップ"));
                tessolo::backupui::backupNow(this);
            }));
    connect(actExportData, &QAction::triggered, this, guarded([this] { tessolo::backupui::exportData(this); }));
    connect(actImportData, &QAction::triggered, this, guarded([this] { L1Click(); }));
    connect(X1, &QAction::triggered, this, [this] { close(); });
    connect(MaskEditPostal, &tessolo::ui::TPostalMaskEdit::exited, this, guarded([this] {
                tessolo::ui::MaskEditPostalExit(MaskEditPostal, EditPref, EditCity, EditAddr);
                completeCompany();
            }));
    connect(EditName, &QLineEdit::textChanged, this, guarded([this] { EditNameChange(); }));
    connect(EditCompany, &QLineEdit::textChanged, this, guarded([this] { EditCompanyChange(); }));

    // FormCreate: the reading capture on the two name fields.
    auto* nameReadings = tessolo::roster::TReadingSource::create(EditName);
    connect(nameReadings, &tessolo::roster::TReadingSource::readingCommitted, this,
            [this](const QString& r) { appendReading(EditNmKana, r); });
    auto* companyReadings = tessolo::roster::TReadingSource::create(EditCompany);
    connect(companyReadings, &tessolo::roster::TReadingSource::readingCommitted, this,
            [this](const QString& r) { appendReading(EditCokana, r); });
    // The double clicks on the name fields, and the menu shortcut over the
    // edit fields' own use of Ctrl+U (delete the line, on X11).
    for (QLineEdit* e : findChildren<QLineEdit*>())
        e->installEventFilter(this);

    // Key preview: Enter moves along the tab chain, except in the memo.
    new tessolo::ui::TEnterNavigator(this, {Memo1});
}

bool TfrmAddress::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (QKeySequence(key->keyCombination()) == U1->shortcut()) {
            e->ignore(); // not for the field: the menu takes it
            return true;
        }
    }
    if (e->type() == QEvent::MouseButtonDblClick) {
        if (watched == EditName)
            tessolo::ui::runHandler([this] { EditNameDblClick(); });
        else if (watched == EditCompany)
            tessolo::ui::runHandler([this] { EditCompanyDblClick(); });
    }
    return QDialog::eventFilter(watched, e);
}

void TfrmAddress::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        tessolo::ui::runHandler([this] { FormShow(); });
}

void TfrmAddress::keyPressEvent(QKeyEvent* e)
{
    // The window has no cancel button: Escape does not close it, it shows
    // the whole list again (the search and the kana row both cleared).
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        tessolo::ui::runHandler([this] { showEveryone(); });
        return;
    }
    QDialog::keyPressEvent(e);
}

void TfrmAddress::FormShow()
{
    strRow.clear();
    loadList();
    if (m_pendingCustomer >= 0) {
        const qint64 rowid = std::exchange(m_pendingCustomer, -1);
        QMetaObject::invokeMethod(
            this, [this, rowid] { tessolo::ui::runHandler([&] { showCustomer(rowid); }); }, Qt::QueuedConnection);
    }
    // Once the window stands, so that the question is asked over the roster.
    QMetaObject::invokeMethod(
        this, [this] { tessolo::ui::runHandler([this] { tessolo::ui::offerShippedPostalList(this); }); },
        Qt::QueuedConnection);
}

void TfrmAddress::showCustomer(qint64 rowid)
{
    if (!isVisible()) {
        m_pendingCustomer = rowid;
        exec();
        return;
    }
    if (ListModel->rowOf(rowid) < 0)
        loadList();
    if (ListModel->rowOf(rowid) < 0)
        throw tessolo::TessoloError(QStringLiteral("この顧客は名簿にありません。削除されたかもしれません。"));
    if (!ListFilter->accepts(rowid))
        showEveryone();
    chooseRow(rowid);
    // What the user is typing is not thrown away for a customer chosen on
    // the map: the list shows it, and a click loads it.
    if (!hasUnsavedChanges())
        loadCustomer(rowid);
}

void TfrmAddress::loadList()
{
    const QList<qint64> chosen = selectedRowids();
    const qint64 current =
        ListViewNm->currentIndex().isValid() ? ListFilter->rowidAt(ListViewNm->currentIndex().row()) : -1;
    {
        try {
            if (tessolo::store::currentIsServer()) {
                QList<std::pair<qint64, customer::Record>> rows;
                for (const tessolo::store::CustomerRow& r : tessolo::store::current().customers())
                    rows.append({r.key, r.values});
                ListModel->load(rows);
            } else {
                TSQLiteDo db;
                ListModel->load(db.getDBpoint(kDatabaseName));
            }
        } catch (...) {
            ListModel->clear(); // a failing read leaves the list empty, not stale
            showFilter();
            throw;
        }
    }
    // The rows chosen before stay chosen where they are still listed.
    QItemSelection selection;
    for (qint64 id : chosen) {
        const int row = ListFilter->rowOf(id);
        if (row >= 0)
            selection.select(ListFilter->index(row, 0), ListFilter->index(row, customer::listcol::Count - 1));
    }
    ListViewNm->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (const int row = ListFilter->rowOf(current); row >= 0)
        ListViewNm->selectionModel()->setCurrentIndex(ListFilter->index(row, 0), QItemSelectionModel::NoUpdate);
    const QStringList groups = groupsListed();
    GroupFilter->setGroups(groups);
    MemoFields->EditGroups->setGroupsInUse(groups);
    showFilter();
}

// The groups in use: read from the file, or from the rows a server gave.
QStringList TfrmAddress::groupsListed() const
{
    if (!tessolo::store::currentIsServer())
        return tessolo::customer::groupsInUse();
    QStringList out;
    for (int row = 0; row < ListModel->rowCount(); ++row) {
        for (const QString& g :
             tessolo::customer::memo::parse(ListModel->at(row).value(customer::col::Memo).toString()).groups) {
            if (!out.contains(g))
                out << g;
        }
    }
    return out;
}

void TfrmAddress::showEveryone()
{
    const QSignalBlocker quiet(EditSearch);
    EditSearch->clear();
    ListFilter->setSearch(QString());
    listByKana(0);
}

void TfrmAddress::listByKana(int kanaCode)
{
    ListFilter->setKanaCode(kanaCode);
    KanaButtons->setCurrent(ListFilter->kanaCode());
    showFilter();
}

// The count with what narrows it: "カ行・「工務店」 12 件".
void TfrmAddress::showFilter()
{
    const int shown = ListFilter->rowCount();
    EditCnt->setText(QString::number(shown));
    QStringList applies;
    if (ListFilter->kanaCode() > 0)
        applies << tessolo::kana::codes()[size_t(ListFilter->kanaCode())].caption;
    if (!ListFilter->search().trimmed().isEmpty())
        applies << QStringLiteral("「%1」").arg(ListFilter->search().trimmed());
    const QString count = QStringLiteral("%1 件").arg(shown);
    LabFilter->setText(applies.isEmpty() ? QStringLiteral("全表示 ") + count
                                         : applies.join(QStringLiteral("・")) + QLatin1Char(' ') + count);
}

QList<qint64> TfrmAddress::shownRowids() const { return ListFilter->rowids(); }

QList<qint64> TfrmAddress::selectedRowids() const
{
    QList<int> rows;
    for (const QModelIndex& i : ListViewNm->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    QList<qint64> out;
    out.reserve(rows.size());
    for (int r : rows)
        out << ListFilter->rowidAt(r);
    return out;
}

QList<qint64> TfrmAddress::chosenRowids() const
{
    const QList<qint64> selected = selectedRowids();
    return selected.isEmpty() ? shownRowids() : selected;
}

void TfrmAddress::chooseRow(qint64 rowid)
{
    const int row = ListFilter->rowOf(rowid);
    if (row < 0)
        return;
    const QModelIndex index = ListFilter->index(row, 0);
    ListViewNm->selectionModel()->setCurrentIndex(index,
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ListViewNm->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

bool TfrmAddress::hasUnsavedChanges() const { return m_form->values() != m_stored; }

void TfrmAddress::markStored() { m_stored = m_form->values(); }

void TfrmAddress::btnaddClick()
{
    if (!loadedFields.isEmpty() && m_form->values() == loadedFields &&
        (!OKRightDlg2 || !OKRightDlg2->ask(kDuplicateQuestion)))
        throw tessolo::EAbort();
    qint64 added = -1;
    if (tessolo::store::currentIsServer()) {
        added = tessolo::store::current().insertCustomer(ui::toRecord<customer::Record>(m_form->storable())).key;
    } else {
        TSQLiteDo db;
        db.setDBpoint(kDatabaseName);
        db.exec_sql(customer::insertSql(ui::toRecord<customer::Record>(m_form->storable())));
        const auto t = db.query(QStringLiteral("select last_insert_rowid() as id"));
        t->MoveFirst();
        added = t->NamedFieldAsString(QStringLiteral("id")).toLongLong();
    }
    // Pressing 追加 again with these fields would store a second copy.
    loadedFields = m_form->values();
    markStored();
    loadList();
    // The new customer is shown chosen, even where the search or the kana
    // row would hide it.
    if (!ListFilter->accepts(added))
        showEveryone();
    chooseRow(added);
}

void TfrmAddress::btnupClick()
{
    // Without a loaded customer there is no row to update.
    if (strRow.isEmpty())
        throw tessolo::EAbort();
    const QStringList stored = m_form->storable();
    const auto record = ui::toRecord<customer::Record>(stored);
    // Changed or deleted elsewhere: the error leaves the form as typed.
    if (m_serverRow)
        m_serverRow = tessolo::store::current().updateCustomer(*m_serverRow, record);
    else
        customer::runIfUnchanged(customer::updateIfUnchangedSql(record, loadedRow, strRow));
    loadedRow = record;
    loadedFields = m_form->values();
    markStored();
    loadList();
}

// Deletes the chosen rows (or, with none chosen, the loaded customer) after
// one question naming the first of them.
void TfrmAddress::btndelClick()
{
    QList<qint64> rowids = selectedRowids();
    if (rowids.isEmpty() && !strRow.isEmpty())
        rowids << strRow.toLongLong();
    if (rowids.isEmpty())
        throw tessolo::EAbort();
    QString name;
    if (const int row = ListModel->rowOf(rowids.first()); row >= 0) {
        const customer::ListRow& listed = ListModel->at(row);
        name = listed.shown(customer::listcol::PersonName);
        if (name.isEmpty())
            name = listed.shown(customer::listcol::CompanyName);
    }
    if (name.isEmpty())
        name = QStringLiteral("名前のない顧客");
    const QString question = rowids.size() == 1
        ? QStringLiteral("%1を削除しますか？").arg(name)
        : QStringLiteral("%1 ほか %2 件を削除しますか？").arg(name).arg(rowids.size() - 1);
    if (!OKRightDlg2 || !OKRightDlg2->ask(question))
        throw tessolo::EAbort();
    if (rowids.size() == 1 && QString::number(rowids.first()) == strRow) {
        // The customer in the form: deleted only while it still holds what
        // was loaded, so that one another program changed (or a new one that
        // took its rowid) is never lost.
        if (m_serverRow)
            tessolo::store::current().deleteCustomer(*m_serverRow);
        else
            customer::runIfUnchanged(customer::deleteIfUnchangedSql(loadedRow, strRow));
    } else {
        // All of them or none: a failure half way leaves every row stored.
        tessolo::store::current().deleteCustomers(rowids);
    }
    ListViewNm->selectionModel()->clearSelection();
    loadList();
    btnClearClick();
}

void TfrmAddress::btnClearClick()
{
    ListViewNm->selectionModel()->clearSelection();
    m_form->clear();
    strRow.clear();
    loadedFields.clear();
    m_serverRow.reset();
    markStored();
}

// A click loads the customer clicked, when the click left it chosen.
void TfrmAddress::ListViewNmClick()
{
    const QModelIndex current = ListViewNm->currentIndex();
    if (!current.isValid() || !ListViewNm->selectionModel()->isRowSelected(current.row(), {}))
        return;
    loadCustomer(ListFilter->rowidAt(current.row()));
}

void TfrmAddress::loadCustomer(qint64 rowid)
{
    if (tessolo::store::currentIsServer()) {
        const std::optional<tessolo::store::CustomerRow> row = tessolo::store::current().customer(rowid);
        if (!row)
            return;
        strRow = QString::number(rowid);
        m_form->loadValues(QStringList(row->values.cbegin(), row->values.cend()));
        loadedFields = m_form->values();
        loadedRow = row->values;
        m_serverRow = row;
        markStored();
        return;
    }
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto t = db.query(customer::selectOneSql(QString::number(rowid)));
    for (t->MoveFirst(); !t->Eof(); t->Next()) {
        strRow = QString::number(rowid);
        m_form->load(*t);
        loadedFields = m_form->values();
        loadedRow = customer::recordOf(*t);
        markStored();
    }
    db.closeDBpoint();
}

void TfrmAddress::closeEvent(QCloseEvent* e)
{
    bool leave = false;
    tessolo::ui::runHandler([&] { leave = settleUnsaved(); });
    if (!leave) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

bool TfrmAddress::settleUnsaved()
{
    if (!hasUnsavedChanges())
        return true;
    QMessageBox box(QMessageBox::Question, windowTitle(),
                    strRow.isEmpty() ? QStringLiteral("入力した顧客はまだ登録されていません。登録しますか？")
                                     : QStringLiteral("顧客の変更はまだ保存されていません。更新しますか？"),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("UnsavedQuestion"));
    QPushButton* store = box.addButton(QStringLiteral("更新"), QMessageBox::AcceptRole);
    store->setObjectName(QStringLiteral("btnStore"));
    QPushButton* discard = box.addButton(QStringLiteral("破棄"), QMessageBox::DestructiveRole);
    discard->setObjectName(QStringLiteral("btnDiscard"));
    QPushButton* stay = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    stay->setObjectName(QStringLiteral("btnStay"));
    box.setDefaultButton(store);
    box.setEscapeButton(stay);
    box.exec();
    if (box.clickedButton() == discard) {
        btnClearClick();
        return true;
    }
    if (box.clickedButton() != store)
        return false;
    // A store that fails or is declined keeps the window open on the fields.
    if (strRow.isEmpty())
        btnaddClick();
    else
        btnupClick();
    return true;
}

// A business's own postal code names the business: its name goes into an
// empty 会社名, and its reading, widened as readings are, into an empty
// 会社名（カナ）. What the user typed is never replaced.
void TfrmAddress::completeCompany()
{
    if (!EditCompany->text().isEmpty())
        return;
    const auto business = tessolo::store::current().postalBusiness(tessolo::postal::toStored(MaskEditPostal->text()));
    if (!business)
        return;
    EditCompany->setText(business->name);
    if (EditCokana->text().isEmpty())
        EditCokana->setText(tessolo::TCnvk2K().ToZenkaku(business->reading.trimmed()));
}

void TfrmAddress::shellOpen(const QString& address)
{
    if (ui::TAppEvents::isListened(&ui::TAppEvents::openRequested)) {
        emit ui::TAppEvents::current()->openRequested(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void TfrmAddress::N4Click() { shellOpen(tessolo::customer::mailtoUrl(EditEmail1->text())); }
void TfrmAddress::N5Click() { shellOpen(tessolo::customer::mailtoUrl(EditEmail2->text())); }
void TfrmAddress::N6Click() { shellOpen(QStringLiteral("http://") + EditUrl->text()); }

void TfrmAddress::N3Click()
{
    if (frmOurcompany)
        frmOurcompany->exec();
}

void TfrmAddress::CSV1Click()
{
    // Customer lists also come as Excel workbooks; the postal list does not.
    OpenTextFileDialog1->setNameFilter(QStringLiteral("CSV・Excel (*.csv *.xlsx)"));
    const int answer = OpenTextFileDialog1->exec();
    OpenTextFileDialog1->setNameFilter(QStringLiteral("CSV (*.csv)"));
    if (answer != QDialog::Accepted || OpenTextFileDialog1->selectedFiles().isEmpty())
        throw tessolo::EAbort();
    const QString file = OpenTextFileDialog1->selectedFiles().constFirst();
    if (frmCsvin) {
        frmCsvin->setCsvFile(file);
        frmCsvin->exec();
    }
    loadList();
}

// The chosen customers, else those the list shows, in its order, to a CSV file.
void TfrmAddress::CSV2Click() { exportCustomers(chosenRowids()); }

void TfrmAddress::exportCustomers(const QList<qint64>& rowids)
{
    if (SaveTextFileDialog1->exec() != QDialog::Accepted || SaveTextFileDialog1->selectedFiles().isEmpty())
        throw tessolo::EAbort();
    const QString file = SaveTextFileDialog1->selectedFiles().constFirst();
    namespace ex = tessolo::customerexport;
    const ex::Encoding encoding =
        ex::encodingFor(file, EncodingBox->currentIndex() == 1 ? ex::Encoding::Utf8Bom : ex::Encoding::Cp932);
    ex::Result result;
    {
        tessolo::ui::TBusyProgress progress(this, QStringLiteral("顧客データを書き出しています…"));
        result = ex::write(file, rowids, encoding, progress.callback());
    }
    tessolo::ui::showNotice(this, ex::summary(result, encoding));
}

// The chosen customers, else those the list shows, in its order, on
// postcards or labels.
void TfrmAddress::mnuAtenaClick()
{
    if (!frmAtena)
        throw tessolo::EAbort();
    frmAtena->setCustomers(chosenRowids());
    frmAtena->exec();
    if (frmAtena->openRowid > 0)
        showCustomer(frmAtena->openRowid);
}

// The group filter above the list, as one more condition of the list's.
void TfrmAddress::applyGroupFilter()
{
    const tessolo::customer::memo::GroupFilter group = GroupFilter->filter();
    ListFilter->setTest(
        QStringLiteral("group"),
        group.kind == tessolo::customer::memo::GroupFilter::All
            ? customer::TCustomerFilter::RowTest()
            : [group](const customer::TCustomerListModel& model, int row) {
                  return group.accepts(model.at(row).value(customer::col::Memo).toString());
              });
    showFilter();
}

// The group given to, or taken from, the customers chosen in the list; the
// list is read again and keeps its filters.
void TfrmAddress::groupsChosen(const QString& group, bool add)
{
    const QList<qint64> rowids = selectedRowids();
    if (rowids.isEmpty())
        throw tessolo::TessoloError(QStringLiteral("一覧で顧客を選んでください。"));
    tessolo::customer::applyGroups(rowids, add ? QStringList{group} : QStringList(),
                                   add ? QStringList() : QStringList{group});
    loadList();
    if (!strRow.isEmpty() && rowids.contains(strRow.toLongLong()) && !hasUnsavedChanges())
        loadCustomer(strRow.toLongLong());
}

// The chosen customers (else those shown) go to the map, which lies behind
// this window: the roster closes first, as leaving it any other way would.
void TfrmAddress::mnuMapClick()
{
    const QList<qint64> rowids = chosenRowids();
    if (rowids.isEmpty())
        throw tessolo::EAbort();
    if (!close())
        throw tessolo::EAbort();
    emit showOnMap(rowids);
}

// A restored copy replaces every customer: the list shows them at once and
// the loaded customer is forgotten (its rowid may name another now).
void TfrmAddress::R1Click()
{
    tessolo::store::requireFile(QStringLiteral("復元"));
    TfrmBackup window(this);
    window.exec();
    if (window.restored()) {
        btnClearClick();
        loadList();
    }
}

void TfrmAddress::L1Click()
{
    if (tessolo::backupui::importData(this)) {
        btnClearClick();
        loadList();
    }
}

// Postal data update: the update, its progress and its messages belong to
// the postal update dialog; the roster only lends it the file dialog.
void TfrmAddress::U1Click() { tessolo::ui::runPostalUpdate(this, OpenTextFileDialog1); }

void TfrmAddress::EditNameChange()
{
    if (EditName->text().isEmpty())
        EditNmKana->clear();
}

void TfrmAddress::EditNameDblClick()
{
    EditName->clear();
    EditNmKana->clear();
}

void TfrmAddress::EditCompanyChange()
{
    if (EditCompany->text().isEmpty())
        EditCokana->clear();
}

void TfrmAddress::EditCompanyDblClick()
{
    EditCompany->clear();
    EditCokana->clear();
}

void TfrmAddress::appendReading(QLineEdit* readingField, const QString& reading)
{
    readingField->setText(readingField->text() + tessolo::roster::readingForField(reading));
}
