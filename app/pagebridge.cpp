#include "app/pagebridge.h"

namespace tessolo::app {

void TPageBridge::chooseMarks(const QString& action, const QVariantList& calls)
{
    Action a;
    if (action == QLatin1String("atena"))
        a = Action::Atena;
    else if (action == QLatin1String("csv"))
        a = Action::Csv;
    else
        return;
    if (calls.size() > kMaxCalls)
        return;
    QList<int> numbers;
    numbers.reserve(calls.size());
    for (const QVariant& v : calls) {
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok || d < 0 || d > 2147483647.0 || d != double(int(d)))
            continue;
        numbers << int(d);
    }
    emit marksChosen(a, numbers);
}

} // namespace tessolo::app
