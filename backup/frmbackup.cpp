#include "backup/frmbackup.h"

#include "ui/errordisplay.h"
#include "ui/windowstyle.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { kTime, kCustomers, kSize, kState, kReason };

QString sizeText(qint64 bytes)
{
    return QLocale(QLocale::Japanese).formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

TfrmBackup::TfrmBackup(QWidget* parent)
    : QDialog(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("frmBackup"), QStringLiteral("バックアップから復元"),
                             QColor(210, 234, 236));
    resize(560, 380);
    LabelFolder = new QLabel(this);
    LabelFolder->setObjectName(QStringLiteral("LabelFolder"));
    LabelFolder->setWordWrap(true);
    ListViewCopies = new QTreeWidget(this);
    ListViewCopies->setObjectName(QStringLiteral("ListViewCopies"));
    ListViewCopies->setHeaderLabels({QStringLiteral("日時"), QStringLiteral("顧客数"), QStringLiteral("サイズ"),
                                     QStringLiteral("状態"), QStringLiteral("理由")});
    ListViewCopies->setRootIsDecorated(false);
    ListViewCopies->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewCopies->header()->setSectionsClickable(false);
    ListViewCopies->setColumnWidth(kTime, 170);
    ListViewCopies->setColumnWidth(kCustomers, 80);
    ListViewCopies->setColumnWidth(kSize, 90);
    btnrestore = new QPushButton(QStringLiteral("復元"), this);
    btnrestore->setObjectName(QStringLiteral("btnrestore"));
    btnclose = new QPushButton(QStringLiteral("閉じる"), this);
    btnclose->setObjectName(QStringLiteral("btnclose"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnrestore);
    buttons->addWidget(btnclose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelFolder);
    layout->addWidget(ListViewCopies, 1);
    layout->addLayout(buttons);

    connect(ListViewCopies, &QTreeWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(ListViewCopies, &QTreeWidget::itemDoubleClicked, this, tessolo::ui::guarded([this] { btnrestoreClick(); }));
    connect(btnrestore, &QPushButton::clicked, this, tessolo::ui::guarded([this] { btnrestoreClick(); }));
    connect(btnclose, &QPushButton::clicked, this, [this] { reject(); });
    loadCopies();
}

void TfrmBackup::loadCopies()
{
    namespace bk = tessolo::backup;
    const QString dbPath = bk::databasePath();
    LabelFolder->setText(
        QStringLiteral("バックアップの保存先: %1").arg(QDir::toNativeSeparators(bk::folderOf(dbPath))));
    m_copies = bk::listCopies(dbPath);
    ListViewCopies->clear();
    for (const bk::CopyInfo& copy : m_copies) {
        auto* item = new QTreeWidgetItem(ListViewCopies);
        item->setText(kTime, copy.time.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")));
        item->setText(kCustomers, copy.usable() ? QStringLiteral("%1 件").arg(copy.customers) : QString());
        item->setText(kSize, sizeText(copy.size));
        item->setText(kState, copy.usable() ? QStringLiteral("正常") : QStringLiteral("破損（復元できません）"));
        item->setTextAlignment(kCustomers, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(kSize, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(kState, copy.problem);
        item->setText(kReason, tessolo::backup::reasonText(copy.reason));
        if (!copy.usable())
            item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
    }
    updateButtons();
}

void TfrmBackup::updateButtons() { btnrestore->setEnabled(!ListViewCopies->selectedItems().isEmpty()); }

void TfrmBackup::btnrestoreClick()
{
    const int row = ListViewCopies->indexOfTopLevelItem(ListViewCopies->currentItem());
    if (row < 0 || row >= m_copies.size() || !ListViewCopies->currentItem()->isSelected())
        throw tessolo::EAbort();
    const tessolo::backup::CopyInfo copy = m_copies.at(row);
    const QString question =
        QStringLiteral("%1 のバックアップに戻しますか？").arg(copy.time.toString(QStringLiteral("yyyy/MM/dd HH:mm")));
    // Whatever happened, the folder may now hold the copy made before it.
    try {
        m_restored = tessolo::backupui::replaceData(this, copy.path, question);
    } catch (...) {
        loadCopies();
        throw;
    }
    loadCopies();
    accept();
}
