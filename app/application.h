#pragma once
// The application object. Beyond QApplication it is the last safety net of
// the default error display: an exception that escapes an event handler is
// shown like any other failure instead of ending the program.

#include "ui/appevents.h"

#include <QApplication>
#include <QFont>

namespace tessolo::app {

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    // What the parts raise for each other; the map window connects to it.
    ui::TAppEvents m_events;
};

// The Japanese gothic the windows use: "ＭＳ Ｐゴシック" where installed,
// else the first of IPAPGothic, IPAGothic, Noto Sans CJK JP that exists.
QString japaneseFontFamily();
QFont japaneseFont(qreal pointSize);
// Makes that font the application's default.
void installJapaneseFont();
// Qt's own texts (the file dialog, a line edit's menu, the print dialog) in
// Japanese, as the rest of the program is, whatever the system's language.
// False when Qt's Japanese translations are not installed.
bool installJapaneseQtTexts();
// Registers the program's pictures (the icon); they live in a static library,
// which the linker would otherwise leave out.
void initResources();

} // namespace tessolo::app
