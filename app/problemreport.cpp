#include "app/problemreport.h"

#include "data/datalocation.h"
#include "data/safefile.h"
#include "ui/errordisplay.h"
#include "ui/notice.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QtGlobal>

namespace tessolo::app {

QString withoutData(const QString& message)
{
    // Statements, file names and values are quoted in the messages; the
    // words around them say what went wrong.
    qsizetype cut = message.size();
    for (const QChar c : {QChar(u'"'), QChar(u'\''), QChar(u'「'), QChar(u'\r')}) {
        const qsizetype at = message.indexOf(c);
        if (at >= 0 && at < cut)
            cut = at;
    }
    QString kept = message.left(cut).trimmed();
    if (cut < message.size())
        kept += QStringLiteral(" …");
    return kept;
}

QString problemReportText(const QString& dbPath, const QStringList& errors)
{
    const QFileInfo db(dbPath);
    QString text = QStringLiteral("Tessolo 問題の報告\n");
    text += QStringLiteral("日時: %1\n").arg(QDateTime::currentDateTime().toString(Qt::ISODate));
    text += QStringLiteral("バージョン: %1\n").arg(QStringLiteral(TESSOLO_VERSION));
    text +=
        QStringLiteral("Qt: %1 (ビルド時 %2)\n").arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR));
    text += QStringLiteral("システム: %1 / %2 %3 / %4\n")
                .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                     QSysInfo::currentCpuArchitecture());
    text += QStringLiteral("データベース: %1\n").arg(QDir::toNativeSeparators(db.absoluteFilePath()));
    text += db.exists() ? QStringLiteral("サイズ: %1 バイト\n").arg(db.size())
                        : QStringLiteral("サイズ: (ファイルがありません)\n");
    text += QStringLiteral("\n最近のエラー (%1 件):\n").arg(errors.size());
    for (const QString& e : errors)
        text += QStringLiteral("- ") + withoutData(e).replace(QLatin1Char('\n'), QLatin1Char(' ')) + QLatin1Char('\n');
    return text;
}

void writeProblemReport(QWidget* parent)
{
    const QString dbPath = location::databaseFile();
    const QString target = QFileInfo(dbPath).absoluteDir().filePath(
        QStringLiteral("tessolo-report-%1.txt")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    TSafeFile out(target);
    out.write(problemReportText(dbPath, ui::recentErrors()).toUtf8());
    out.commit();
    ui::showNotice(parent,
                   QStringLiteral("問題の報告のための文書を書き出しました。\n%1\n\n"
                                  "このファイルを、何をしたときに何が起きたかの説明とともに、README "
                                  "に書かれた報告先へ送ってください。顧客のデータは含まれていません。")
                       .arg(QDir::toNativeSeparators(target)));
}

} // namespace tessolo::app
