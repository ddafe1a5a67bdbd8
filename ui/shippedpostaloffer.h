#pragma once
// On the roster's first showing, while the postal table is empty, offer the
// postal list that ships with the program; loading it is the same update as
// "郵便データ更新". A user who ticks 「今後表示しない」 is not asked again:
// that choice is kept in a small settings file.

#include <QString>

class QWidget;

namespace tessolo::ui {

struct ShippedPostalOffer {
    QString folder;       // where ken_all.csv.gz and ken_all.info lie
    QString settingsFile; // where 「今後表示しない」 is remembered
};

// Start-up turns the offer on (tests turn it on with their own files); until
// then offerShippedPostalList() does nothing.
void enableShippedPostalOffer(const ShippedPostalOffer& offer);

// The question as it is shown, for the list's month.
QString shippedPostalQuestion(int year, int month);

// Asks once per run; true when the shipped list was loaded.
bool offerShippedPostalList(QWidget* parent);

} // namespace tessolo::ui
