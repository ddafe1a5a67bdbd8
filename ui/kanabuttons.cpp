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
        b->setCheckable(true);
        b->setMinimumWidth(b->fontMetrics().horizontalAdvance(row->caption) + 16);
        layout->addWidget(b);
        const int code = row->code;
        connect(b, &QPushButton::clicked, this, [this, code] { choose(code); });

        if (row->menuName.isEmpty())
            continue;
        auto* menu = new QMenu(b);
        menu->setObjectName(row->menuName);
        for (const kana::KanaCode* item : kana::popupItems(row->code)) {
            QAction* a = menu->addAction(item->caption);
            a->setObjectName(item->objectName);
            const int itemCode = item->code;
            connect(a, &QAction::triggered, this, [this, itemCode] { choose(itemCode); });
        }
        b->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(b, &QWidget::customContextMenuRequested, menu,
                [b, menu](const QPoint& pos) { menu->popup(b->mapToGlobal(pos)); });
    }
    layout->addStretch();
    setCurrent(0);
}

void TKanaButtons::choose(int kanaCode)
{
    setCurrent(kanaCode);
    emit kanaChosen(kanaCode);
}

void TKanaButtons::setCurrent(int kanaCode)
{
    const auto& codes = kana::codes();
    if (kanaCode < 0 || kanaCode >= int(codes.size()))
        kanaCode = 0;
    m_current = kanaCode;
    const int row = codes[size_t(kanaCode)].rowCode;
    for (const kana::KanaCode* r : kana::rowButtons()) {
        if (QPushButton* b = button(r->objectName))
            b->setChecked(r->code == row);
    }
}

QPushButton* TKanaButtons::button(const QString& objectName) const { return findChild<QPushButton*>(objectName); }

} // namespace tessolo::ui
