#include "roster/preeditreadingsource.h"

#include <QEvent>
#include <QInputMethodEvent>
#include <QWidget>

namespace tessolo::roster {

TReadingSource* TReadingSource::create(QWidget* nameField) { return new TPreeditReadingSource(nameField); }

TPreeditReadingSource::TPreeditReadingSource(QWidget* field)
    : TReadingSource(field)
{
    field->installEventFilter(this);
}

bool TPreeditReadingSource::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::InputMethod) {
        auto* ime = static_cast<QInputMethodEvent*>(e);
        // One event may end a composition and start the next one.
        if (!ime->commitString().isEmpty()) {
            const QString reading = m_tracker.commit(ime->commitString());
            if (!reading.isEmpty())
                emit readingCommitted(reading);
        }
        m_tracker.preedit(ime->preeditString());
    }
    return TReadingSource::eventFilter(watched, e);
}

} // namespace tessolo::roster
