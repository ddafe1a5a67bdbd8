#include "ui/storablecheck.h"

#include "data/cp932.h"

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
        lines << QStringLiteral("%1: %2").arg(captionOf(window, fields.at(i)), lacking.join(QLatin1Char(' ')));
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
