#include "backup/frmbackup.h"

#include "data/backup.h"
#include "data/errors.h"
#include "ui/backgroundrun.h"
#include "data/pgstore.h"
#include "data/storetransfer.h"
#include "ui/backupguard.h"
#include "ui/notice.h"
#include "ui/okrightdlg2.h"
#include "ui/progress.h"
#include "ui/startfolder.h"
#include "ui/windowset.h"

#include <QDate>
#include <QDir>
#include <QFileDialog>

namespace tessolo::backupui {

namespace {

const QString kFilter = QStringLiteral("Tessolo データ (*.db);;すべてのファイル (*)");

} // namespace

void backupNow(QWidget* parent)
{
    const QString path = ui::backupManually(parent);
    ui::showNotice(parent, QStringLiteral("バックアップを作成しました。\n%1").arg(QDir::toNativeSeparators(path)));
}

void exportData(QWidget* parent)
{
    const QString suggested =
        QDir(ui::startFolder())
            .filePath(QStringLiteral("tessolo-%1.db").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    const QString file = QFileDialog::getSaveFileName(parent, QStringLiteral("データの書き出し"), suggested, kFilter,
                                                      nullptr, QFileDialog::DontUseNativeDialog);
    if (file.isEmpty())
        throw EAbort();
    // A server's roster comes out as a file of the program's own schema:
    // the office's backup, and what another PC's データの読み込み takes.
    if (store::TPgStore* server = store::currentServer()) {
        // On the window's thread: the server's connection is not shared
        // with a worker while the roster listens on it.
        ui::TBusyCursor cursor;
        const store::TransferCount count = store::exportFile(*server, file);
        ui::showNotice(parent,
                       QStringLiteral("サーバーのデータを書き出しました。顧客 %1 件\n%2")
                           .arg(count.customers)
                           .arg(QDir::toNativeSeparators(file)));
        return;
    }
    ui::runInBackground(parent, QStringLiteral("データを書き出しています…"), [&](const ui::WorkProgress& progress) {
        backup::copyDatabase(backup::databasePath(), file, backup::kBusyWaitMs, progress);
    });
    ui::showNotice(
        parent,
        QStringLiteral(
            "データを書き出しました。\n%1\n新しいパソコンでは「データの読み込み…」でこのファイルを選んでください。")
            .arg(QDir::toNativeSeparators(file)));
}

bool importData(QWidget* parent)
{
    const QString file = QFileDialog::getOpenFileName(parent, QStringLiteral("データの読み込み"), ui::startFolder(),
                                                      kFilter, nullptr, QFileDialog::DontUseNativeDialog);
    if (file.isEmpty())
        throw EAbort();
    if (store::TPgStore* server = store::currentServer()) {
        // Every PC's roster changes at once, in one transaction.
        if (!OKRightDlg2 ||
            !OKRightDlg2->ask(QStringLiteral("サーバーの顧客名簿を、選んだファイルのデータに置き換えますか？"
                                             "（事務所のすべてのパソコンで置き換わります）")))
            throw EAbort();
        const store::TransferCount count = [&] {
            ui::TBusyCursor cursor;
            return store::importFile(*server, file, store::ImportMode::Replace);
        }();
        ui::notifyDataReplaced();
        QString message = QStringLiteral("サーバーのデータを置き換えました。顧客 %1 件").arg(count.customers);
        if (count.altered > 0)
            message += QStringLiteral("\n文字として読めないバイトを含む %1 個の値は「?」として読み込みました。")
                           .arg(count.altered);
        ui::showNotice(parent, message);
        return true;
    }
    return replaceData(parent, file, QStringLiteral("今のデータを、選んだファイルのデータに置き換えますか？"));
}

bool replaceData(QWidget* parent, const QString& file, const QString& question)
{
    // Refused before the question: a file that cannot be put back is not
    // offered. The check reads the whole file, so it may take a while.
    backup::CopyInfo info;
    qint64 current = 0;
    ui::runInBackground(parent, QStringLiteral("ファイルを確かめています…"), [&](const ui::WorkProgress& progress) {
        info = backup::inspect(file, progress);
        current = backup::customerCount(backup::databasePath());
    });
    if (!info.usable())
        throw backup::EBackupError(info.problem);
    // The user sees what replaces what before saying yes.
    const QString counts = QStringLiteral("今の顧客 %1 件 → ファイルの顧客 %2 件").arg(current).arg(info.customers);
    if (!OKRightDlg2 || !OKRightDlg2->ask(question + QLatin1Char('\n') + counts))
        throw EAbort();
    ui::backupBeforeChange(parent, backup::Reason::BeforeRestore);
    ui::runInBackground(parent, QStringLiteral("データを置き換えています…"), [&](const ui::WorkProgress& progress) {
        backup::restore(file, backup::databasePath(), backup::kBusyWaitMs, progress);
    });
    ui::notifyDataReplaced();
    ui::showNotice(parent, QStringLiteral("データを置き換えました。顧客 %1 件").arg(info.customers));
    return true;
}

} // namespace tessolo::backupui
