#include "app/application.h"

#include "data/errors.h"
#include "ui/errordisplay.h"

#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

static void initTessoloResources() { Q_INIT_RESOURCE(tessolo); }

namespace tessolo::app {

void initResources()
{
    static const bool once = (initTessoloResources(), true);
    Q_UNUSED(once);
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    initResources();
    setApplicationName(QStringLiteral("Tessolo"));
    setApplicationDisplayName(QStringLiteral("Tessolo"));
    setApplicationVersion(QStringLiteral(TESSOLO_VERSION));
    setWindowIcon(QIcon(QStringLiteral(":/tessolo/icon64.png")));
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    // Handlers are wrapped with ui::guarded; this catches what a handler
    // outside that wrapping lets through. What the handler did stays done.
    bool handled = false;
    ui::runHandler([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

QString japaneseFontFamily()
{
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const QString& f :
             {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
              QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")}) {
            if (installed.contains(f))
                return f;
        }
        return QString();
    }();
    return family;
}

QFont japaneseFont(qreal pointSize)
{
    QFont f;
    const QString family = japaneseFontFamily();
    if (!family.isEmpty())
        f.setFamilies({family});
    if (pointSize > 0)
        f.setPointSizeF(pointSize);
    return f;
}

void installJapaneseFont()
{
    const QString family = japaneseFontFamily();
    if (family.isEmpty())
        return;
    QFont f = QApplication::font();
    f.setFamilies({family});
    QApplication::setFont(f);
}

bool installJapaneseQtTexts()
{
    // qtbase_ja pulls in the other modules' Japanese texts it knows of.
    static QTranslator qt;
    if (!qt.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(&qt);
    return true;
}

} // namespace tessolo::app
