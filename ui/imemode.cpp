#include "ui/imemode.h"

#include "text/katakana.h"

#include <QEvent>
#include <QInputMethodEvent>
#include <QObject>
#include <QVariant>
#include <QWidget>

namespace tessolo::ui {

namespace {

constexpr char kModeProperty[] = "tessoloImeMode";
constexpr char kFilterName[] = "tessoloKatakanaCommitFilter";

// Widens a hiragana commit into katakana before the field sees it. Only text
// that the input method commits passes through here: keys typed with the
// input method off, pasted text and text set by the program stay as they are.
class KatakanaCommitFilter : public QObject {
public:
    explicit KatakanaCommitFilter(QObject* parent)
        : QObject(parent)
    {
        setObjectName(QString::fromLatin1(kFilterName));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::InputMethod) {
            auto* ime = static_cast<QInputMethodEvent*>(e);
            const QString commit = ime->commitString();
            if (!commit.isEmpty()) {
                const QString kata = hiraganaToKatakana(commit);
                if (kata != commit)
                    ime->setCommitString(kata, ime->replacementStart(), ime->replacementLength());
            }
        }
        return QObject::eventFilter(watched, e);
    }
};

void applyPlatformMode(QWidget* w, ImeMode mode)
{
    w->setAttribute(Qt::WA_InputMethodEnabled, mode != ImeMode::Off);
#ifdef Q_OS_WIN
    // A Windows build requests the conversion mode natively when the field
    // takes the focus (ImmSetConversionStatus) instead of emulating it.
    return;
#endif
    // Found by name: the filter has no meta-object of its own to cast to.
    QObject* existing = w->findChild<QObject*>(QString::fromLatin1(kFilterName), Qt::FindDirectChildrenOnly);
    if (mode == ImeMode::Katakana && !existing)
        w->installEventFilter(new KatakanaCommitFilter(w));
    else if (mode != ImeMode::Katakana && existing)
        delete existing; // removes itself from the widget's filters
}

} // namespace

void setImeMode(QWidget* w, ImeMode mode)
{
    w->setProperty(kModeProperty, int(mode));
    applyPlatformMode(w, mode);
}

ImeMode imeMode(const QWidget* w)
{
    const QVariant v = w->property(kModeProperty);
    return v.isValid() ? ImeMode(v.toInt()) : ImeMode::Hiragana;
}

} // namespace tessolo::ui
