#pragma once
// The kana index: "全表示" and one button per kana row, each row button with a
// right-click popup menu of the row's single kana. The button of the filter
// in force stays pressed, so that a narrowed list never looks like the whole. Buttons, menus and items
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
    // Shows which filter is on: the row button of the code (of its row for a
    // single kana) pressed, or 全表示 for 0; every other button up.
    void setCurrent(int kanaCode);
    int current() const { return m_current; }

signals:
    void kanaChosen(int kanaCode);

private:
    void choose(int kanaCode);
    int m_current = 0;
};

} // namespace tessolo::ui
