#include "ui/enternav.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace tessolo::ui {

namespace {

class FocusedButtonEnter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(e);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || key->isAutoRepeat())
            return false;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!button || !button->hasFocus() || !button->isEnabled())
            return false;
        button->click();
        return true;
    }
};

} // namespace

void enterPressesFocusedButtonOnly(QWidget* window)
{
    auto* filter = new FocusedButtonEnter(window);
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->installEventFilter(filter);
    }
}

TEnterNavigator::TEnterNavigator(QWidget* window, QList<QWidget*> keepEnter)
    : QObject(window),
      m_window(window),
      m_keepEnter(std::move(keepEnter))
{
    for (QWidget* w : window->findChildren<QWidget*>())
        w->installEventFilter(this);
}

bool TEnterNavigator::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w != m_window->focusWidget() || qobject_cast<QAbstractButton*>(w))
        return false;
    for (QWidget* keep : m_keepEnter)
        if (keep == w || keep->isAncestorOf(w))
            return false;
    // The move is the one Tab makes, so the field is left exactly as by Tab.
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &tab);
    return true;
}

} // namespace tessolo::ui
