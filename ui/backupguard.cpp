#include "ui/backupguard.h"

#include "data/backup.h"
#include "data/errors.h"
#include "ui/okrightdlg2.h"
#include "ui/backgroundrun.h"
#include "ui/progress.h"
#include "ui/windowset.h"

#include <QDate>
#include <QDateTime>

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

// The copy itself, off the window's thread: a large roster takes a while.
QString copyNow(QWidget* parent, backup::Reason reason)
{
    QString path;
    runInBackground(parent, QStringLiteral("バックアップを作成しています…"), [&](const WorkProgress& progress) {
        path = backup::makeCopy(backup::databasePath(), QDateTime::currentDateTime(), reason, progress);
    });
    return path;
}

} // namespace

void setStatusReporter(StatusFn fn) { statusReporter() = std::move(fn); }

void reportStatus(const QString& message)
{
    if (statusReporter())
        statusReporter()(message);
}

QString backupManually(QWidget* parent) { return copyNow(parent, backup::Reason::Manual); }

void backupBeforeChange(QWidget* parent, backup::Reason reason)
{
    try {
        copyNow(parent, reason);
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
        const QString path = copyNow(nullptr, backup::Reason::Start);
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
