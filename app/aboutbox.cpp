#include "app/aboutbox.h"

#include "app/application.h"
#include "data/datalocation.h"

#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent)
{
    tessolo::app::initResources();
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFont(tessolo::app::japaneseFont(font().pointSizeF()));

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);

    ProgramIcon = new QLabel(panel);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setFixedSize(32, 32);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(QPixmap(QStringLiteral(":/tessolo/icon32.png")));

    ProductName = new QLabel(QStringLiteral("製品名: Tessolo"), panel);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    Version = new QLabel(QStringLiteral("バージョン %1").arg(QStringLiteral(TESSOLO_VERSION)), panel);
    Version->setObjectName(QStringLiteral("Version"));
    Copyright = new QLabel(QStringLiteral("Copyright (C) 2026 Tessolo 開発チーム"), panel);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Comments = new QLabel(QStringLiteral("https://tessolo.example.jp/"), panel);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->setWordWrap(true);
    DatabaseFile = new QLabel(panel);
    DatabaseFile->setObjectName(QStringLiteral("DatabaseFile"));
    DatabaseFile->setWordWrap(true);

    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(ProgramIcon);
    panelLayout->addWidget(ProductName);
    panelLayout->addWidget(Version);
    panelLayout->addWidget(Copyright);
    panelLayout->addWidget(Comments);
    panelLayout->addWidget(DatabaseFile);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);

    setFixedSize(298, 263);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    // A long path has no blanks to wrap at: let it break after each separator.
    const QString path = QDir::toNativeSeparators(tessolo::location::databaseFile());
    QString breakable = path;
    breakable.replace(QDir::separator(), QString(QDir::separator()) + QChar(0x200B));
    DatabaseFile->setText(QStringLiteral("データベース: ") + breakable);
    // Centred on the screen rather than on the window that opens it.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
