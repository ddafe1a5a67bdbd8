#include "ui/okrightdlg2.h"

#include "ui/windowstyle.h"
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TOKRightDlg2::TOKRightDlg2(QWidget* parent)
    : QDialog(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("OKRightDlg2"), QStringLiteral("確認ダイアログ"),
                             QColor(189, 235, 31)); // yellow-green
    setFixedSize(339, 114);

    auto* bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::Box);
    bevel->setFrameShadow(QFrame::Sunken);
    Label1 = new QLabel(QStringLiteral("Label1"), bevel);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont f = Label1->font();
    f.setPixelSize(16);
    Label1->setFont(f);
    Label1->setWordWrap(true);
    auto* bevelLayout = new QVBoxLayout(bevel);
    bevelLayout->addWidget(Label1);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    btncancel = new QPushButton(QStringLiteral("キャンセル"), this);
    btncancel->setObjectName(QStringLiteral("btncancel"));
    // Both are default buttons: Enter presses whichever holds the focus.
    OKBtn->setAutoDefault(true);
    btncancel->setAutoDefault(true);
    OKBtn->setDefault(true);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(btncancel);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(bevel, 1);
    layout->addLayout(buttons);
    setTabOrder(OKBtn, btncancel);

    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(btncancel, &QPushButton::clicked, this, [this] { btncancelClick(); });
}

bool TOKRightDlg2::ask(const QString& question)
{
    Label1->setText(question);
    exec();
    return i_cancel == 0;
}

void TOKRightDlg2::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormShow();
}

void TOKRightDlg2::FormShow()
{
    i_cancel = 1;
    OKBtn->setFocus();
}

void TOKRightDlg2::OKBtnClick()
{
    i_cancel = 0;
    Label1->setText(QString());
    accept();
}

void TOKRightDlg2::btncancelClick()
{
    i_cancel = 1;
    Label1->setText(QString());
    accept();
}

void TOKRightDlg2::keyPressEvent(QKeyEvent* e)
{
    // Neither button is a cancel button: Escape must not close the dialog.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}
