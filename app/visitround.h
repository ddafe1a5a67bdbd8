#pragma once
// A round of visits the map page ordered: the list that is printed or saved
// as a PDF (order, name, address, telephone, distance from the previous
// stop), and the address of a web route planner with the stops in order.

#include "customer/customer.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>
#include <vector>

namespace tessolo::app {

struct VisitStop {
    QString name;    // person and company as the roster shows them
    QString address; // prefecture + city + town + building
    QString tel;
    qint64 legMetres = 0; // straight-line distance from the stop before
};

// The stops of the customers found, in their order, each with the leg the
// page measured to it (by rowid): one deleted meanwhile by another program is
// passed over without moving its leg onto the next.
QList<VisitStop> visitStops(const std::vector<customer::Stored>& found, const QHash<qint64, qint64>& legOf);

// The list as an HTML document for printing: the start, each stop numbered,
// and the way back when the round returns (returnMetres < 0: it does not).
QString visitListHtml(const QString& start, const QList<VisitStop>& stops, qint64 returnMetres);

// "12.3 km" / "850 m".
QString formatDistance(qint64 metres);

// A web route planner's directions from the start through the stops in
// order, back to the start or ending at the last stop. The planner takes a
// limited number of waypoints: the rest are left out and `dropped` says how
// many.
QUrl routePlannerUrl(const QString& start, const QList<VisitStop>& stops, bool backToStart, int* dropped = nullptr);

} // namespace tessolo::app
