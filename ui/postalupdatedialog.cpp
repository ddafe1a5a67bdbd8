#include "ui/postalupdatedialog.h"

#include "postal/postalupdate.h"
#include "ui/backupguard.h"
#include "ui/errordisplay.h"
#include "ui/notice.h"
#include "ui/progress.h"
#include "ui/startfolder.h"

#include <QFileDialog>

namespace tessolo::ui {

namespace {
const QString kFilter = QStringLiteral("CSV (*.csv)");
}

bool runPostalUpdate(QWidget* parent, QFileDialog* dialog)
{
    QString fileName;
    if (dialog) {
        dialog->setNameFilter(kFilter);
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
            return false;
        fileName = dialog->selectedFiles().first();
    } else {
        fileName = QFileDialog::getOpenFileName(parent, QString(), startFolder(), kFilter);
        if (fileName.isEmpty())
            return false;
    }
    return runPostalUpdateFile(parent, fileName);
}

bool runPostalUpdateFile(QWidget* parent, const QString& fileName)
{
    bool done = false;
    // No copy first: the update replaces the postal list alone, in one
    // transaction, and a failure leaves the old list as it was.
    runHandler([&] {
        postalupdate::Result result;
        {
            TBusyProgress progress(parent, QStringLiteral("郵便データを取り込んでいます…"));
            result = postalupdate::run(fileName, progress.callback());
        }
        QString text = result.kind == postalupdate::ListKind::Businesses
            ? QStringLiteral("事業所の郵便データを %1 件取り込みました。").arg(result.rows)
            : QStringLiteral("郵便データを %1 件取り込みました。").arg(result.rows);
        if (result.substituted > 0)
            text += QStringLiteral("\n保存できない文字を含む %1 個の値で、その文字を「?」に置き換えました。")
                        .arg(result.substituted);
        if (result.invalidLines > 0)
            text += QStringLiteral("\n文字として読めないバイトを含む %1 行で、そのバイトを「?」に置き換えました。")
                        .arg(result.invalidLines);
        done = true;
        showNotice(parent, text);
    });
    return done;
}

} // namespace tessolo::ui
