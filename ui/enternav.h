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

} // namespace tessolo::ui
