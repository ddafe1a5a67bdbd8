#pragma once
// The controls of a window that show one record's fields, found by the names
// the field table gives them. Taking the values to store, showing a stored
// row, clearing and the input-method modes go by each field's role, so the
// windows hold no list of their own.

#include "data/fieldtable.h"

#include <QList>
#include <QStringList>

class QWidget;

namespace tessolo {
class TSQLiteTable;
}

namespace tessolo::ui {

class TFieldForm {
public:
    // `window` must already hold a control for every field of `table`.
    TFieldForm(QWidget* window, fields::Table table);

    // The controls in table order.
    const QList<QWidget*>& controls() const { return m_controls; }
    // The values in table order, in their stored form.
    QStringList values() const;
    // The values, once the user has agreed to any substitutes code page 932
    // forces; throws EAbort when the user goes back to a field instead.
    QStringList storable() const;
    // Shows the current row of `row`, read by column name.
    void load(const TSQLiteTable& row) const;
    // Shows stored values given in table order.
    void loadValues(const QStringList& values) const;
    void clear() const;
    void applyImeModes() const;

private:
    QWidget* m_window;
    fields::Table m_table;
    QList<QWidget*> m_controls;
};

// A record array from values in table order.
template <class Record> Record toRecord(const QStringList& values)
{
    Record r;
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = values.value(qsizetype(i));
    return r;
}

} // namespace tessolo::ui
