#pragma once
// The one way the map page speaks to the program: it names the customers the
// user chose (by the rowids the program gave with each search_geo2 call) and
// what to do with them, or the one customer whose roster entry to open. The
// map window only takes rowids it gave the page itself; nothing else from
// the page is taken in.

#include <QList>
#include <QObject>
#include <QUrl>
#include <QVariantList>

namespace tessolo::app {

class TPageBridge : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    enum class Action { Atena, Csv };
    Q_ENUM(Action)

    // From the page: action "atena" or "csv", and the customers' rowids.
    Q_INVOKABLE void chooseMarks(const QString& action, const QVariantList& rowids);
    // From a popup's 名簿で開く.
    Q_INVOKABLE void openCustomer(const QVariant& rowid);
    // From the round of visits: action "list" (print 訪問リスト) or "planner"
    // (a web route planner), the customers in visiting order with each
    // leg's metres, and the way back's (-1: the round does not return).
    Q_INVOKABLE void visitRound(const QString& action, const QVariantList& rowids, const QVariantList& legs,
                                const QVariant& returnLeg);
    // From a popup's telephone or mail link: only tel: and mailto: pass.
    Q_INVOKABLE void openLink(const QString& url);

    static constexpr qsizetype kMaxCalls = 1000000;

signals:
    void marksChosen(tessolo::app::TPageBridge::Action action, const QList<qint64>& rowids);
    void customerOpened(qint64 rowid);
    void linkOpened(const QUrl& url);
    void visitRoundChosen(bool planner, const QList<qint64>& rowids, const QList<qint64>& legs, qint64 returnLeg);
};

} // namespace tessolo::app
