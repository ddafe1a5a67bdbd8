#include "ui/fieldform.h"

#include "data/errors.h"
#include "postal/postalcode.h"
#include "data/sqlitedb.h"
#include "ui/imemode.h"
#include "ui/memoedit.h"
#include "ui/postaledit.h"
#include "ui/storablecheck.h"

#include <QLineEdit>

namespace tessolo::ui {

namespace {

using fields::Role;

// The control named `name` in `window` itself, not in a window it holds.
QWidget* controlNamed(QWidget* window, const char* name)
{
    for (QWidget* w : window->findChildren<QWidget*>(QString::fromLatin1(name))) {
        if (w->window() == window)
            return w;
    }
    throw TessoloError(
        QStringLiteral("「%1」に項目「%2」がありません。").arg(window->objectName(), QString::fromLatin1(name)));
}

template <class W> W* as(QWidget* w)
{
    auto* typed = qobject_cast<W*>(w);
    if (!typed)
        throw TessoloError(QStringLiteral("項目「%1」の種類が違います。").arg(w->objectName()));
    return typed;
}

ImeMode imeFor(Role role)
{
    switch (role) {
    case Role::Reading: return ImeMode::Katakana;
    case Role::PostalCode:
    case Role::Phone:
    case Role::Mail:
    case Role::Web: return ImeMode::Off;
    case Role::Text:
    case Role::AddressPart:
    case Role::Memo: break;
    }
    return ImeMode::Hiragana;
}

} // namespace

TFieldForm::TFieldForm(QWidget* window, fields::Table table)
    : m_window(window),
      m_table(table)
{
    for (const fields::Field& f : table) {
        QWidget* w = controlNamed(window, f.control);
        // Check the kind once here, so that reading and writing cannot fail.
        if (f.role == Role::PostalCode)
            as<TPostalMaskEdit>(w);
        else if (f.role == Role::Memo)
            as<TMemoEdit>(w);
        else
            as<QLineEdit>(w);
        m_controls << w;
    }
}

QStringList TFieldForm::values() const
{
    QStringList out;
    out.reserve(m_controls.size());
    for (qsizetype i = 0; i < m_controls.size(); ++i) {
        QWidget* w = m_controls[i];
        switch (m_table[size_t(i)].role) {
        case Role::PostalCode: out << static_cast<TPostalMaskEdit*>(w)->stored(); break;
        case Role::Memo: out << static_cast<TMemoEdit*>(w)->stored(); break;
        default: out << static_cast<QLineEdit*>(w)->text();
        }
    }
    return out;
}

QStringList TFieldForm::storable() const
{
    const QStringList v = values();
    if (!confirmStorable(m_window, m_controls, v))
        throw EAbort();
    return v;
}

void TFieldForm::load(const TSQLiteTable& row) const
{
    QStringList values;
    for (qsizetype i = 0; i < m_controls.size(); ++i)
        values << row.NamedFieldAsString(m_table[size_t(i)].column.toString());
    loadValues(values);
}

void TFieldForm::loadValues(const QStringList& values) const
{
    for (qsizetype i = 0; i < m_controls.size(); ++i) {
        const fields::Field& f = m_table[size_t(i)];
        const QString value = values.value(i);
        if (f.role == Role::PostalCode)
            static_cast<TPostalMaskEdit*>(m_controls[i])->setStored(value);
        else if (f.role == Role::Memo)
            static_cast<TMemoEdit*>(m_controls[i])->setStored(value);
        else
            static_cast<QLineEdit*>(m_controls[i])->setText(value);
    }
}

void TFieldForm::clear() const
{
    for (qsizetype i = 0; i < m_controls.size(); ++i) {
        const Role role = m_table[size_t(i)].role;
        if (role == Role::PostalCode)
            static_cast<TPostalMaskEdit*>(m_controls[i])->setText(postal::kEmptyField);
        else if (role == Role::Memo)
            static_cast<TMemoEdit*>(m_controls[i])->clear();
        else
            static_cast<QLineEdit*>(m_controls[i])->clear();
    }
}

void TFieldForm::applyImeModes() const
{
    for (qsizetype i = 0; i < m_controls.size(); ++i)
        setImeMode(m_controls[i], imeFor(m_table[size_t(i)].role));
}

} // namespace tessolo::ui
