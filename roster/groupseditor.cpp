#include "roster/groupseditor.h"

#include "ui/errordisplay.h"
#include "ui/imemode.h"
#include "ui/memoedit.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace memo = tessolo::customer::memo;

namespace {

// Group names can be long; the lists show them cut, never wider.
constexpr int kShownChars = 20;

QString cut(const QString& name)
{
    return name.size() > kShownChars ? name.left(kShownChars) + QStringLiteral("…") : name;
}

QLineEdit* edit(const char* name, const QString& placeholder, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setPlaceholderText(placeholder);
    tessolo::ui::setImeMode(e, tessolo::ui::ImeMode::Hiragana);
    return e;
}

} // namespace

TGroupsEditor::TGroupsEditor(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("EditGroups"));
    lstGroups = new QListWidget(this);
    lstGroups->setObjectName(QStringLiteral("lstGroups"));
    lstGroups->setFlow(QListView::LeftToRight);
    lstGroups->setWrapping(true);
    lstGroups->setResizeMode(QListView::Adjust);
    lstGroups->setUniformItemSizes(false);
    lstGroups->setTextElideMode(Qt::ElideRight);
    EditNewGroup = edit("EditNewGroup", QStringLiteral("新しいグループ"), this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(EditNewGroup);
    layout->addWidget(lstGroups, 1);
    connect(EditNewGroup, &QLineEdit::editingFinished, this, [this] { addTyped(); });
}

void TGroupsEditor::offer(const QString& group, bool ticked)
{
    for (int i = 0; i < lstGroups->count(); ++i) {
        QListWidgetItem* item = lstGroups->item(i);
        if (item->data(Qt::UserRole).toString() == group) {
            if (ticked)
                item->setCheckState(Qt::Checked);
            return;
        }
    }
    auto* item = new QListWidgetItem(cut(group), lstGroups);
    item->setData(Qt::UserRole, group);
    item->setToolTip(group);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

// A typed name (or several, as 年賀状・取引先) becomes ticked groups.
void TGroupsEditor::addTyped()
{
    const QStringList typed = memo::splitGroups(EditNewGroup->text());
    for (const QString& g : typed)
        offer(g, true);
    if (!typed.isEmpty())
        EditNewGroup->clear();
}

void TGroupsEditor::setGroupsInUse(const QStringList& groups)
{
    const QStringList ticked = this->groups();
    lstGroups->clear();
    for (const QString& g : ticked)
        offer(g, true);
    for (const QString& g : groups)
        offer(g, false);
}

void TGroupsEditor::setGroups(const QStringList& ticked)
{
    EditNewGroup->clear();
    for (int i = 0; i < lstGroups->count(); ++i)
        lstGroups->item(i)->setCheckState(Qt::Unchecked);
    for (const QString& g : ticked)
        offer(g, true);
}

QStringList TGroupsEditor::groups() const
{
    QStringList out;
    for (int i = 0; i < lstGroups->count(); ++i) {
        if (lstGroups->item(i)->checkState() == Qt::Checked)
            out << lstGroups->item(i)->data(Qt::UserRole).toString();
    }
    for (const QString& g : memo::splitGroups(EditNewGroup->text())) {
        if (!out.contains(g))
            out << g;
    }
    return out;
}

TMemoFieldsBox::TMemoFieldsBox(QWidget* window, tessolo::ui::TMemoEdit* memoEdit, const QRect& place)
    : QWidget(window)
{
    setObjectName(QStringLiteral("MemoFields"));
    tabMemo = new QTabWidget(window);
    tabMemo->setObjectName(QStringLiteral("tabMemo"));
    tabMemo->setGeometry(place);
    tabMemo->setTabPosition(QTabWidget::South);
    // The tabs are changed by a click; Tab goes on through the fields.
    tabMemo->setFocusPolicy(Qt::NoFocus);
    tabMemo->tabBar()->setFocusPolicy(Qt::NoFocus);
    tabMemo->addTab(memoEdit, QStringLiteral("備考"));
    tabMemo->addTab(this, QStringLiteral("グループ・連名・敬称"));

    EditHonorific = edit("EditHonorific", QStringLiteral("空欄なら宛名印刷で選んだ敬称"), this);
    EditGroups = new TGroupsEditor(this);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    grid->addWidget(new QLabel(QStringLiteral("敬称"), this), 0, 0);
    grid->addWidget(EditHonorific, 0, 1, 1, 2);
    for (int i = 0; i < memo::kMaxJoint; ++i) {
        EditJoint[i] = edit(QStringLiteral("EditJoint%1").arg(i + 1).toLatin1().constData(),
                            i == 0 ? QStringLiteral("連名（名）") : QString(), this);
        EditJointHonorific[i] = edit(QStringLiteral("EditJointHonorific%1").arg(i + 1).toLatin1().constData(),
                                     i == 0 ? QStringLiteral("敬称") : QString(), this);
        if (i == 0)
            grid->addWidget(new QLabel(QStringLiteral("連名"), this), 1, 0);
        grid->addWidget(EditJoint[i], 1 + i, 1);
        grid->addWidget(EditJointHonorific[i], 1 + i, 2);
    }
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 1);
    grid->addWidget(new QLabel(QStringLiteral("グループ"), this), 4, 0, Qt::AlignTop);
    grid->addWidget(EditGroups, 4, 1, 1, 2);
    grid->setRowStretch(4, 1);

    memoEdit->setCompanion([this](const QString& m) { return shown(m); },
                           [this](const QString& note) { return toStore(note); });
}

void TMemoFieldsBox::chain(QWidget* memoEdit, QWidget* next)
{
    QList<QWidget*> order{memoEdit, EditHonorific};
    for (int i = 0; i < memo::kMaxJoint; ++i)
        order << EditJoint[i] << EditJointHonorific[i];
    order << EditGroups->EditNewGroup << EditGroups->lstGroups << next;
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

void TMemoFieldsBox::show(const memo::Fields& f)
{
    EditHonorific->setText(f.honorific);
    for (int i = 0; i < memo::kMaxJoint; ++i) {
        const memo::Joint j = f.joint.value(i);
        EditJoint[i]->setText(j.name);
        EditJointHonorific[i]->setText(j.honorific);
    }
    m_extraJoint = f.joint.mid(memo::kMaxJoint);
    EditGroups->setGroups(f.groups);
}

memo::Fields TMemoFieldsBox::fields(const QString& note) const
{
    memo::Fields f;
    f.note = note;
    f.honorific = EditHonorific->text().trimmed();
    for (int i = 0; i < memo::kMaxJoint; ++i) {
        const QString name = EditJoint[i]->text().trimmed();
        if (!name.isEmpty())
            f.joint << memo::Joint{name, EditJointHonorific[i]->text().trimmed()};
    }
    f.joint += m_extraJoint;
    // The loaded order first, so that a memo whose groups were not touched
    // is not rewritten.
    const QStringList ticked = EditGroups->groups();
    for (const QString& g : m_loadedFields.groups) {
        if (ticked.contains(g))
            f.groups << g;
    }
    for (const QString& g : ticked) {
        if (!f.groups.contains(g))
            f.groups << g;
    }
    return f;
}

QString TMemoFieldsBox::shown(const QString& memoText)
{
    m_loaded = memoText;
    m_loadedFields = memo::parse(memoText);
    show(m_loadedFields);
    return m_loadedFields.note;
}

QString TMemoFieldsBox::toStore(const QString& note) const
{
    const memo::Fields f = fields(note);
    return f == m_loadedFields ? m_loaded : memo::compose(f);
}

TGroupFilter::TGroupFilter(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("GroupFilter"));
    cmbGroup = new QComboBox(this);
    cmbGroup->setObjectName(QStringLiteral("cmbGroup"));
    cmbGroup->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbGroup->setMinimumContentsLength(8);
    // Not in the window's tab chain, which runs from the search to the list.
    cmbGroup->setFocusPolicy(Qt::ClickFocus);
    btnGroupOps = new QToolButton(this);
    btnGroupOps->setObjectName(QStringLiteral("btnGroupOps"));
    btnGroupOps->setText(QStringLiteral("グループ操作"));
    btnGroupOps->setPopupMode(QToolButton::InstantPopup);
    btnGroupOps->setFocusPolicy(Qt::NoFocus);
    auto* menu = new QMenu(btnGroupOps);
    QAction* add = menu->addAction(QStringLiteral("選んだ顧客をグループに入れる…"));
    add->setObjectName(QStringLiteral("mnuGroupAdd"));
    QAction* remove = menu->addAction(QStringLiteral("選んだ顧客をグループから外す…"));
    remove->setObjectName(QStringLiteral("mnuGroupRemove"));
    btnGroupOps->setMenu(menu);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("グループ"), this));
    layout->addWidget(cmbGroup, 1);
    layout->addWidget(btnGroupOps);
    setGroups({});

    connect(cmbGroup, &QComboBox::currentIndexChanged, this, [this] { emit filterChanged(); });
    connect(add, &QAction::triggered, this, [this] {
        tessolo::ui::runHandler([this] {
            bool ok = false;
            const QString typed = QInputDialog::getItem(this, QStringLiteral("グループに入れる"),
                                                        QStringLiteral("グループ"), m_groups, 0, true, &ok);
            const QStringList names = memo::splitGroups(typed);
            if (ok && !names.isEmpty())
                emit addRequested(names.first());
        });
    });
    connect(remove, &QAction::triggered, this, [this] {
        tessolo::ui::runHandler([this] {
            if (m_groups.isEmpty())
                return;
            bool ok = false;
            const QString chosen = QInputDialog::getItem(this, QStringLiteral("グループから外す"),
                                                         QStringLiteral("グループ"), m_groups, 0, false, &ok);
            if (ok && !chosen.isEmpty())
                emit removeRequested(chosen);
        });
    });
}

void TGroupFilter::setGroups(const QStringList& groups)
{
    const memo::GroupFilter before = filter();
    m_groups = groups;
    const QSignalBlocker quiet(cmbGroup);
    cmbGroup->clear();
    cmbGroup->addItem(kAll, int(memo::GroupFilter::All));
    for (const QString& g : groups) {
        cmbGroup->addItem(cut(g), int(memo::GroupFilter::Group));
        cmbGroup->setItemData(cmbGroup->count() - 1, g, Qt::ToolTipRole);
    }
    cmbGroup->addItem(kNone, int(memo::GroupFilter::NoGroup));
    int again = 0;
    if (before.kind == memo::GroupFilter::NoGroup)
        again = cmbGroup->count() - 1;
    else if (before.kind == memo::GroupFilter::Group && groups.contains(before.group))
        again = int(groups.indexOf(before.group)) + 1;
    cmbGroup->setCurrentIndex(again);
    if (again == 0 && before.kind != memo::GroupFilter::All)
        emit filterChanged(); // the chosen group is gone
}

memo::GroupFilter TGroupFilter::filter() const
{
    const int i = cmbGroup->currentIndex();
    if (i <= 0)
        return {};
    if (i == cmbGroup->count() - 1)
        return {memo::GroupFilter::NoGroup, {}};
    return {memo::GroupFilter::Group, m_groups.value(i - 1)};
}
