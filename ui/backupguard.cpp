#include "ui/backupguard.h"

#include "ui/appevents.h"

#include "data/backup.h"
#include "data/errors.h"
#include "ui/okrightdlg2.h"
#include "ui/progress.h"
#include "ui/windowset.h"

#include <QDate>

namespace tessolo::ui {

namespace {

// The copy itself, under a busy cursor: a large roster takes a moment.
QString copyNow()
{
    TBusyCursor cursor;
    return backup::makeCopy(backup::databasePath());
}

} // namespace

void reportStatus(const QString& message)
{
    if (AppEvents* events = AppEvents::current())
        emit events->statusMessage(message);
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

void notifyDataReplaced()
{
    if (AppEvents* events = AppEvents::current())
        emit events->dataReplaced();
}

} // namespace tessolo::ui
