#pragma once
// The one way the map page speaks to the program: it names the marks the user
// chose (by the number of the search_geo2 call that made each, counted from
// the page's load) and what to do with them. A number is only ever looked up
// in the program's own record of its calls; nothing else from the page is
// taken in.

#include <QList>
#include <QObject>
#include <QVariantList>

namespace tessolo::app {

class TPageBridge : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    enum class Action { Atena, Csv };
    Q_ENUM(Action)

    // From the page: action "atena" or "csv", and the call numbers.
    Q_INVOKABLE void chooseMarks(const QString& action, const QVariantList& calls);

    static constexpr qsizetype kMaxCalls = 1000000;

signals:
    void marksChosen(tessolo::app::TPageBridge::Action action, const QList<int>& calls);
};

} // namespace tessolo::app
