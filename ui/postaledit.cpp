#include "ui/postaledit.h"

#include "data/postalcode.h"
#include "data/sqlitedo.h"
#include "ui/errordisplay.h"
#include "ui/imemode.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QValidator>

namespace tessolo::ui {

namespace {
constexpr QChar kShownBlank = u'_';
constexpr qsizetype kHyphenAt = 3;

// The focus going to another window (a message box, the window being hidden),
// a popup, or the menu bar (Alt) and coming back from there: the user has not
// left the field, and coming back continues the same entry.
bool isExcursion(Qt::FocusReason r)
{
    return r == Qt::ActiveWindowFocusReason || r == Qt::PopupFocusReason || r == Qt::MenuBarFocusReason;
}

// Qt's mask digits are QChar::isDigit(), every script's. Full-width digits
// are what a user typing with the input method on meant by 0-9; any other
// script's digit is refused (the edit is undone).
class AsciiDigits : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        for (QChar& c : input) {
            const char16_t u = c.unicode();
            if (u >= 0xFF10 && u <= 0xFF19)
                c = QChar(char16_t(u'0' + (u - 0xFF10)));
            else if (u > 0x7F && c.isDigit())
                return Invalid;
        }
        return Acceptable;
    }
};

// A refused click must not go on to the control it was meant for. The press
// that moved the focus is still on its way to that control when the refusal's
// message box has gone: that press is eaten, and, if the button is still
// held, the moves and the release that belong to it. Installed only after the
// box has closed, so that the box's own clicks are never touched.
class ClickSwallower : public QObject {
public:
    explicit ClickSwallower(QObject* parent)
        : QObject(parent)
        , m_held(QGuiApplication::mouseButtons() != Qt::NoButton)
    {
        // With the button already up, only the press now being delivered
        // remains; it arrives before the event loop runs again.
        if (!m_held)
            QTimer::singleShot(0, this, [this] { deleteLater(); });
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        // The window passes the click on to the widget and tidies up after
        // it; only the widget's share is eaten.
        if (m_done || !receiver->isWidgetType())
            return false;
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (!m_held)
                finish();
            return true;
        case QEvent::MouseMove:
            return m_held;
        case QEvent::MouseButtonRelease:
            if (!m_held)
                return false;
            finish();
            return true;
        default:
            return false;
        }
    }

private:
    void finish()
    {
        m_done = true;
        deleteLater();
    }

    bool m_held;
    bool m_done = false;
};
} // namespace

TPostalMaskEdit::TPostalMaskEdit(QWidget* parent)
    : QLineEdit(parent)
{
    // Qt's mask letters are the reverse of the usual ones: '9' is a required
    // digit and '0' an optional one.
    setInputMask(QStringLiteral("999-0000;_")); // eight characters at most
    setValidator(new AsciiDigits(this));
    setImeMode(this, ImeMode::Off);
    m_textOnEntry = text();
}

QString TPostalMaskEdit::text() const
{
    QString t = displayText();
    t.replace(kShownBlank, QLatin1Char(' '));
    return t;
}

void TPostalMaskEdit::showText(const QString& text)
{
    // Handed a whole text, the mask moves every character up past a blank
    // (or past one it refuses) into the next free position. Each character
    // is put at its own position instead; one the mask refuses leaves that
    // position empty.
    QLineEdit::setText(QString());
    const qsizetype n = qMin(text.size(), qsizetype(maxLength()));
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (i == kHyphenAt || c == QLatin1Char(' ') || c == kShownBlank)
            continue;
        setCursorPosition(int(i));
        insert(QString(c));
    }
    setCursorPosition(0);
}

void TPostalMaskEdit::setText(const QString& text)
{
    showText(text);
    m_kept.forget();
    if (!hasFocus())
        m_textOnEntry = this->text();
}

void TPostalMaskEdit::setStored(const QString& stored)
{
    setText(postal::postal2mask(stored));
    m_kept.keep(stored, text());
}

QString TPostalMaskEdit::stored() const
{
    const QString t = text();
    return m_kept.stored(t, [&] { return postal::toStored(t); });
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
    if (!m_refusing && !isExcursion(e->reason()))
        m_textOnEntry = text();
    QLineEdit::focusInEvent(e);
}

void TPostalMaskEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    const Qt::FocusReason r = e->reason();
    if (isExcursion(r) || m_refusing)
        return;
    if (text() != m_textOnEntry && requiredMissing()) {
        m_refusing = true;
        QApplication::beep();
        setFocus(Qt::OtherFocusReason);
        showError(kPostalInvalidMessage);
        setFocus(Qt::OtherFocusReason);
        m_refusing = false;
        if (r == Qt::MouseFocusReason)
            qApp->installEventFilter(new ClickSwallower(qApp));
        return;
    }
    emit exited();
}

void TPostalMaskEdit::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && text() != m_textOnEntry) {
        showText(m_textOnEntry); // undoing an edit keeps what was loaded
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
