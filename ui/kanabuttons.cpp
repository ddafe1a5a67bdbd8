#include "ui/kanabuttons.h"

#include "text/kanacodes.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>

namespace tessolo::ui {

TKanaButtons::TKanaButtons(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("KanaButtons"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    for (const kana::KanaCode* row : kana::rowButtons()) {
        auto* b = new QPushButton(row->caption, this);
        b->setObjectName(row->objectName);
        b->setFocusPolicy(Qt::NoFocus); // not a tab stop
        b->setAutoDefault(false);
        b->setMinimumWidth(b->fontMetrics().horizontalAdvance(row->caption) + 16);
        layout->addWidget(b);
        const int code = row->code;
        connect(b, &QPushButton::clicked, this, [this, code] { emit kanaChosen(code); });

        if (row->menuName.isEmpty())
            continue;
        auto* menu = new QMenu(b);
        menu->setObjectName(row->menuName);
        for (const kana::KanaCode* item : kana::popupItems(row->code)) {
            QAction* a = menu->addAction(item->caption);
            a->setObjectName(item->objectName);
            const int itemCode = item->code;
            connect(a, &QAction::triggered, this, [this, itemCode] { emit kanaChosen(itemCode); });
        }
        b->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(b, &QWidget::customContextMenuRequested, menu,
                [b, menu](const QPoint& pos) { menu->popup(b->mapToGlobal(pos)); });
    }
    layout->addStretch();
}

QPushButton* TKanaButtons::button(const QString& objectName) const
{
    return findChild<QPushButton*>(objectName);
}

} // namespace tessolo::ui
