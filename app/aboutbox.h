#pragma once
// The About box: product, version, maker. It has no behaviour of its own.

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr;
    QLabel* DatabaseFile = nullptr; // the full path of the open database
    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
};
