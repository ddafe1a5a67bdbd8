#include "company/frmourcompany.h"

#include "ui/windowstyle.h"
#include "ui/okrightdlg2.h"
#include "data/sqlitedo.h"
#include "data/store.h"
#include "ui/enternav.h"
#include "ui/errordisplay.h"
#include "ui/memoedit.h"
#include "ui/postaledit.h"
#include "ui/windowset.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace tessolo;

namespace {

constexpr int kCaption = 0;
constexpr int kRowid = 1;
// The one column the list shows beside the rowid: the site's name.
constexpr QStringView kListed = u"co_name";

template <class W> W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

TfrmOurcompany::TfrmOurcompany(QWidget* parent)
    : QDialog(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("frmOurcompany"), QStringLiteral("自社情報"), QColor(210, 235, 236));
    resize(789, 360);

    ListViewCo = named(new QTreeWidget(this), "ListViewCo");
    ListViewCo->setRootIsDecorated(false);
    ListViewCo->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewCo->setHeaderLabels(
        {tessolo::fields::byColumn(ourcompany::kFields, kListed).heading.toString(), QStringLiteral("rowid")});
    ListViewCo->header()->setSectionsClickable(false);
    ListViewCo->setColumnWidth(kCaption, 220);

    // The controls are made in their tab order, each in its final parent,
    // so the focus chain runs ListViewCo, EditCompany ... btnclear.
    QFrame* fieldFrame = buildFields();
    auto* right = new QVBoxLayout;
    right->addWidget(fieldFrame);
    right->addLayout(buildButtons());
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ListViewCo, 2);
    layout->addLayout(right, 3);
    wire();
}

QFrame* TfrmOurcompany::buildFields()
{
    auto* fieldFrame = named(new QFrame(this), "Bevel1");
    fieldFrame->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(fieldFrame);
    // Each control below its predecessor, its label from the field table.
    auto add = [&]<class W>(W* w, const char* name) {
        named(w, name);
        auto* l = new QLabel(tessolo::fields::byControl(ourcompany::kFields, QLatin1String(name)).label.toString(),
                             fieldFrame);
        l->setBuddy(w);
        const int row = grid->rowCount();
        grid->addWidget(l, row, 0);
        grid->addWidget(w, row, 1);
        return w;
    };
    EditCompany = add(new QLineEdit(fieldFrame), "EditCompany");
    EditTel = add(new QLineEdit(fieldFrame), "EditTel");
    EditFax = add(new QLineEdit(fieldFrame), "EditFax");
    MaskEditPostal = add(new ui::TPostalMaskEdit(fieldFrame), "MaskEditPostal");
    EditPref = add(new QLineEdit(fieldFrame), "EditPref");
    EditCity = add(new QLineEdit(fieldFrame), "EditCity");
    EditAddr = add(new QLineEdit(fieldFrame), "EditAddr");
    EditBuild = add(new QLineEdit(fieldFrame), "EditBuild");
    EditEmail1 = add(new QLineEdit(fieldFrame), "EditEmail1");
    EditUrl = add(new QLineEdit(fieldFrame), "EditUrl");
    Memo1 = add(new ui::TMemoEdit(fieldFrame), "Memo1");
    Memo1->setTabChangesFocus(true);

    m_form.emplace(this, ourcompany::kFields);
    m_form->applyImeModes();
    return fieldFrame;
}

QLayout* TfrmOurcompany::buildButtons()
{
    auto* buttonFrame = named(new QFrame(this), "Bevel2");
    buttonFrame->setFrameShape(QFrame::StyledPanel);
    btnadd = named(new QPushButton(QStringLiteral("追加"), buttonFrame), "btnadd");
    btnup = named(new QPushButton(QStringLiteral("更新"), buttonFrame), "btnup");
    btndel = named(new QPushButton(QStringLiteral("削除"), buttonFrame), "btndel");
    btnclear = named(new QPushButton(QStringLiteral("クリア"), this), "btnclear");

    auto* buttons = new QHBoxLayout(buttonFrame);
    buttons->addWidget(btnadd);
    buttons->addWidget(btnup);
    buttons->addWidget(btndel);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(buttonFrame);
    buttonRow->addStretch();
    buttonRow->addWidget(btnclear);
    return buttonRow;
}

void TfrmOurcompany::wire()
{
    // Enter in a field moves on; on a button it presses that button.
    m_enter = new ui::TEnterNavigator(this, {Memo1});
    ui::enterPressesFocusedButtonOnly(this);

    connect(ListViewCo, &QTreeWidget::itemClicked, this, ui::guarded([this] { ListViewCoClick(); }));
    connect(btnadd, &QPushButton::clicked, this, ui::guarded([this] { btnaddClick(); }));
    connect(btnup, &QPushButton::clicked, this, ui::guarded([this] { btnupClick(); }));
    connect(btndel, &QPushButton::clicked, this, ui::guarded([this] { btndelClick(); }));
    connect(btnclear, &QPushButton::clicked, this, ui::guarded([this] { btnclearClick(); }));
    connect(MaskEditPostal, &ui::TPostalMaskEdit::exited, this, ui::guarded([this] { MaskEditPostalExit(); }));
}

void TfrmOurcompany::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        ui::runHandler([this] { FormShow(); });
}

ourcompany::Record TfrmOurcompany::fields() { return ui::toRecord<ourcompany::Record>(m_form->storable()); }

namespace {

QStringList valuesOf(const store::SiteRow& site) { return QStringList(site.values.cbegin(), site.values.cend()); }

} // namespace

// On an office's server the site in the fields is kept as the server gave
// it (with its version): 更新 and 削除 are checked against it there.
void TfrmOurcompany::loadSite(const store::SiteRow& site)
{
    m_form->loadValues(valuesOf(site));
    strRow = QString::number(site.key);
    m_serverSite = site;
}

void TfrmOurcompany::FormShow()
{
    if (store::currentIsServer()) {
        const QList<store::SiteRow> sites = store::current().sites();
        if (!sites.isEmpty())
            loadSite(sites.last());
        loadList();
        return;
    }
    {
        TSQLiteDo db;
        db.getDBpoint(kDatabaseName);
        auto t = db.query(ourcompany::kSitesSql);
        // The fields end on the last site returned.
        for (t->MoveFirst(); !t->Eof(); t->Next()) {
            m_form->load(*t);
            strRow = t->NamedFieldAsString(QStringLiteral("rowid"));
        }
    }
    loadList();
}

void TfrmOurcompany::loadList()
{
    ListViewCo->clear();
    if (store::currentIsServer()) {
        for (const store::SiteRow& site : store::current().sites())
            new QTreeWidgetItem(ListViewCo, {site.values[ourcompany::col::CoName], QString::number(site.key)});
        return;
    }
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    auto t = db.query(ourcompany::kListSql);
    for (t->MoveFirst(); !t->Eof(); t->Next())
        new QTreeWidgetItem(
            ListViewCo, {t->NamedFieldAsString(kListed.toString()), t->NamedFieldAsString(QStringLiteral("rowid"))});
}

void TfrmOurcompany::ListViewCoClick()
{
    const QList<QTreeWidgetItem*> selected = ListViewCo->selectedItems();
    if (selected.isEmpty())
        return;
    if (store::currentIsServer()) {
        const QList<store::SiteRow> sites = store::current().sites();
        for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
            for (const store::SiteRow& site : sites) {
                if (QString::number(site.key) == (*it)->text(kRowid))
                    loadSite(site);
            }
        }
        return;
    }
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        strRow = (*it)->text(kRowid);
        auto t = db.query(ourcompany::selectOneSql(strRow));
        for (t->MoveFirst(); !t->Eof(); t->Next())
            m_form->load(*t);
    }
}

void TfrmOurcompany::btnaddClick()
{
    if (store::currentIsServer())
        store::current().insertSite(fields());
    else
        TSQLiteDo::execute(ourcompany::insertSql(fields()));
    loadList();
}

void TfrmOurcompany::btnupClick()
{
    // Without a loaded site there is nothing to update.
    if (strRow.isEmpty())
        throw EAbort();
    // Changed or deleted on another PC: refused, the fields as typed.
    if (m_serverSite)
        m_serverSite = store::current().updateSite(*m_serverSite, fields());
    else
        TSQLiteDo::execute(ourcompany::updateSql(fields(), strRow));
    loadList();
}

void TfrmOurcompany::btndelClick()
{
    if (!OKRightDlg2 || !OKRightDlg2->ask(QStringLiteral("削除しますか？")))
        throw EAbort();
    if (strRow.isEmpty())
        throw EAbort();
    if (m_serverSite)
        store::current().deleteSite(*m_serverSite);
    else
        TSQLiteDo::execute(ourcompany::deleteSql(strRow));
    loadList();
    btnclearClick();
}

void TfrmOurcompany::btnclearClick()
{
    m_form->clear();
    strRow.clear();
    m_serverSite.reset();
}

void TfrmOurcompany::MaskEditPostalExit() { ui::MaskEditPostalExit(MaskEditPostal, EditPref, EditCity, EditAddr); }
