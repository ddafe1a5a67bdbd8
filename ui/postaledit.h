#pragma once
// The postal code field: three required digits, a fixed hyphen, four optional
// digits. Its text() holds a blank for every empty position ("   -    " when
// nothing is typed) and "_" is shown for them. Leaving the field after a
// change while a required digit is missing is refused: a beep, the focus
// stays, and the message tells the user that Escape undoes the change.
//
// Qt's input mask alone is not enough: its text() drops the blanks and it
// never refuses the exit, so both live here.

#include <QLineEdit>

class QLineEdit;

namespace tessolo::ui {

class TPostalMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TPostalMaskEdit(QWidget* parent = nullptr);

    // Hide QLineEdit's own: the field's text always has its eight positions.
    QString text() const;
    void setText(const QString& text);

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
    QString m_textOnEntry;
    bool m_refusing = false;
};

inline const QString kPostalInvalidMessage =
    QStringLiteral("入力値が無効です。エスケープ キーで変更を取り消せます");

// Completes the address from the postal code table when the field is left:
// an empty field does nothing; otherwise prefecture, city and town are set
// from the table (emptied when the code is not there) and the focus moves to
// the town field. Shared by every window with a postal code field.
void MaskEditPostalExit(TPostalMaskEdit* postal, QLineEdit* pref, QLineEdit* city, QLineEdit* addr);

} // namespace tessolo::ui
