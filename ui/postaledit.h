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

class QLabel;

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

    // The text when the user entered the field (the current entry).
    QString textOnEntry() const { return m_textOnEntry; }

    // A short note under the field (a code not in the postal list); it goes
    // when the user types in the field again, or after a while.
    void showNote(const QString& text);
    // The note on display, empty when none.
    QString note() const;

signals:
    // The focus left the field for another control of the window (not when
    // the window itself lost the focus), after any refusal was decided.
    void exited();

protected:
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void showText(const QString& text);
    void pasteCleaned();

    // The text when the focus last came from another control of the window;
    // Escape returns to it. A focus that comes back from a popup, the menu
    // bar or another window continues the same entry.
    QString m_textOnEntry;
    bool m_refusing = false;
    TKeptValue<QString> m_kept; // what setStored() loaded
    QLabel* m_note = nullptr;
};

inline const QString kPostalInvalidMessage = QStringLiteral("入力値が無効です。エスケープ キーで変更を取り消せます");

inline const QString kPostalNotFoundMessage = QStringLiteral("郵便番号 %1 は郵便番号データにありません。");
inline const QString kPostalNotLoadedMessage =
    QStringLiteral("郵便番号データがまだ読み込まれていません。名簿一覧のメニュー「ファイル」→「郵便データ更新」"
                   "(Ctrl+U) で日本郵便の郵便番号データ (CSV) を読み込んでください。");

// Completes the address from the postal code table when the field is left
// with a code other than the one it held on entry (or with prefecture, city
// and town all empty): prefecture and city are set from the table, and the
// town too unless the address already begins with it, so that the house
// number typed after it stays; the focus moves to the town field. Where
// several towns share the code, the last is filled in and a popup under the
// field offers the others. A code not in the table changes nothing and says
// so under the field. Shared by every window with a postal code field.
void MaskEditPostalExit(TPostalMaskEdit* postal, QLineEdit* pref, QLineEdit* city, QLineEdit* addr);

} // namespace tessolo::ui
