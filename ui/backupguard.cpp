#include "ui/backupguard.h"

#include "ui/appevents.h"

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

void reportStatus(const QString& message)
{
    if (TAppEvents* events = TAppEvents::current())
        emit events->statusMessage(message);
}

QString backupManually(QWidget* parent) { return copyNow(parent, backup::Reason::Manual); }

void backupBeforeChange(QWidget* parent, backup::Reason reason)
{
    try {
        copyNow(parent, reason);
    } catch (const TessoloError& e) {
        reportStatus(e.message());
        if (!OKRightDlg2 ||
            !OKRightDlg2->ask(QStringLiteral("バックアップを作成できませんでした。バックアップなしで続けますか？")))
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

void notifyDataReplaced()
{
    if (TAppEvents* events = TAppEvents::current())
        emit events->dataReplaced();
}

} // namespace tessolo::ui
