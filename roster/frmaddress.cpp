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
#include "customer/kanafilter.h"
#include "roster/readingcapture.h"
#include "roster/readingsource.h"
#include "text/zenkaku.h"
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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QUrl>

using tessolo::TSQLiteDo;
using tessolo::kDatabaseName;
using tessolo::ui::guarded;
namespace customer = tessolo::customer;
namespace fields = tessolo::fields;
namespace ui = tessolo::ui;

namespace {

TfrmAddress::ShellOpenFn& shellHook()
{
    static TfrmAddress::ShellOpenFn hook;
    return hook;
}

QString labelOf(const char* control)
{
    return fields::byControl(customer::kFields, QLatin1String(control)).label.toString();
}

// The columns the list shows, the rowid last.
QStringList listColumns()
{
    QStringList cols;
    for (QStringView c : customer::kListed)
        cols << c.toString();
    return cols << QStringLiteral("rowid");
}

} // namespace

TfrmAddress::TfrmAddress(QWidget* parent)
    : QDialog(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("frmAddress"), QStringLiteral("名簿一覧"), QColor(210, 234, 236));
    QFont f;
    f.setPointSize(9);
    setFont(f);
    setFixedSize(936, 563);
    move(0, 0);

    buildMenu();
    buildList();
    buildSearch();
    buildInputs();
    buildButtons();
    wire();
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
    n7->setObjectName(QStringLiteral("N7"));
    CSV2 = n7->addAction(QStringLiteral("CSV"));
    CSV2->setObjectName(QStringLiteral("CSV2"));
    mnuAtena = n1->addAction(QStringLiteral("宛名印刷"));
    mnuAtena->setObjectName(QStringLiteral("mnuAtena"));
    QMenu* n8 = n1->addMenu(QStringLiteral("バックアップ"));
    n8->setObjectName(QStringLiteral("N8"));
    R1 = n8->addAction(QStringLiteral("復元…"));
    R1->setObjectName(QStringLiteral("R1"));
    B1 = n8->addAction(QStringLiteral("今すぐバックアップ"));
    B1->setObjectName(QStringLiteral("B1"));
    n8->addSeparator();
    W1 = n8->addAction(QStringLiteral("データの書き出し…"));
    W1->setObjectName(QStringLiteral("W1"));
    L1 = n8->addAction(QStringLiteral("データの読み込み…"));
    L1->setObjectName(QStringLiteral("L1"));
    X1 = n1->addAction(QStringLiteral("終了(&X)"));
    X1->setObjectName(QStringLiteral("X1"));

    QMenu* e1 = MainMenu1->addMenu(QStringLiteral("設定(&E)"));
    e1->setObjectName(QStringLiteral("E1"));
    N3 = e1->addAction(QStringLiteral("自社住所情報"));
    N3->setObjectName(QStringLiteral("N3"));

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
    SaveTextFileDialog1->setNameFilter(QStringLiteral("CSV (*.csv)"));
    SaveTextFileDialog1->setDefaultSuffix(QStringLiteral("csv"));
    SaveTextFileDialog1->setFileMode(QFileDialog::AnyFile);
    SaveTextFileDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveTextFileDialog1->setOption(QFileDialog::DontUseNativeDialog);
    SaveTextFileDialog1->setDirectory(tessolo::ui::startFolder());
    SaveTextFileDialog1->selectFile(QStringLiteral("顧客一覧.csv"));
    // The encoding goes under the file type, where Windows' save dialog for
    // text files has it.
    EncodingBox = new QComboBox(SaveTextFileDialog1);
    EncodingBox->setObjectName(QStringLiteral("EncodingBox"));
    EncodingBox->addItems({QStringLiteral("シフトJIS（Windows の表計算ソフト向け）"), QStringLiteral("UTF-8（BOM 付き）")});
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

    ListViewNm = new QTreeWidget(this);
    ListViewNm->setObjectName(QStringLiteral("ListViewNm"));
    ListViewNm->setGeometry(6, 92, 924, 198);
    ListViewNm->setRootIsDecorated(false);
    ListViewNm->setUniformRowHeights(true);
    ListViewNm->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewNm->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewNm->setSortingEnabled(false);
    ListViewNm->setAllColumnsShowFocus(true);
    QStringList headings;
    for (QStringView c : customer::kListed)
        headings << fields::byColumn(customer::kFields, c).heading.toString();
    ListViewNm->setHeaderLabels(headings << QStringLiteral("row_id"));
    ListViewNm->header()->setSectionsClickable(false);
    ListViewNm->header()->setStretchLastSection(false);
    const int widths[] = {105, 110, 180, 160, 75, 75, 90, 50};
    for (int i = 0; i < 8; ++i)
        ListViewNm->setColumnWidth(i, widths[i]);
}

void TfrmAddress::buildSearch()
{
    EditSearch = new QLineEdit(this);
    EditSearch->setObjectName(QStringLiteral("EditSearch"));
    EditSearch->setPlaceholderText(QStringLiteral("検索: 名前・カナ・会社・住所・電話・メール"));
    EditSearch->setClearButtonEnabled(true);
    EditSearch->setGeometry(6, 64, 420, 24);
    tessolo::ui::setImeMode(EditSearch, tessolo::ui::ImeMode::Hiragana);
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
    const QList<QWidget*> chain = {EditName,   EditNmKana, EditCompany, EditCokana, EditDepar, EditPosision,
                                   EditTel,    EditFax,    MaskEditPostal, EditPref, EditCity, EditAddr,
                                   EditBuild,  EditEmail1, EditEmail2, EditUrl,   Memo1,    btnadd,
                                   btnup,      btndel,     btnClear,   EditSearch, ListViewNm};
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

void TfrmAddress::wire()
{
    connect(KanaButtons, &tessolo::ui::TKanaButtons::kanaChosen, this,
            [this](int code) {
                tessolo::ui::runHandler([&] {
                    // 全表示 shows everyone: the search goes with the kana filter.
                    if (code == 0) {
                        const QSignalBlocker quiet(EditSearch);
                        EditSearch->clear();
                    }
                    listByKana(code);
                });
            });
    connect(EditSearch, &QLineEdit::textChanged, this, guarded([this] { showListed(); }));
    connect(btnadd, &QPushButton::clicked, this, guarded([this] { btnaddClick(); }));
    connect(btnup, &QPushButton::clicked, this, guarded([this] { btnupClick(); }));
    connect(btndel, &QPushButton::clicked, this, guarded([this] { btndelClick(); }));
    connect(btnClear, &QPushButton::clicked, this, guarded([this] { btnClearClick(); }));
    connect(ListViewNm, &QTreeWidget::itemClicked, this, guarded([this] { ListViewNmClick(); }));
    connect(N4, &QAction::triggered, this, guarded([this] { N4Click(); }));
    connect(N5, &QAction::triggered, this, guarded([this] { N5Click(); }));
    connect(N6, &QAction::triggered, this, guarded([this] { N6Click(); }));
    connect(N3, &QAction::triggered, this, guarded([this] { N3Click(); }));
    connect(CSV1, &QAction::triggered, this, guarded([this] { CSV1Click(); }));
    connect(CSV2, &QAction::triggered, this, guarded([this] { CSV2Click(); }));
    connect(mnuAtena, &QAction::triggered, this, guarded([this] { mnuAtenaClick(); }));
    connect(U1, &QAction::triggered, this, [this] { U1Click(); });
    connect(R1, &QAction::triggered, this, guarded([this] { R1Click(); }));
    connect(B1, &QAction::triggered, this, guarded([this] {
        tessolo::store::requireFile(QStringLiteral("今すぐバックアップ"));
        tessolo::backupui::backupNow(this);
    }));
    connect(W1, &QAction::triggered, this, guarded([this] { tessolo::backupui::exportData(this); }));
    connect(L1, &QAction::triggered, this, guarded([this] { L1Click(); }));
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
    // The window has no cancel button: Escape does not close it, it only
    // clears the search.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        if (!EditSearch->text().isEmpty())
            EditSearch->clear();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TfrmAddress::FormShow()
{
    strRow.clear();
    m_loadedRow.reset();
    watchStoreChanges();
    loadList();
    // Once the window stands, so that the question is asked over the roster.
    QMetaObject::invokeMethod(
        this, [this] { tessolo::ui::runHandler([this] { tessolo::ui::offerShippedPostalList(this); }); },
        Qt::QueuedConnection);
}

void TfrmAddress::loadList()
{
    m_kanaCode = 0;
    readList(tessolo::customer::kListSql);
}

void TfrmAddress::listByKana(int kanaCode)
{
    m_kanaCode = kanaCode;
    readList(tessolo::kana::queryText(kanaCode));
}

// The server's roster is read whole, ordered as the file orders it, and the
// kana row is chosen here.
void TfrmAddress::readStoreList()
{
    const QStringList shown = listColumns(); // the rowid last
    QList<int> at;
    for (const QString& c : shown)
        at << tessolo::fields::indexOf(tessolo::customer::kFields, c);
    for (const auto& row : tessolo::store::current().customers()) {
        if (!tessolo::kana::inKanaRow(m_kanaCode, row.values[tessolo::customer::col::PersonKana]))
            continue;
        QStringList values;
        values.reserve(shown.size());
        for (const int i : at)
            values << (i < 0 ? QString::number(row.key) : row.values[size_t(i)]);
        m_listed.push_back({values, tessolo::customersearch::keyOf(row.values)});
    }
}

// Another PC's change shows here within half a second or so.
void TfrmAddress::watchStoreChanges()
{
    if (m_changeWatch || !tessolo::store::currentIsServer())
        return;
    // Listening starts now: a change made before the first tick counts.
    tessolo::store::current().waitForChange(0);
    m_changeWatch = new QTimer(this);
    m_changeWatch->setInterval(500);
    connect(m_changeWatch, &QTimer::timeout, this, [this] {
        if (!isVisible())
            return;
        try {
            if (tessolo::store::current().waitForChange(0))
                readList(m_readSQL);
        } catch (const tessolo::TessoloError&) {
            // The server is away: said when the user next works with it.
        }
    });
    m_changeWatch->start();
}

// Reads the customers a query selects, each with its eight list values and
// its search key, then shows those the search lets through.
void TfrmAddress::readList(const QString& sql)
{
    m_listed.clear();
    m_readSQL = sql;
    {
        ListViewNm->clear(); // a failing query leaves the list empty, not stale
        if (tessolo::store::currentIsServer()) {
            readStoreList();
            showListed();
            return;
        }
        TSQLiteDo db;
        db.getDBpoint(kDatabaseName);
        const auto table = db.query(sql);
        m_listed.reserve(table->RowCount());
        const QStringList shown = listColumns(); // the rowid last
        for (table->MoveFirst(); !table->Eof(); table->Next()) {
            tessolo::customer::Record r;
            for (int c = 0; c < tessolo::customer::kColumnCount; ++c)
                r[size_t(c)] = table->NamedFieldAsString(tessolo::customer::kColumns[size_t(c)]);
            QStringList values;
            values.reserve(shown.size());
            for (const QString& c : shown)
                values << table->NamedFieldAsString(c);
            m_listed.push_back({values, tessolo::customersearch::keyOf(r)});
        }
        db.closeDBpoint();
    }
    showListed();
}

// Items are built first and added at once, so that a list of thousands is
// laid out once, not once per row.
void TfrmAddress::showListed()
{
    const tessolo::customersearch::Query search(EditSearch->text());
    QList<QTreeWidgetItem*> items;
    QStringList rowids;
    for (const Listed& l : m_listed) {
        if (!search.matches(l.key))
            continue;
        items << new QTreeWidgetItem(l.values);
        rowids << l.values.constLast();
    }
    ListViewNm->setUpdatesEnabled(false);
    ListViewNm->clear();
    ListViewNm->addTopLevelItems(items);
    ListViewNm->setUpdatesEnabled(true);
    EditCnt->setText(QString::number(items.size()));
    strListSQL = search.isEmpty() ? m_readSQL : tessolo::customersearch::listSqlFor(rowids);
}

void TfrmAddress::btnaddClick()
{
    if (!loadedFields.isEmpty() && m_form->values() == loadedFields
        && (!OKRightDlg2 || !OKRightDlg2->ask(kDuplicateQuestion)))
        throw tessolo::EAbort();
    if (tessolo::store::currentIsServer())
        tessolo::store::current().insertCustomer(ui::toRecord<customer::Record>(m_form->storable()));
    else
        TSQLiteDo::execute(customer::insertSql(ui::toRecord<customer::Record>(m_form->storable())));
    loadList();
}

void TfrmAddress::btnupClick()
{
    // Without a loaded customer there is no row to update.
    if (strRow.isEmpty())
        throw tessolo::EAbort();
    const QStringList stored = m_form->storable();
    if (tessolo::store::currentIsServer()) {
        // Refused with nothing written when another PC changed or deleted
        // the customer since it was loaded; the fields keep what was typed.
        if (!m_loadedRow)
            throw tessolo::EAbort();
        m_loadedRow = tessolo::store::current().updateCustomer(*m_loadedRow, ui::toRecord<customer::Record>(stored));
    } else {
        TSQLiteDo::execute(customer::updateSql(ui::toRecord<customer::Record>(stored), strRow));
    }
    loadedFields = m_form->values();
    loadList();
}

void TfrmAddress::btndelClick()
{
    if (!OKRightDlg2 || !OKRightDlg2->ask(QStringLiteral("削除しますか？")))
        throw tessolo::EAbort();
    if (strRow.isEmpty())
        throw tessolo::EAbort();
    if (tessolo::store::currentIsServer()) {
        if (!m_loadedRow)
            throw tessolo::EAbort();
        tessolo::store::current().deleteCustomer(*m_loadedRow);
    } else {
        TSQLiteDo::execute(customer::deleteSql(strRow));
    }
    loadList();
    btnClearClick();
}

void TfrmAddress::btnClearClick()
{
    m_form->clear();
    strRow.clear();
    loadedFields.clear();
    m_loadedRow.reset();
}

void TfrmAddress::ListViewNmClick()
{
    if (tessolo::store::currentIsServer()) {
        for (int i = ListViewNm->topLevelItemCount() - 1; i >= 0; --i) {
            QTreeWidgetItem* item = ListViewNm->topLevelItem(i);
            if (!item->isSelected())
                continue;
            strRow = item->text(7);
            m_loadedRow = tessolo::store::current().customer(strRow.toLongLong());
            if (!m_loadedRow)
                throw tessolo::store::EConflict();
            m_form->loadValues(QStringList(m_loadedRow->values.begin(), m_loadedRow->values.end()));
            loadedFields = m_form->values();
        }
        return;
    }
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    for (int i = ListViewNm->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* item = ListViewNm->topLevelItem(i);
        if (!item->isSelected())
            continue;
        strRow = item->text(7);
        const auto t = db.query(customer::selectOneSql(strRow));
        for (t->MoveFirst(); !t->Eof(); t->Next()) {
            m_form->load(*t);
            loadedFields = m_form->values();
        }
    }
    db.closeDBpoint();
}

// A business's own postal code names the business: its name goes into an
// empty 会社名, and its reading, widened as readings are, into an empty
// 会社名（カナ）. What the user typed is never replaced.
void TfrmAddress::completeCompany()
{
    // The business list is looked up in the file only: on a server the
    // company name is left as typed.
    if (tessolo::store::currentIsServer())
        return;
    if (!EditCompany->text().isEmpty())
        return;
    QString name, reading;
    {
        TSQLiteDo db;
        db.setDBpoint(kDatabaseName);
        if (!db.postal2business(tessolo::postal::toStored(MaskEditPostal->text()), name, reading))
            return;
    }
    EditCompany->setText(name);
    if (EditCokana->text().isEmpty())
        EditCokana->setText(tessolo::TCnvk2K().ToZenkaku(reading.trimmed()));
}

void TfrmAddress::setShellOpenHook(ShellOpenFn fn) { shellHook() = std::move(fn); }

void TfrmAddress::shellOpen(const QString& address)
{
    if (shellHook()) {
        shellHook()(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

void TfrmAddress::N4Click() { shellOpen(QStringLiteral("mailto:") + EditEmail1->text()); }
void TfrmAddress::N5Click() { shellOpen(QStringLiteral("mailto:") + EditEmail2->text()); }
void TfrmAddress::N6Click() { shellOpen(QStringLiteral("http://") + EditUrl->text()); }

void TfrmAddress::N3Click()
{
    tessolo::store::requireFile(QStringLiteral("自社住所情報"));
    if (frmOurcompany)
        frmOurcompany->exec();
}

void TfrmAddress::CSV1Click()
{
    tessolo::store::requireFile(QStringLiteral("住所データ取込"));
    if (OpenTextFileDialog1->exec() != QDialog::Accepted || OpenTextFileDialog1->selectedFiles().isEmpty())
        throw tessolo::EAbort();
    const QString file = OpenTextFileDialog1->selectedFiles().constFirst();
    if (frmCsvin) {
        frmCsvin->setCsvFile(file);
        frmCsvin->exec();
    }
    loadList();
}

// The customers the list shows, in its order, to a CSV file.
void TfrmAddress::CSV2Click() { exportCustomers(strListSQL.isEmpty() ? tessolo::customer::kListSql : strListSQL); }

void TfrmAddress::exportCustomers(const QString& sql)
{
    tessolo::store::requireFile(QStringLiteral("住所データ出力"));
    if (SaveTextFileDialog1->exec() != QDialog::Accepted || SaveTextFileDialog1->selectedFiles().isEmpty())
        throw tessolo::EAbort();
    const QString file = SaveTextFileDialog1->selectedFiles().constFirst();
    namespace ex = tessolo::customerexport;
    const ex::Encoding encoding = EncodingBox->currentIndex() == 1 ? ex::Encoding::Utf8Bom : ex::Encoding::Cp932;
    ex::Result result;
    {
        tessolo::ui::TBusyProgress progress(this, QStringLiteral("顧客データを書き出しています…"));
        result = ex::write(file, sql, encoding, progress.callback());
    }
    tessolo::ui::showNotice(this, ex::summary(result, encoding));
}

// The customers the list shows, in its order, on postcards or labels.
void TfrmAddress::mnuAtenaClick()
{
    tessolo::store::requireFile(QStringLiteral("宛名印刷"));
    if (!frmAtena)
        throw tessolo::EAbort();
    frmAtena->setCustomers(
        tessolo::customer::rowidsOf(strListSQL.isEmpty() ? tessolo::customer::kListSql : strListSQL));
    frmAtena->exec();
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
void TfrmAddress::U1Click()
{
    tessolo::ui::runPostalUpdate(this, OpenTextFileDialog1);
}

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
