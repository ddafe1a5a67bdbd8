#pragma once
// The restore window: the copies in the backup folder, newest first, each
// with its date, its number of customers and its size as read from the copy
// itself. A damaged copy is listed as such and cannot be chosen.

#include "data/backup.h"

#include <QDialog>
#include <QList>

class QLabel;
class QPushButton;
class QTreeWidget;

class TfrmBackup : public QDialog {
    Q_OBJECT
public:
    explicit TfrmBackup(QWidget* parent = nullptr);

    QLabel* LabelFolder = nullptr;
    QTreeWidget* ListViewCopies = nullptr;
    QPushButton* btnrestore = nullptr;
    QPushButton* btnclose = nullptr;

    // Reads the folder again.
    void loadCopies();
    // True once a copy has been put back.
    bool restored() const { return m_restored; }

private:
    void btnrestoreClick();
    void updateButtons();

    QList<tessolo::backup::CopyInfo> m_copies;
    bool m_restored = false;
};

// The roster's ファイル → バックアップ commands besides the restore window:
// a copy on demand, writing the data out for another PC and reading it in.
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
