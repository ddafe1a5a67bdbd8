#include "picker/frmclntsrc.h"
#include "atena/frmatena.h"
#include "data/errors.h"
#include "ui/windowset.h"

#include "ui/windowstyle.h"
#include "data/sqlitedo.h"
#include "data/store.h"
#include "customer/customer.h"
#include "customer/kanafilter.h"
#include "ui/enternav.h"
#include "ui/errordisplay.h"
#include "ui/imemode.h"
#include "ui/kanabuttons.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using tessolo::ui::guarded;

namespace {

// The picker shows the roster list's leading columns: name, reading,
// company, and the address that tells namesakes apart.
constexpr auto kShown = std::span(tessolo::customer::kListed).first<3>();
constexpr int kAddressColumn = int(kShown.size());
// The rowid travels with each line, unseen.
constexpr int kRowidRole = Qt::UserRole + 1;

qint64 rowidOf(const QTreeWidgetItem* item) { return item->data(0, kRowidRole).toLongLong(); }

} // namespace

TfrmClntsrc::TfrmClntsrc(QWidget* parent)
    : QDialog(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("frmClntsrc"), QStringLiteral("顧客住所閲覧"),
                             QColor(214, 222, 232)); // pale blue-grey
    QFont f;
    f.setPointSize(9);
    setFont(f);
    resize(760, 520);
    buildControls();
    layOut();
    wire();
}

void TfrmClntsrc::buildControls()
{
    KanaButtons = new tessolo::ui::TKanaButtons(this);
    labCnt = new QLabel(QStringLiteral("件数"), this);
    labCnt->setObjectName(QStringLiteral("Lab_CNT"));
    EditCnt = new QLineEdit(this);
    EditCnt->setObjectName(QStringLiteral("EditCnt"));
    EditCnt->setFocusPolicy(Qt::ClickFocus);
    EditCnt->setFixedWidth(70);
    labCnt->setBuddy(EditCnt);

    ListViewNm = new QTreeWidget(this);
    ListViewNm->setObjectName(QStringLiteral("ListViewNm"));
    ListViewNm->setRootIsDecorated(false);
    ListViewNm->setUniformRowHeights(true);
    ListViewNm->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewNm->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewNm->setSortingEnabled(false);
    QStringList headings;
    for (QStringView c : kShown)
        headings << tessolo::fields::byColumn(tessolo::customer::kFields, c).heading.toString();
    ListViewNm->setHeaderLabels(headings << QStringLiteral("住所"));
    ListViewNm->header()->setSectionsClickable(false);
    ListViewNm->header()->setStretchLastSection(true);
    const int widths[] = {120, 130, 170, 220};
    for (int i = 0; i <= kAddressColumn; ++i)
        ListViewNm->setColumnWidth(i, widths[i]);

    labNm = new QLabel(QStringLiteral("氏名（カナ）"), this);
    labNm->setObjectName(QStringLiteral("Lab_nm"));
    EditNm = new QLineEdit(this);
    EditNm->setObjectName(QStringLiteral("EditNm"));
    labNm->setBuddy(EditNm);
    tessolo::ui::setImeMode(EditNm, tessolo::ui::ImeMode::Katakana);
    btnNm = new QPushButton(QStringLiteral("検索"), this);
    btnNm->setObjectName(QStringLiteral("btnNm"));
    btnclear = new QPushButton(QStringLiteral("クリア"), this);
    btnclear->setObjectName(QStringLiteral("btnclear"));
    btnok = new QPushButton(QStringLiteral("決定"), this);
    btnok->setObjectName(QStringLiteral("btnok"));
    btncancel = new QPushButton(QStringLiteral("キャンセル"), this);
    btncancel->setObjectName(QStringLiteral("btncancel"));
    btnAtena = new QPushButton(QStringLiteral("宛名印刷"), this);
    btnAtena->setObjectName(QStringLiteral("btnAtena"));
}

void TfrmClntsrc::layOut()
{
    auto* top = new QHBoxLayout;
    top->addWidget(KanaButtons, 1);
    top->addWidget(labCnt);
    top->addWidget(EditCnt);
    auto* search = new QHBoxLayout;
    search->addWidget(labNm);
    search->addWidget(EditNm, 1);
    search->addWidget(btnNm);
    search->addWidget(btnclear);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnAtena);
    bottom->addStretch();
    bottom->addWidget(btnok);
    bottom->addWidget(btncancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ListViewNm, 1);
    layout->addLayout(search);
    layout->addLayout(bottom);
    setTabOrder(ListViewNm, EditNm);
    setTabOrder(EditNm, btnNm);
    setTabOrder(btnNm, btnclear);
    setTabOrder(btnclear, btnok);
    setTabOrder(btnok, btncancel);
    setTabOrder(btncancel, btnAtena);
}

void TfrmClntsrc::wire()
{
    // Selecting customers and pressing Enter must not search and lose the
    // selection: Enter presses only a focused button, and in EditNm it searches.
    tessolo::ui::enterPressesFocusedButtonOnly(this);
    connect(EditNm, &QLineEdit::returnPressed, this, guarded([this] { btnNmClick(); }));

    connect(KanaButtons, &tessolo::ui::TKanaButtons::kanaChosen, this,
            [this](int code) { tessolo::ui::runHandler([&] { listByKana(code); }); });
    connect(btnNm, &QPushButton::clicked, this, guarded([this] { btnNmClick(); }));
    connect(btnclear, &QPushButton::clicked, this, guarded([this] { btnclearClick(); }));
    connect(btnok, &QPushButton::clicked, this, guarded([this] { btnokClick(); }));
    connect(btncancel, &QPushButton::clicked, this, guarded([this] { btncancelClick(); }));
    connect(btnAtena, &QPushButton::clicked, this, guarded([this] { btnAtenaClick(); }));
}

// The file answers `sql`; a server's customers, read whole and in the
// same order, are kept where `keep` takes their reading.
void TfrmClntsrc::fill(const QString& sql, const std::function<bool(const QString& reading)>& keep)
{
    ListViewNm->clear();
    QList<QTreeWidgetItem*> items;
    const auto add = [&](qint64 rowid, const auto& valueOf) {
        QStringList values;
        for (QStringView c : kShown)
            values << valueOf(c);
        values << valueOf(u"prefecture") + valueOf(u"city") + valueOf(u"town");
        auto* item = new QTreeWidgetItem(values);
        item->setData(0, kRowidRole, rowid);
        items << item;
    };
    if (tessolo::store::currentIsServer()) {
        namespace customer = tessolo::customer;
        for (const tessolo::store::CustomerRow& row : tessolo::store::current().customers()) {
            if (keep(row.values[customer::col::PersonKana]))
                add(row.key, [&](QStringView c) {
                    return row.values[std::size_t(tessolo::fields::indexOf(customer::kFields, c))];
                });
        }
    } else {
        tessolo::TSQLiteDo db;
        db.getDBpoint(tessolo::kDatabaseName);
        const auto table = db.query(sql);
        items.reserve(qsizetype(table->RowCount()));
        for (table->MoveFirst(); !table->Eof(); table->Next())
            add(table->NamedFieldAsString(QStringLiteral("rowid")).toLongLong(),
                [&](QStringView c) { return table->NamedFieldAsString(c.toString()); });
    }
    ListViewNm->addTopLevelItems(items);
    EditCnt->setText(QString::number(items.size()));
}

void TfrmClntsrc::loadList()
{
    KanaButtons->setCurrent(0);
    strSQLZ = tessolo::customer::kListSql;
    fill(strSQLZ, [](const QString&) { return true; });
}

void TfrmClntsrc::listByKana(int kanaCode)
{
    KanaButtons->setCurrent(kanaCode);
    strSQLZ = tessolo::kana::queryText(kanaCode);
    fill(strSQLZ, [kanaCode](const QString& reading) { return tessolo::kana::inKanaRow(kanaCode, reading); });
}

void TfrmClntsrc::btnNmClick()
{
    const QString typed = EditNm->text();
    const QString sql = tessolo::kana::nameSearchText(typed);
    fill(sql, [typed](const QString& reading) { return tessolo::kana::matchesNameSearch(typed, reading); });
    strSQLZ = sql;
}
void TfrmClntsrc::btnokClick()
{
    m_chosen = chosenRowids();
    QStringList ids;
    for (qint64 id : m_chosen)
        ids << QString::number(id);
    strSQLZ = tessolo::customer::rowidsSql(ids);
    i_cancel = 1;
    accept();
}

// The selected customers, in the list's order; all of the list when none is
// selected, as "決定" does.
QList<qint64> TfrmClntsrc::chosenRowids() const
{
    QList<qint64> all, selected;
    for (int i = 0; i < ListViewNm->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = ListViewNm->topLevelItem(i);
        const qint64 id = rowidOf(item);
        all << id;
        if (item->isSelected())
            selected << id;
    }
    return selected.isEmpty() ? all : selected;
}

void TfrmClntsrc::btnAtenaClick()
{
    if (!frmAtena)
        throw tessolo::EAbort();
    frmAtena->setCustomers(chosenRowids());
    frmAtena->exec();
}

void TfrmClntsrc::btncancelClick()
{
    i_cancel = 0;
    reject();
}

void TfrmClntsrc::btnclearClick()
{
    loadList();
    EditNm->clear();
}

void TfrmClntsrc::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        tessolo::ui::runHandler([this] { FormShow(); });
}

void TfrmClntsrc::FormShow()
{
    i_cancel = 0;
    m_chosen.clear();
    loadList();
}

void TfrmClntsrc::keyPressEvent(QKeyEvent* e)
{
    // Escape leaves as the close box does; nothing else closes the picker.
    if (e->key() == Qt::Key_Escape) {
        btncancelClick();
        return;
    }
    QDialog::keyPressEvent(e);
}
