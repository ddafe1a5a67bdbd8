#include "ui/backupguard.h"

#include "data/backup.h"
#include "data/errors.h"
#include "ui/okrightdlg2.h"
#include "ui/progress.h"
#include "ui/windowset.h"

#include <QDate>

namespace tessolo::ui {

namespace {

StatusFn& statusReporter()
{
    static StatusFn fn;
    return fn;
}

std::function<void()>& dataReplacedHandler()
{
    static std::function<void()> fn;
    return fn;
}

// The copy itself, under a busy cursor: a large roster takes a moment.
QString copyNow()
{
    TBusyCursor cursor;
    return backup::makeCopy(backup::databasePath());
}

} // namespace

void setStatusReporter(StatusFn fn) { statusReporter() = std::move(fn); }

void reportStatus(const QString& message)
{
    if (statusReporter())
        statusReporter()(message);
}

void backupBeforeChange(QWidget*)
{
    try {
        copyNow();
    } catch (const TessoloError& e) {
        reportStatus(e.message());
        if (!OKRightDlg2 || !OKRightDlg2->ask(QStringLiteral("バックアップを作成できませんでした。バックアップなしで続けますか？")))
            throw EAbort();
    }
}

void dailyBackup()
{
    try {
        if (backup::hasCopyFrom(backup::databasePath(), QDate::currentDate()))
            return;
        const QString path = copyNow();
        reportStatus(QStringLiteral("本日のバックアップを作成しました: %1").arg(path));
    } catch (const TessoloError& e) {
        reportStatus(e.message());
    }
}

void setDataReplacedHandler(std::function<void()> fn) { dataReplacedHandler() = std::move(fn); }

void notifyDataReplaced()
{
    if (dataReplacedHandler())
        dataReplacedHandler()();
}

} // namespace tessolo::ui
