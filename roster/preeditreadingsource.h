#pragma once
// The reading of a commit, taken from the preedit that came before it. Watches
// the input-method events that reach one field.

#include "roster/readingcapture.h"
#include "roster/readingsource.h"

namespace tessolo::roster {

class TPreeditReadingSource : public TReadingSource {
    Q_OBJECT
public:
    explicit TPreeditReadingSource(QWidget* field);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    TReadingTracker m_tracker;
};

} // namespace tessolo::roster
