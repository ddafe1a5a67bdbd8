// Start-up: the window set in its order, and the application's safety net for
// an exception that escapes a handler.

#include "data/datalocation.h"
#include "app/application.h"
#include "app/frmmapbrows.h"
#include "ui/okrightdlg2.h"
#include "ui/windowset.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "ui/errordisplay.h"
#include "tests/testevents.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

class Thrower : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw tessolo::TessoloError(QStringLiteral("handler failed"));
        if (e->type() == QEvent::User + 1)
            throw tessolo::EAbort();
        return QObject::event(e);
    }
};

} // namespace

class MapAppTest : public QObject {
    Q_OBJECT
private slots:
    void escapedExceptionIsShown()
    {
        QStringList errors;
        QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::errorRaised, [&](const QString& m) { errors << m; });
        Thrower t;
        QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&t, new QEvent(QEvent::Type(QEvent::User + 1)));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(errors, QStringList{QStringLiteral("handler failed")});
        QObject::disconnect(&testEvents(), &tessolo::ui::TAppEvents::errorRaised, nullptr, nullptr);
    }

    void windowSetInOrder()
    {
        QTemporaryDir tmp;
        tessolo::location::setDataDirectory(tmp.path());
        QVERIFY(!QFile::exists(tmp.filePath(tessolo::kDatabaseName)));
        tessolo::app::createWindowSet();
        QVERIFY(frmMapbrows && OKRightDlg2 && AboutBox);
        QVERIFY(frmAddress);
        QVERIFY(frmOurcompany);
        QVERIFY(frmCsvin);
        QVERIFY(frmClntsrc);
        QVERIFY(QFile::exists(tmp.filePath(tessolo::kDatabaseName)));
        // Nothing is shown until start-up shows the map window.
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        tessolo::app::destroyWindowSet();
        QVERIFY(!frmMapbrows && !AboutBox && !OKRightDlg2);
    }

    // Last: the texts stay installed for the rest of the process.
    void qtOwnDialogsSpeakJapanese()
    {
        QVERIFY2(tessolo::app::installJapaneseQtTexts(),
                 "Qt's Japanese translations (qt6-translations-l10n) are missing");
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("アドレス:"));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    tessolo::app::TApplication app(argc, argv);
    MapAppTest t;
    return QTest::qExec(&t, argc, argv);
}
#include "mapapp_test.moc"
