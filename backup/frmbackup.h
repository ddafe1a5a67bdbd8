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
