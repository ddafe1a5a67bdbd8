#pragma once
// The postal code field: three required digits, a fixed hyphen, four optional
// digits. Its text() holds a blank for every empty position ("   -    " when
// nothing is typed) and "_" is shown for them. Leaving the field after a
// change while a required digit is missing is refused: a beep, the focus
// stays, and the message tells the user that Escape undoes the change.
//
// Qt's input mask alone is not enough: its text() drops the blanks, it
// accepts every script's digits and it never refuses the exit, so all three
// live here. Only 0-9 go in; full-width digits are taken as the ASCII digits
// the user meant.

#include "ui/keptvalue.h"

#include <QLineEdit>

namespace tessolo::ui {

class TPostalMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TPostalMaskEdit(QWidget* parent = nullptr);

    // Hide QLineEdit's own: the field's text always has its eight positions.
    QString text() const;
    void setText(const QString& text);

    // A stored code loaded into the field (each character at its position),
    // and the value to store back. A stored value the field cannot show as it
    // is (letters, too few digits) is given back unchanged for as long as the
    // field still shows what it showed on loading.
    void setStored(const QString& stored);
    QString stored() const;

    // True when one of the three required digits is empty.
    bool requiredMissing() const;

signals:
    // The focus left the field for another control of the window (not when
    // the window itself lost the focus), after any refusal was decided.
    void exited();

protected:
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void showText(const QString& text);

    // The text when the focus last came from another control of the window;
    // Escape returns to it. A focus that comes back from a popup, the menu
    // bar or another window continues the same entry.
    QString m_textOnEntry;
    bool m_refusing = false;
    TKeptValue<QString> m_kept; // what setStored() loaded
};

inline const QString kPostalInvalidMessage =
    QStringLiteral("入力値が無効です。エスケープ キーで変更を取り消せます");

// Completes the address from the postal code table when the field is left:
// an empty field does nothing; otherwise prefecture, city and town are set
// from the table (emptied when the code is not there) and the focus moves to
// the town field. Shared by every window with a postal code field.
void MaskEditPostalExit(TPostalMaskEdit* postal, QLineEdit* pref, QLineEdit* city, QLineEdit* addr);

} // namespace tessolo::ui
