// The backups as a user meets them: a CSV import takes a copy first, and
// putting that copy back through the roster's restore window brings the
// roster back to what it was; a damaged copy is listed but cannot be chosen;
// a file that is not this program's data is refused before any question, with
// the data unchanged.

#include "app/problemreport.h"
#include "backup/frmbackup.h"
#include "csvimport/frmcsvin.h"
#include "data/backup.h"
#include "roster/frmaddress.h"
#include "customer/customerlist.h"
#include "tests/ui/uitest.h"
#include "ui/backupguard.h"
#include "ui/notice.h"
#include "ui/okrightdlg2.h"
#include "ui/windowset.h"
#include "tests/testevents.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <optional>

using uitest::Db;
namespace bk = tessolo::backup;

class TestBackupWindows : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Db> db;
    std::unique_ptr<TOKRightDlg2> dlg;
    std::unique_ptr<TfrmAddress> roster;
    std::unique_ptr<TfrmCsvin> csvin;
    QStringList errors, notices, questions;
    std::optional<TShownMessages> shown;

    static QString dbPath() { return bk::databasePath(); }
    QStringList listNames() const
    {
        QStringList out;
        for (int i = 0; i < roster->ListFilter->rowCount(); ++i)
            out << roster->ListFilter->index(i, 0).data().toString();
        return out;
    }
    // Runs `act` once, as soon as `ready` holds: from inside the modal
    // windows' own event loops, however late they come up.
    void whenReady(std::function<bool()> ready, std::function<void()> act)
    {
        auto* t = new QTimer(this);
        t->setInterval(10);
        connect(t, &QTimer::timeout, this, [t, ready, act] {
            if (!ready())
                return;
            t->stop();
            t->deleteLater();
            act();
        });
        t->start();
    }
    // Answers the confirmation dialog once it is up, with OK or キャンセル.
    void answerNextQuestion(bool ok)
    {
        whenReady([this] { return dlg->isVisible(); },
                  [this, ok] {
                      questions << dlg->Label1->text();
                      (ok ? dlg->OKBtn : dlg->btncancel)->click();
                  });
    }
    void confirmNextQuestion() { answerNextQuestion(true); }
    // Shows the import window on `bytes` with the first column as the name;
    // `beforeGo` runs just before "実行" is pressed.
    void importCsv(const QByteArray& bytes, const std::function<void()>& beforeGo = {})
    {
        QFile f(QDir(QFileInfo(dbPath()).absolutePath()).filePath(QStringLiteral("wrong.csv")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        csvin->setCsvFile(f.fileName());
        csvin->show();
        QVERIFY(QTest::qWaitForWindowExposed(csvin.get()));
        csvin->ListViewCsv->setCurrentItem(csvin->ListViewCsv->topLevelItem(0));
        csvin->ListBoxCsv->setCurrentRow(0);
        QTest::mouseClick(csvin->btnadd, Qt::LeftButton);
        if (beforeGo)
            beforeGo();
        QTest::mouseClick(csvin->btngo, Qt::LeftButton);
    }

private slots:
    void init()
    {
        db = std::make_unique<Db>();
        QVERIFY(db->ok());
        Db::addCustomer({QStringLiteral("山田太郎"), QStringLiteral("ヤマダタロウ")});
        Db::addCustomer({QStringLiteral("加藤一郎"), QStringLiteral("カトウイチロウ")});
        dlg = std::make_unique<TOKRightDlg2>();
        OKRightDlg2 = dlg.get();
        roster = std::make_unique<TfrmAddress>();
        csvin = std::make_unique<TfrmCsvin>();
        questions.clear();
        shown.emplace(errors, notices);
    }
    void cleanup()
    {
        csvin.reset();
        roster.reset();
        dlg.reset();
        OKRightDlg2 = nullptr;
        db.reset();
        shown.reset();
    }

    void csvImportTakesACopyThatRestoresTheRosterBeforeIt()
    {
        importCsv(QByteArray("junk1\njunk2\njunk3\n"));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(Db::customerCount(), 5);
        const QList<bk::CopyInfo> copies = bk::listCopies(dbPath());
        QCOMPARE(copies.size(), 1);
        QCOMPARE(copies[0].customers, 2);

        roster->show();
        QVERIFY(QTest::qWaitForWindowExposed(roster.get()));
        QCOMPARE(roster->EditCnt->text(), QStringLiteral("5"));
        auto* menu = roster->MainMenu1->findChild<QMenu*>(QStringLiteral("N8"));
        QVERIFY(menu);
        QStringList captions;
        for (QAction* a : menu->actions())
            captions << a->text();
        QCOMPARE(captions,
                 QStringList({QStringLiteral("復元…"), QStringLiteral("今すぐバックアップ"), QString(),
                              QStringLiteral("データの書き出し…"), QStringLiteral("データの読み込み…")}));
        // ファイル → バックアップ → 復元…: choose the copy, confirm.
        bool chosen = false;
        whenReady(
            [this] {
                auto* window = roster->findChild<TfrmBackup*>();
                return window && window->isVisible();
            },
            [this, &chosen] {
                auto* window = roster->findChild<TfrmBackup*>();
                chosen = true;
                QTreeWidgetItem* first = window->ListViewCopies->topLevelItem(0);
                QCOMPARE(first->text(1), QStringLiteral("2 件"));
                QCOMPARE(first->text(4), QStringLiteral("取込前"));
                window->ListViewCopies->setCurrentItem(first);
                confirmNextQuestion();
                window->btnrestore->click();
            });
        roster->actRestore->trigger();
        QVERIFY(chosen);

        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(questions.size(), 1);
        QVERIFY(questions[0].contains(QStringLiteral("のバックアップに戻しますか？")));
        QVERIFY2(questions[0].endsWith(QStringLiteral("今の顧客 5 件 → ファイルの顧客 2 件")),
                 qPrintable(questions[0]));
        QCOMPARE(roster->EditCnt->text(), QStringLiteral("2"));
        QCOMPARE(listNames(), QStringList({QStringLiteral("加藤一郎"), QStringLiteral("山田太郎")}));
        // The data the restore replaced was copied first.
        QCOMPARE(bk::listCopies(dbPath()).size(), 2);
        QCOMPARE(bk::listCopies(dbPath())[0].customers, 5);
        QCOMPARE(bk::listCopies(dbPath())[0].reason, bk::Reason::BeforeRestore);
    }

    void importWithoutABackupOnlyWhenTheUserSaysSo()
    {
        QStringList status;
        QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::statusMessage,
                         [&](const QString& m) { status << m; });
        // A file where the folder should be: no copy can be made.
        QFile blocker(bk::folderOf(dbPath()));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        importCsv(QByteArray("junk1\n"), [this] { answerNextQuestion(false); });
        QCOMPARE(Db::customerCount(), 2);
        QCOMPARE(status.size(), 1);
        QVERIFY2(status[0].contains(QStringLiteral("作成できませんでした")), qPrintable(status[0]));
        QCOMPARE(questions,
                 QStringList{QStringLiteral("バックアップを作成できませんでした。バックアップなしで続けますか？")});

        confirmNextQuestion();
        QTest::mouseClick(csvin->btngo, Qt::LeftButton);
        QCOMPARE(Db::customerCount(), 3);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QObject::disconnect(&testEvents(), &tessolo::ui::TAppEvents::statusMessage, nullptr, nullptr);
    }

    void damagedCopyIsListedButCannotBeChosen()
    {
        const QString good = bk::makeCopy(dbPath(), QDateTime(QDate(2026, 12, 1), QTime(9, 0)));
        const QString bad = QDir(bk::folderOf(dbPath())).filePath(QStringLiteral("tessolo-20261202-090000.db"));
        QVERIFY(QFile::copy(good, bad));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(100);
        f.write(QByteArray(int(f.size()) - 200, '\x5a'));
        f.close();

        TfrmBackup window;
        QCOMPARE(window.ListViewCopies->topLevelItemCount(), 2);
        QTreeWidgetItem* damaged = window.ListViewCopies->topLevelItem(0);
        QCOMPARE(damaged->text(3), QStringLiteral("破損（復元できません）"));
        QVERIFY(!(damaged->flags() & Qt::ItemIsSelectable));
        window.ListViewCopies->setCurrentItem(damaged);
        QVERIFY(!window.btnrestore->isEnabled());
        window.btnrestore->click();
        QVERIFY(questions.isEmpty());
        QVERIFY(window.ListViewCopies->topLevelItem(1)->flags() & Qt::ItemIsSelectable);
        QCOMPARE(Db::customerCount(), 2);
    }

    void readingAFileThatIsNotOurDataIsRefusedUnchanged()
    {
        const QString csv = QDir(QFileInfo(dbPath()).absolutePath()).filePath(QStringLiteral("customers.db"));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("person_name,tel\r\nsuzuki,03-0000-0000\r\n");
        f.close();
        tessolo::ui::runHandler(
            [&] { tessolo::backupui::replaceData(roster.get(), csv, QStringLiteral("置き換えますか？")); });
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QStringLiteral("データベースとして読めません")), qPrintable(errors[0]));
        QVERIFY(questions.isEmpty());
        QVERIFY(bk::listCopies(dbPath()).isEmpty());
        QCOMPARE(Db::column(QStringLiteral("select person_name from t_customer order by rowid"),
                            QStringLiteral("person_name")),
                 QStringList({QStringLiteral("山田太郎"), QStringLiteral("加藤一郎")}));
    }

    // Another program changed the customer after it was loaded: 更新 is
    // refused, the other program's row stays, the form keeps the edit, and
    // the list follows the other program within a few seconds.
    void staleUpdateIsRefusedAndTheFormKeepsTheEdit()
    {
        roster->show();
        QVERIFY(QTest::qWaitForWindowExposed(roster.get()));
        const int row = int(listNames().indexOf(QStringLiteral("山田太郎")));
        QVERIFY(row >= 0);
        QTest::mouseClick(roster->ListViewNm->viewport(), Qt::LeftButton, {},
                          roster->ListViewNm->visualRect(roster->ListFilter->index(row, 0)).center());
        const QString rowid = roster->strRow;
        QVERIFY(!rowid.isEmpty());
        Db::exec(QStringLiteral("update t_customer set person_name = '山田花子' where rowid = ") + rowid);
        roster->EditName->setText(QStringLiteral("山田次郎"));
        roster->btnup->click();
        QCOMPARE(errors, QStringList{QStringLiteral("この顧客は他で変更または削除されました。")});
        QCOMPARE(roster->EditName->text(), QStringLiteral("山田次郎"));
        QCOMPARE(Db::column(QStringLiteral("select person_name from t_customer where rowid = ") + rowid,
                            QStringLiteral("person_name")),
                 QStringList{QStringLiteral("山田花子")});
        QTRY_VERIFY_WITH_TIMEOUT(listNames().contains(QStringLiteral("山田花子")), 8000);
        QCOMPARE(roster->EditName->text(), QStringLiteral("山田次郎"));
    }

    // The report says what ran where, and the errors' wording, never a
    // customer's value quoted in them.
    void problemReportLeavesOutCustomerData()
    {
        const QStringList shown = {
            QStringLiteral("他のプログラムがこのファイルを使っています。\n\nError executing SQL statement.\rError [5]: "
                           "The database file is locked.\r\"insert into t_customer values ('山田太郎','03-1234')\": "
                           "database is locked"),
            QStringLiteral("「/home/u/顧客 鈴木.csv」に書き出せませんでした。")};
        const QString report = tessolo::app::problemReportText(dbPath(), shown);
        QVERIFY(report.contains(QStringLiteral("バージョン: 1.0.0")));
        QVERIFY(report.contains(QString::fromLatin1(qVersion())));
        QVERIFY(report.contains(QDir::toNativeSeparators(QFileInfo(dbPath()).absoluteFilePath())));
        QVERIFY(report.contains(QStringLiteral("サイズ: %1 バイト").arg(QFileInfo(dbPath()).size())));
        QVERIFY(report.contains(QStringLiteral("他のプログラムがこのファイルを使っています。")));
        QVERIFY(!report.contains(QStringLiteral("山田")));
        QVERIFY(!report.contains(QStringLiteral("03-1234")));
        QVERIFY(!report.contains(QStringLiteral("鈴木")));
    }
};

QTEST_MAIN(TestBackupWindows)
#include "backupwindows_test.moc"
