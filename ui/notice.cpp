#include "ui/notice.h"

#include <QApplication>
#include <QMessageBox>

namespace tessolo::ui {

namespace {
NoticeHook& hook()
{
    static NoticeHook h;
    return h;
}
} // namespace

void setNoticeHook(NoticeHook h) { hook() = std::move(h); }

void showNotice(QWidget* parent, const QString& message)
{
    if (hook()) {
        hook()(message);
        return;
    }
    QMessageBox::information(parent, QApplication::applicationDisplayName(), message);
}

} // namespace tessolo::ui
