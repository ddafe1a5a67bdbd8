#pragma once
// The roster's ファイル → バックアップ commands besides the restore window:
// a copy on demand, writing the data out for another PC and reading it in.

#include <QString>

class QWidget;

namespace tessolo::backupui {

// "今すぐバックアップ": a dated copy; says where it went.
void backupNow(QWidget* parent);

// "データの書き出し…": a copy to a place the user chooses.
void exportData(QWidget* parent);

// "データの読み込み…": replaces the data with a chosen file. True when the
// data was replaced.
bool importData(QWidget* parent);

// Puts `file` in place of the current data: checks it, asks `question`,
// backs the current data up, replaces it and tells the windows. Declined or
// refused, nothing changes. True when the data was replaced.
bool replaceData(QWidget* parent, const QString& file, const QString& question);

} // namespace tessolo::backupui
