#pragma once
// Enter moves to the next tab stop of the window, as Tab does, and the key is
// consumed so the field never sees it. Buttons keep Enter (it presses them)
// and the listed multi-line fields keep it for their line breaks.

#include <QList>
#include <QObject>

class QWidget;

namespace tessolo::ui {

class TEnterNavigator : public QObject {
    Q_OBJECT
public:
    // Watches every control of `window` present now; `keepEnter` get Enter.
    TEnterNavigator(QWidget* window, QList<QWidget*> keepEnter);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QWidget* m_window;
    QList<QWidget*> m_keepEnter;
};

// Enter presses the button that holds the focus, and no other: the window's
// push buttons lose their part in the dialog's default button, so Enter in a
// list or a field never presses a button the user is not on. Call it once the
// window's buttons exist.
void enterPressesFocusedButtonOnly(QWidget* window);

} // namespace tessolo::ui
