#include "ui/storablecheck.h"

#include "text/cp932.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace tessolo::ui {

namespace {

// The caption the user sees beside the field (its buddy label).
QString captionOf(QWidget* window, QWidget* field)
{
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->buddy() == field)
            return l->text().remove(QLatin1Char('&'));
    return field->objectName();
}

// The character and its code point: a font may lack the character too (an
// emoji shows as an empty box), and the number still says which it is.
QString describe(const QString& c)
{
    const QList<uint> points = c.toUcs4();
    const uint cp = points.isEmpty() ? 0 : points.front();
    return QStringLiteral("%1 (U+%2)").arg(c, QString::number(cp, 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

} // namespace

bool confirmStorable(QWidget* window, const QList<QWidget*>& fields, const QStringList& values)
{
    QStringList lines;
    QWidget* first = nullptr;
    for (qsizetype i = 0; i < values.size() && i < fields.size(); ++i) {
        const QStringList lacking = cp932::unencodable(values.at(i));
        if (lacking.isEmpty())
            continue;
        if (!first)
            first = fields.at(i);
        QStringList named;
        for (const QString& c : lacking)
            named << describe(c);
        lines << QStringLiteral("%1: %2").arg(captionOf(window, fields.at(i)), named.join(QStringLiteral("、")));
    }
    if (!first)
        return true;

    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    QStringLiteral("次の文字は保存できません（保存すると「?」になります）。\n\n") +
                        lines.join(QLatin1Char('\n')),
                    QMessageBox::NoButton, window);
    QPushButton* store = box.addButton(kStoreWithSubstitutes, QMessageBox::AcceptRole);
    QPushButton* back = box.addButton(kBackToField, QMessageBox::RejectRole);
    box.setDefaultButton(back);
    box.setEscapeButton(back);
    box.exec();
    if (box.clickedButton() == store)
        return true;
    first->setFocus(Qt::OtherFocusReason);
    return false;
}

} // namespace tessolo::ui
