#pragma once
// The kana index: "全表示" and one button per kana row, each row button with a
// right-click popup menu of the row's single kana. Buttons, menus and items
// carry the names and codes of the shared kana table; every one of them only
// reports its code.

#include <QWidget>

class QPushButton;

namespace tessolo::ui {

class TKanaButtons : public QWidget {
    Q_OBJECT
public:
    explicit TKanaButtons(QWidget* parent = nullptr);

    QPushButton* button(const QString& objectName) const;

signals:
    void kanaChosen(int kanaCode);
};

} // namespace tessolo::ui
