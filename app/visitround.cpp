#include "app/visitround.h"

#include <QUrlQuery>

namespace tessolo::app {

QList<VisitStop> visitStops(const std::vector<customer::Stored>& found, const QHash<qint64, qint64>& legOf)
{
    namespace col = customer::col;
    QList<VisitStop> stops;
    for (const customer::Stored& c : found) {
        const customer::Record& r = c.record;
        stops << VisitStop{(r[col::PersonName] + QLatin1Char(' ') + r[col::CompanyName]).trimmed(),
                           customer::address(r) + r[col::Building], r[col::Tel], legOf.value(c.rowid)};
    }
    return stops;
}

namespace {
// Waypoints a directions address carries at most between origin and destination.
constexpr int kMaxWaypoints = 9;
} // namespace

QString formatDistance(qint64 metres)
{
    if (metres < 1000)
        return QStringLiteral("%1 m").arg(metres);
    return QStringLiteral("%1 km").arg(double(metres) / 1000.0, 0, 'f', 1);
}

QString visitListHtml(const QString& start, const QList<VisitStop>& stops, qint64 returnMetres)
{
    const auto cell = [](const QString& s) {
        return QStringLiteral("<td>") + s.toHtmlEscaped() + QStringLiteral("</td>");
    };
    qint64 total = 0;
    QString rows;
    for (qsizetype i = 0; i < stops.size(); ++i) {
        const VisitStop& s = stops.at(i);
        total += s.legMetres;
        rows += QStringLiteral("<tr>") + cell(QString::number(i + 1)) + cell(s.name) + cell(s.address) + cell(s.tel) +
            QStringLiteral("<td align=\"right\">") + formatDistance(s.legMetres) + QStringLiteral("</td></tr>");
    }
    if (returnMetres >= 0) {
        total += returnMetres;
        rows += QStringLiteral("<tr><td></td>") + cell(QStringLiteral("出発地へ戻る")) + cell(start) +
            QStringLiteral("<td></td><td align=\"right\">") + formatDistance(returnMetres) +
            QStringLiteral("</td></tr>");
    }
    return QStringLiteral("<html><body><h2>訪問リスト</h2>") +
        QStringLiteral("<p>出発地: %1<br>訪問 %2 件・直線距離の合計 %3（道のりではありません）</p>")
            .arg(start.toHtmlEscaped())
            .arg(stops.size())
            .arg(formatDistance(total)) +
        QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">"
                       "<tr><th>順</th><th>氏名・会社名</th><th>住所</th><th>電話</th><th>前からの距離</th></tr>") +
        rows + QStringLiteral("</table></body></html>");
}

QUrl routePlannerUrl(const QString& start, const QList<VisitStop>& stops, bool backToStart, int* dropped)
{
    QStringList places;
    for (const VisitStop& s : stops)
        places << s.address;
    QString destination = start;
    if (!backToStart && !places.isEmpty())
        destination = places.takeLast();
    int left = 0;
    if (places.size() > kMaxWaypoints) {
        left = int(places.size()) - kMaxWaypoints;
        places = places.mid(0, kMaxWaypoints);
    }
    if (dropped)
        *dropped = left;
    QUrl url(QStringLiteral("https://www.google.com/maps/dir/"));
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("api"), QStringLiteral("1"));
    q.addQueryItem(QStringLiteral("origin"), QString::fromUtf8(QUrl::toPercentEncoding(start)));
    q.addQueryItem(QStringLiteral("destination"), QString::fromUtf8(QUrl::toPercentEncoding(destination)));
    if (!places.isEmpty())
        q.addQueryItem(QStringLiteral("waypoints"),
                       QString::fromUtf8(QUrl::toPercentEncoding(places.join(QLatin1Char('|')))));
    q.addQueryItem(QStringLiteral("travelmode"), QStringLiteral("driving"));
    url.setQuery(q);
    return url;
}

} // namespace tessolo::app
