#pragma once
// ヘルプ → 問題の報告: a text to send with a report of a problem, written
// to a file in the data folder. It says which program, which Qt and which
// system, where the database is and how large, and the last errors shown,
// without a customer's name, address or any other value from the data.

#include <QString>
#include <QStringList>

class QWidget;

namespace tessolo::app {

// The report's text. `errors` are the messages last shown; only their
// wording is kept (what is quoted in them, a value or a statement, is cut).
QString problemReportText(const QString& dbPath, const QStringList& errors);

// An error message with what it quotes cut off.
QString withoutData(const QString& message);

// Writes the report beside the database as tessolo-report-<time>.txt and
// says where it is. Throws TessoloError when it cannot be written.
void writeProblemReport(QWidget* parent);

} // namespace tessolo::app
