#include "ui/choice.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace tessolo::ui {

int askChoice(QWidget* parent, const QString& text, const QStringList& answers)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text, QMessageBox::NoButton, parent);
    QList<QPushButton*> buttons;
    for (qsizetype i = 0; i < answers.size(); ++i)
        buttons << box.addButton(answers[i],
                                 i + 1 < answers.size() ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    box.setDefaultButton(buttons.constFirst());
    box.setEscapeButton(buttons.constLast());
    box.exec();
    const qsizetype chosen = buttons.indexOf(qobject_cast<QPushButton*>(box.clickedButton()));
    return chosen < 0 ? int(answers.size() - 1) : int(chosen);
}

} // namespace tessolo::ui
