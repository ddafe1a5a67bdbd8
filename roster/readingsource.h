#pragma once
// Where the reading of a committed conversion comes from. Linux takes it from
// the composition (TPreeditReadingSource); a Windows build can take the input
// method's own reading (GCS_RESULTREADSTR) behind this same interface.

#include <QObject>

class QWidget;

namespace tessolo::roster {

class TReadingSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The platform's source for a name field; owned by the field.
    static TReadingSource* create(QWidget* nameField);

signals:
    // Emitted before the field inserts the committed text, with the reading
    // as the platform knows it (not yet trimmed or widened).
    void readingCommitted(const QString& reading);
};

} // namespace tessolo::roster
