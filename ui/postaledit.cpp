#include "ui/postaledit.h"

#include "data/store.h"

#include "postal/postalcode.h"
#include "data/sqlitedo.h"
#include "ui/errordisplay.h"
#include "ui/imemode.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
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
        : QObject(parent),
          m_held(QGuiApplication::mouseButtons() != Qt::NoButton)
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
        case QEvent::MouseMove: return m_held;
        case QEvent::MouseButtonRelease:
            if (!m_held)
                return false;
            finish();
            return true;
        default: return false;
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

// A code copied from a list comes as people write it ("〒215-0025",
// "２１５－００２５", "215 0025"): the mask would take its characters one by
// one into the wrong boxes. Cleaned first, seven digits fill the field.
void TPostalMaskEdit::pasteCleaned()
{
    const QString code = postal::cleaned(QGuiApplication::clipboard()->text());
    if (postal::isSevenDigits(code)) {
        showText(postal::postal2mask(code));
        setCursorPosition(maxLength());
        return;
    }
    insert(code);
}

void TPostalMaskEdit::keyPressEvent(QKeyEvent* e)
{
    if (e->matches(QKeySequence::Paste)) {
        pasteCleaned();
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Escape && text() != m_textOnEntry) {
        showText(m_textOnEntry); // undoing an edit keeps what was loaded
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void TPostalMaskEdit::mousePressEvent(QMouseEvent* e)
{
    QLineEdit::mousePressEvent(e);
    // Typing into an empty field starts at its first position wherever the
    // click landed: from the middle the digits would run past the hyphen.
    if (e->button() == Qt::LeftButton && text() == postal::kEmptyField)
        setCursorPosition(0);
}

void TPostalMaskEdit::hideEvent(QHideEvent* e)
{
    if (m_note)
        m_note->hide();
    QLineEdit::hideEvent(e);
}

void TPostalMaskEdit::showNote(const QString& text)
{
    if (!m_note) {
        m_note = new QLabel(this, Qt::ToolTip);
        m_note->setObjectName(QStringLiteral("PostalNote"));
        m_note->setForegroundRole(QPalette::ToolTipText);
        m_note->setBackgroundRole(QPalette::ToolTipBase);
        m_note->setAutoFillBackground(true);
        m_note->setFrameStyle(QFrame::Box | QFrame::Plain);
        m_note->setMargin(4);
        m_note->setWordWrap(true);
        m_note->setMaximumWidth(420);
        auto* timer = new QTimer(m_note);
        timer->setObjectName(QStringLiteral("noteTimer"));
        timer->setSingleShot(true);
        timer->setInterval(15000);
        connect(timer, &QTimer::timeout, m_note, &QWidget::hide);
        connect(this, &QLineEdit::textEdited, m_note, &QWidget::hide);
    }
    m_note->setText(text);
    m_note->adjustSize();
    m_note->move(mapToGlobal(QPoint(0, height() + 2)));
    m_note->show();
    m_note->findChild<QTimer*>(QStringLiteral("noteTimer"))->start();
}

QString TPostalMaskEdit::note() const { return m_note && m_note->isVisible() ? m_note->text() : QString(); }

namespace {

// The town goes into the address unless the address already begins with it:
// then what was typed after the town stays.
void fillAddress(const postal::PostalAddress& a, const QString& addressBefore, QLineEdit* pref, QLineEdit* city,
                 QLineEdit* addr)
{
    pref->setText(a.prefecture);
    city->setText(a.city);
    addr->setText(addressBefore.startsWith(a.town) ? addressBefore : a.town);
}

// A popup list under the field, the last town highlighted: Enter or a click
// takes a town, Escape keeps the last. Returns the index taken.
qsizetype chooseTown(QWidget* field, const QList<postal::PostalAddress>& found)
{
    QMenu menu(field);
    menu.setObjectName(QStringLiteral("PostalChoices"));
    for (qsizetype i = 0; i < found.size(); ++i) {
        const postal::PostalAddress& a = found.at(i);
        QString label = a.city + a.town;
        menu.addAction(label.replace(QLatin1Char('&'), QStringLiteral("&&")))->setData(int(i));
    }
    QAction* chosen = nullptr;
    QEventLoop loop;
    QObject::connect(&menu, &QMenu::triggered, &menu, [&](QAction* a) { chosen = a; });
    QObject::connect(&menu, &QMenu::aboutToHide, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    menu.popup(field->mapToGlobal(QPoint(0, field->height())));
    menu.setActiveAction(menu.actions().last());
    loop.exec();
    return chosen ? chosen->data().toInt() : found.size() - 1;
}

} // namespace

void MaskEditPostalExit(TPostalMaskEdit* postal, QLineEdit* pref, QLineEdit* city, QLineEdit* addr)
{
    const QString fieldText = postal->text();
    if (fieldText == postal::kEmptyField)
        throw EAbort();
    // Passing through the field of an address already filled in changes
    // nothing: completing it again would cut the house number off.
    const bool blank = pref->text().isEmpty() && city->text().isEmpty() && addr->text().isEmpty();
    if (fieldText == postal->textOnEntry() && !blank)
        throw EAbort();
    const QString key = postal::toStored(fieldText);
    QList<postal::PostalAddress> found;
    bool loaded = true;
    {
        // The file or the office's server, whichever the program works on.
        store::TStore& db = store::current();
        found = db.postalAddresses(key);
        if (found.isEmpty())
            loaded = db.postalListLoaded();
    }
    if (found.isEmpty()) {
        postal->showNote(loaded ? kPostalNotFoundMessage.arg(fieldText.trimmed()) : kPostalNotLoadedMessage);
        throw EAbort();
    }
    const QString addressBefore = addr->text();
    fillAddress(found.last(), addressBefore, pref, city, addr);
    addr->setFocus(Qt::OtherFocusReason);
    if (found.size() > 1) {
        const qsizetype taken = chooseTown(postal, found);
        if (taken != found.size() - 1)
            fillAddress(found.at(taken), addressBefore, pref, city, addr);
    }
}

} // namespace tessolo::ui
