#include "ui/postaledit.h"

#include "data/postalcode.h"
#include "data/sqlitedo.h"
#include "ui/errordisplay.h"
#include "ui/imemode.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>

namespace tessolo::ui {

namespace {
constexpr QChar kShownBlank = u'_';

// When a click elsewhere is refused, the click itself must not go on: the
// button under the mouse would otherwise be pressed with the field invalid.
// Eats the mouse events of that one click, up to its release.
class ClickSwallower : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        // The window passes the click on to the widget and tidies up after
        // it; only the widget's share is eaten.
        if (!receiver->isWidgetType())
            return false;
        switch (e->type()) {
        case QEvent::MouseButtonRelease:
            deleteLater();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            return true;
        default:
            return false;
        }
    }
};
} // namespace

TPostalMaskEdit::TPostalMaskEdit(QWidget* parent)
    : QLineEdit(parent)
{
    // Qt's mask letters are the reverse of the usual ones: '9' is a required
    // digit and '0' an optional one.
    setInputMask(QStringLiteral("999-0000;_")); // eight characters at most
    setImeMode(this, ImeMode::Off);
    m_textOnEntry = text();
}

QString TPostalMaskEdit::text() const
{
    QString t = displayText();
    t.replace(kShownBlank, QLatin1Char(' '));
    return t;
}

void TPostalMaskEdit::setText(const QString& text)
{
    QString t = text;
    t.replace(kShownBlank, QLatin1Char(' '));
    QLineEdit::setText(t);
    if (!hasFocus())
        m_textOnEntry = this->text();
}

bool TPostalMaskEdit::requiredMissing() const
{
    const QString t = text();
    for (int i = 0; i < 3; ++i)
        if (i >= t.size() || !t.at(i).isDigit())
            return true;
    return false;
}

void TPostalMaskEdit::focusInEvent(QFocusEvent* e)
{
    if (!m_refusing)
        m_textOnEntry = text();
    QLineEdit::focusInEvent(e);
}

void TPostalMaskEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    // Losing the focus to another window (a message box, the window being
    // hidden) is not leaving the field.
    const Qt::FocusReason r = e->reason();
    if (r == Qt::ActiveWindowFocusReason || r == Qt::PopupFocusReason || m_refusing)
        return;
    if (text() != m_textOnEntry && requiredMissing()) {
        m_refusing = true;
        if (r == Qt::MouseFocusReason)
            qApp->installEventFilter(new ClickSwallower(qApp));
        QApplication::beep();
        setFocus(Qt::OtherFocusReason);
        showError(kPostalInvalidMessage);
        setFocus(Qt::OtherFocusReason);
        m_refusing = false;
        return;
    }
    emit exited();
}

void TPostalMaskEdit::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && text() != m_textOnEntry) {
        setText(m_textOnEntry);
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void MaskEditPostalExit(TPostalMaskEdit* postal, QLineEdit* pref, QLineEdit* city, QLineEdit* addr)
{
    const QString fieldText = postal->text();
    if (fieldText == postal::kEmptyField)
        throw EAbort();
    const QString key = postal::toStored(fieldText);
    QString prefecture, cityName, town;
    {
        TSQLiteDo db;
        db.setDBpoint(kDatabaseName);
        db.postal2address(key, prefecture, cityName, town);
        db.closeDBpoint();
    }
    pref->setText(prefecture);
    city->setText(cityName);
    addr->setText(town);
    addr->setFocus(Qt::OtherFocusReason);
}

} // namespace tessolo::ui
