#pragma once
// The messages the program raises for its windows, seen by a test: one
// TAppEvents object for the whole test program, made on first use. A fixture
// connects what it wants to read and disconnects it again when it ends.

#include "ui/appevents.h"

inline tessolo::ui::TAppEvents& testEvents()
{
    // Never freed: connections of fixtures end before the program does.
    static auto* events = new tessolo::ui::TAppEvents;
    return *events;
}

#include <QStringList>

// Copies the errors and notices raised while it lives into the lists given
// (emptied first), as the default displays would have shown them.
class TShownMessages {
public:
    TShownMessages(QStringList& errors, QStringList& notices)
    {
        errors.clear();
        notices.clear();
        m_error = QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::errorRaised,
                                   [&errors](const QString& m) { errors << m; });
        m_notice = QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::noticeRaised,
                                    [&notices](QWidget*, const QString& m) { notices << m; });
    }
    ~TShownMessages()
    {
        QObject::disconnect(m_error);
        QObject::disconnect(m_notice);
    }
    TShownMessages(const TShownMessages&) = delete;
    TShownMessages& operator=(const TShownMessages&) = delete;

private:
    QMetaObject::Connection m_error;
    QMetaObject::Connection m_notice;
};
