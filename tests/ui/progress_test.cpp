// The progress dialog of the long runs, reported to as a bulk load reports:
// about once a millisecond, with no event processing in between; and the
// roster behind it while the run holds the database.

#include "customer/customer.h"
#include "customer/customerlist.h"
#include "data/sqlitedb.h"
#include "roster/frmaddress.h"
#include "text/cp932.h"
#include "ui/backgroundrun.h"
#include "ui/progress.h"
#include "uitest.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>

using tessolo::ui::TBusyProgress;
using uitest::Db;

class TestProgress : public QObject {
    Q_OBJECT

private:
    // A run of kTotal reports, stopped half way for a look at the bar.
    static constexpr int kReports = 1200;
    static constexpr int kTotal = 2 * kReports;

    static QProgressDialog* dialog()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("ProgressDialog"))
                return qobject_cast<QProgressDialog*>(w);
        return nullptr;
    }

    // Reports i of kTotal at i milliseconds, busy between reports as a
    // load is; the report that answered false, or 0.
    static int run(TBusyProgress& progress, bool* shown = nullptr)
    {
        QElapsedTimer t;
        t.start();
        for (int i = 1; i <= kReports; ++i) {
            while (t.elapsed() < i) { }
            if (!progress.update(i, kTotal))
                return i;
            if (shown && dialog()->isVisible())
                *shown = true;
        }
        return 0;
    }

private slots:
    void aLongRunIsShownMovingAFewTimesASecondAndItsEndAlways()
    {
        TBusyProgress progress(nullptr, QStringLiteral("郵便データを取り込んでいます…"));
        QVERIFY(dialog());
        auto* bar = dialog()->findChild<QProgressBar*>();
        QVERIFY(bar);
        int moves = 0;
        connect(bar, &QProgressBar::valueChanged, this, [&] { ++moves; });
        QElapsedTimer t;
        t.start();
        bool shown = false;
        QCOMPARE(run(progress, &shown), 0);
        const qint64 took = t.elapsed();
        QVERIFY(shown);
        // A repaint at each of 1,200 reports cost the postal list a tenth of its time.
        QVERIFY2(moves >= 5 && moves <= took / 100 + 3,
                 qPrintable(QStringLiteral("%1 moves in %2 ms").arg(moves).arg(took)));
        QVERIFY(bar->value() > 0 && bar->value() <= bar->maximum() / 2);
        QVERIFY(progress.update(kTotal, kTotal));
        QCOMPARE(bar->value(), bar->maximum());
    }

    void aCancelClickIsTakenWhileTheRunGoesOn()
    {
        TBusyProgress progress(nullptr, QStringLiteral("郵便データを取り込んでいます…"));
        QVERIFY(dialog());
        // Clicked as soon as events are processed, which is once the dialog is up.
        QTimer::singleShot(0, this, [] {
            auto* cancel = dialog()->findChild<QPushButton*>();
            QVERIFY(cancel && dialog()->isVisible());
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        const int stoppedAt = run(progress);
        QVERIFY2(stoppedAt > 0, "the cancel was not taken");
        QVERIFY(!progress.update(stoppedAt + 1, kTotal));
        QVERIFY(!progress.update(kTotal, kTotal));
    }

    // The dialog lets the roster's timer and activation run; reading the
    // data version there waited out the lock the run holds (2 s each time,
    // the menu's postal update three times as long as the core's).
    // Work off the window's thread: nothing shown for a copy done within a
    // second, the dialog after that, and its キャンセル reaches the work.
    void backgroundWorkShowsItsDialogAfterASecondOnly()
    {
        std::atomic<bool> seen = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&seen] {
            if (QProgressDialog* d = dialog(); d && d->isVisible())
                seen = true;
        });
        watch.start(20);
        tessolo::ui::runInBackground(nullptr, QStringLiteral("コピーしています…"),
                                     [](const tessolo::ui::WorkProgress& progress) {
                                         for (int i = 0; i < 12; ++i) {
                                             QThread::msleep(50);
                                             progress(i, 12);
                                         }
                                     });
        QVERIFY(!seen);

        QElapsedTimer t;
        qint64 shownAt = -1;
        QTimer cancel;
        connect(&cancel, &QTimer::timeout, [&] {
            QProgressDialog* d = dialog();
            if (shownAt < 0 && d && d->isVisible()) {
                shownAt = t.elapsed();
                d->findChild<QPushButton*>()->click();
            }
        });
        cancel.start(20);
        bool cancelled = false;
        t.start();
        tessolo::ui::runInBackground(nullptr, QStringLiteral("コピーしています…"),
                                     [&cancelled](const tessolo::ui::WorkProgress& progress) {
                                         for (int i = 0; i < 200 && !cancelled; ++i) {
                                             QThread::msleep(25);
                                             cancelled = !progress(i, 200);
                                         }
                                     });
        QVERIFY2(shownAt >= 1000, qPrintable(QString::number(shownAt)));
        QVERIFY(cancelled);
        QVERIFY2(t.elapsed() < 4500, "the cancel did not stop the work");
    }

    void theRosterLeavesTheDatabaseToTheRunAndCatchesUpAfter()
    {
        Db db;
        Db::addCustomer({QStringLiteral("山田 太郎"), QStringLiteral("ﾔﾏﾀﾞ ﾀﾛｳ")});
        TfrmAddress roster;
        roster.show();
        QApplication::setActiveWindow(&roster);
        QVERIFY(QTest::qWaitForWindowActive(&roster));
        QCOMPARE(roster.ListFilter->rowCount(), 1);

        // The run's connection, holding the file as a long write does.
        tessolo::TSQLiteDatabase run(tessolo::TSQLiteDo::pathOf(tessolo::kDatabaseName));
        run.ExecSQL("begin exclusive");
        tessolo::customer::Record r;
        r[tessolo::customer::col::PersonName] = QStringLiteral("佐藤 花子");
        run.ExecSQL(tessolo::cp932::encode(tessolo::customer::insertSql(r)));
        {
            TBusyProgress progress(&roster, QStringLiteral("郵便データを取り込んでいます…"));
            QElapsedTimer t;
            t.start();
            QEvent activated(QEvent::ActivationChange);
            QApplication::sendEvent(&roster, &activated);
            QVERIFY2(t.elapsed() < 1000, qPrintable(QStringLiteral("%1 ms").arg(t.elapsed())));
        }
        run.ExecSQL("commit");
        QEvent activated(QEvent::ActivationChange);
        QApplication::sendEvent(&roster, &activated);
        QCOMPARE(roster.ListFilter->rowCount(), 2);
    }
};

QTEST_MAIN(TestProgress)
#include "progress_test.moc"
