#include "company/frmourcompany.h"

#include "ui/windowstyle.h"
#include "ui/okrightdlg2.h"
#include "data/postalcode.h"
#include "data/sqlitedo.h"
#include "ui/enternav.h"
#include "ui/errordisplay.h"
#include "ui/imemode.h"
#include "ui/memoedit.h"
#include "ui/postaledit.h"
#include "ui/storablecheck.h"
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

template <class W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

TfrmOurcompany::TfrmOurcompany(QWidget* parent)
    : QDialog(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("frmOurcompany"), QStringLiteral("自社情報"),
                             QColor(210, 235, 236));
    resize(789, 360);

    ListViewCo = named(new QTreeWidget(this), "ListViewCo");
    ListViewCo->setRootIsDecorated(false);
    ListViewCo->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewCo->setHeaderLabels({QStringLiteral("会社名"), QStringLiteral("rowid")});
    ListViewCo->header()->setSectionsClickable(false);
    ListViewCo->setColumnWidth(kCaption, 220);

    auto* fieldFrame = named(new QFrame(this), "Bevel1");
    fieldFrame->setFrameShape(QFrame::StyledPanel);
    auto* buttonFrame = named(new QFrame(this), "Bevel2");
    buttonFrame->setFrameShape(QFrame::StyledPanel);

    EditCompany = named(new QLineEdit(fieldFrame), "EditCompany");
    EditTel = named(new QLineEdit(fieldFrame), "EditTel");
    EditFax = named(new QLineEdit(fieldFrame), "EditFax");
    MaskEditPostal = named(new ui::TPostalMaskEdit(fieldFrame), "MaskEditPostal");
    EditPref = named(new QLineEdit(fieldFrame), "EditPref");
    EditCity = named(new QLineEdit(fieldFrame), "EditCity");
    EditAddr = named(new QLineEdit(fieldFrame), "EditAddr");
    EditBuild = named(new QLineEdit(fieldFrame), "EditBuild");
    EditEmail1 = named(new QLineEdit(fieldFrame), "EditEmail1");
    EditUrl = named(new QLineEdit(fieldFrame), "EditUrl");
    Memo1 = named(new ui::TMemoEdit(fieldFrame), "Memo1");
    btnadd = named(new QPushButton(QStringLiteral("追加"), buttonFrame), "btnadd");
    btnup = named(new QPushButton(QStringLiteral("更新"), buttonFrame), "btnup");
    btndel = named(new QPushButton(QStringLiteral("削除"), buttonFrame), "btndel");
    btnclear = named(new QPushButton(QStringLiteral("クリア"), this), "btnclear");

    for (QWidget* w : {static_cast<QWidget*>(EditCompany), static_cast<QWidget*>(EditPref),
                       static_cast<QWidget*>(EditCity), static_cast<QWidget*>(EditAddr),
                       static_cast<QWidget*>(EditBuild), static_cast<QWidget*>(Memo1)})
        ui::setImeMode(w, ui::ImeMode::Hiragana);
    for (QWidget* w : {static_cast<QWidget*>(EditTel), static_cast<QWidget*>(EditFax),
                       static_cast<QWidget*>(MaskEditPostal), static_cast<QWidget*>(EditEmail1),
                       static_cast<QWidget*>(EditUrl)})
        ui::setImeMode(w, ui::ImeMode::Off);

    auto* grid = new QGridLayout;
    int row = 0;
    auto addField = [&](const char* label, QWidget* w) {
        auto* l = new QLabel(QString::fromUtf8(label), fieldFrame);
        l->setBuddy(w);
        grid->addWidget(l, row, 0);
        grid->addWidget(w, row, 1);
        ++row;
    };
    addField("会社名", EditCompany);
    addField("TEL", EditTel);
    addField("FAX", EditFax);
    addField("郵便番号", MaskEditPostal);
    addField("都道府県", EditPref);
    addField("市区町村", EditCity);
    addField("住所", EditAddr);
    addField("ビル、マンション名等", EditBuild);
    addField("e-mail", EditEmail1);
    addField("URL", EditUrl);
    addField("備考", Memo1);
    fieldFrame->setLayout(grid);

    auto* buttons = new QHBoxLayout(buttonFrame);
    buttons->addWidget(btnadd);
    buttons->addWidget(btnup);
    buttons->addWidget(btndel);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(buttonFrame);
    buttonRow->addStretch();
    buttonRow->addWidget(btnclear);

    auto* right = new QVBoxLayout;
    right->addWidget(fieldFrame);
    right->addLayout(buttonRow);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ListViewCo, 2);
    layout->addLayout(right, 3);

    // The controls were made in their tab order, each in its final parent,
    // so the focus chain already runs ListViewCo, EditCompany ... btnclear.
    Memo1->setTabChangesFocus(true);
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

void TfrmOurcompany::loadRow(const TSQLiteTable& t)
{
    EditCompany->setText(t.NamedFieldAsString(QStringLiteral("co_name")));
    MaskEditPostal->setStored(t.NamedFieldAsString(QStringLiteral("postal_code")));
    EditPref->setText(t.NamedFieldAsString(QStringLiteral("prefecture")));
    EditCity->setText(t.NamedFieldAsString(QStringLiteral("city")));
    EditAddr->setText(t.NamedFieldAsString(QStringLiteral("town")));
    EditBuild->setText(t.NamedFieldAsString(QStringLiteral("building")));
    EditTel->setText(t.NamedFieldAsString(QStringLiteral("tel")));
    EditFax->setText(t.NamedFieldAsString(QStringLiteral("fax")));
    EditEmail1->setText(t.NamedFieldAsString(QStringLiteral("email")));
    EditUrl->setText(t.NamedFieldAsString(QStringLiteral("url")));
    Memo1->setStored(t.NamedFieldAsString(QStringLiteral("memo")));
}

ourcompany::Record TfrmOurcompany::fields()
{
    // In table order, beside the values taken from them.
    const QList<QWidget*> controls = {EditCompany, MaskEditPostal, EditPref, EditCity, EditAddr, EditBuild,
                                      EditTel,     EditFax,        EditEmail1, EditUrl, Memo1};
    const ourcompany::Record r = {EditCompany->text(), MaskEditPostal->stored(), EditPref->text(), EditCity->text(),
            EditAddr->text(),    EditBuild->text(), EditTel->text(),   EditFax->text(),
            EditEmail1->text(),  EditUrl->text(),   Memo1->stored()};
    if (!ui::confirmStorable(this, controls, QStringList(r.begin(), r.end())))
        throw EAbort();
    return r;
}

void TfrmOurcompany::FormShow()
{
    {
        TSQLiteDo db;
        db.getDBpoint(kDatabaseName);
        auto t = db.query(ourcompany::kSitesSql);
        // The fields end on the last site returned.
        for (t->MoveFirst(); !t->Eof(); t->Next()) {
            loadRow(*t);
            strRow = t->NamedFieldAsString(QStringLiteral("rowid"));
        }
    }
    loadList();
}

void TfrmOurcompany::loadList()
{
    ListViewCo->clear();
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    auto t = db.query(ourcompany::kListSql);
    for (t->MoveFirst(); !t->Eof(); t->Next())
        new QTreeWidgetItem(ListViewCo, {t->NamedFieldAsString(QStringLiteral("co_name")),
                                         t->NamedFieldAsString(QStringLiteral("rowid"))});
}

void TfrmOurcompany::ListViewCoClick()
{
    const QList<QTreeWidgetItem*> selected = ListViewCo->selectedItems();
    if (selected.isEmpty())
        return;
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        strRow = (*it)->text(kRowid);
        auto t = db.query(ourcompany::selectOneSql(strRow));
        for (t->MoveFirst(); !t->Eof(); t->Next())
            loadRow(*t);
    }
}

void TfrmOurcompany::btnaddClick()
{
    TSQLiteDo::execute(ourcompany::insertSql(fields()));
    loadList();
}

void TfrmOurcompany::btnupClick()
{
    // Without a loaded site there is nothing to update.
    if (strRow.isEmpty())
        throw EAbort();
    TSQLiteDo::execute(ourcompany::updateSql(fields(), strRow));
    loadList();
}

void TfrmOurcompany::btndelClick()
{
    if (!OKRightDlg2 || !OKRightDlg2->ask(QStringLiteral("削除しますか？")))
        throw EAbort();
    if (strRow.isEmpty())
        throw EAbort();
    TSQLiteDo::execute(ourcompany::deleteSql(strRow));
    loadList();
    btnclearClick();
}

void TfrmOurcompany::btnclearClick()
{
    for (QLineEdit* e : {EditCompany, EditPref, EditCity, EditAddr, EditBuild, EditTel, EditFax, EditEmail1, EditUrl})
        e->clear();
    Memo1->clear();
    MaskEditPostal->setText(postal::kEmptyField);
    strRow.clear();
}

void TfrmOurcompany::MaskEditPostalExit() { ui::MaskEditPostalExit(MaskEditPostal, EditPref, EditCity, EditAddr); }
