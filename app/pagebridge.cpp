#include "app/pagebridge.h"

namespace tessolo::app {

namespace {

// A rowid as the page sends it: a whole, positive number a double holds
// exactly (the page's numbers are doubles).
bool readRowid(const QVariant& v, qint64& out)
{
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok || !(d > 0) || d > 9007199254740991.0 || d != double(qint64(d)))
        return false;
    out = qint64(d);
    return true;
}

} // namespace

void TPageBridge::chooseMarks(const QString& action, const QVariantList& rowids)
{
    Action a;
    if (action == QLatin1String("atena"))
        a = Action::Atena;
    else if (action == QLatin1String("csv"))
        a = Action::Csv;
    else
        return;
    if (rowids.size() > kMaxCalls)
        return;
    QList<qint64> numbers;
    numbers.reserve(rowids.size());
    for (const QVariant& v : rowids) {
        qint64 id = 0;
        if (readRowid(v, id))
            numbers << id;
    }
    emit marksChosen(a, numbers);
}

void TPageBridge::openCustomer(const QVariant& rowid)
{
    qint64 id = 0;
    if (readRowid(rowid, id))
        emit customerOpened(id);
}

void TPageBridge::visitRound(const QString& action, const QVariantList& rowids, const QVariantList& legs,
                             const QVariant& returnLeg)
{
    if ((action != QLatin1String("list") && action != QLatin1String("planner")) || rowids.size() != legs.size() ||
        rowids.size() > kMaxCalls)
        return;
    QList<qint64> ids, metres;
    for (qsizetype i = 0; i < rowids.size(); ++i) {
        qint64 id = 0;
        bool ok = false;
        const double m = legs.at(i).toDouble(&ok);
        if (!readRowid(rowids.at(i), id) || !ok || !(m >= 0) || m > 1e9)
            continue;
        ids << id;
        metres << qint64(m);
    }
    bool ok = false;
    const double back = returnLeg.toDouble(&ok);
    emit visitRoundChosen(action == QLatin1String("planner"), ids, metres,
                          ok && back >= 0 && back < 1e9 ? qint64(back) : -1);
}

void TPageBridge::openLink(const QString& url)
{
    const QUrl u(url, QUrl::StrictMode);
    if (!u.isValid() || url.size() > 512)
        return;
    const QString scheme = u.scheme().toLower();
    if (scheme == QLatin1String("tel") || scheme == QLatin1String("mailto"))
        emit linkOpened(u);
}

} // namespace tessolo::app
