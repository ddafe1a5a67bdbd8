#pragma once
// The shared yes/no question asked before a delete. The caller writes the
// question into Label1, shows the dialog modally and reads i_cancel: every way
// out other than "OK" (the close box included) leaves it at 1, "declined".

#include <QDialog>

class QLabel;
class QPushButton;

class TOKRightDlg2 : public QDialog {
    Q_OBJECT
public:
    explicit TOKRightDlg2(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* btncancel = nullptr;
    qint32 i_cancel = 1;

    // Asks `question`; true when confirmed. Follows the calling order every
    // caller uses: set Label1, show modally, read i_cancel.
    bool ask(const QString& question);

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void FormShow();
    void OKBtnClick();
    void btncancelClick();
};
