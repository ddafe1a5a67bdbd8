// 郵便データ更新 as the roster's menu runs it (runPostalUpdateFile over the
// open roster: the progress dialog, its callback, the closing notice), and
// with the dialog alone, beside the core's import of the same national list
// with no progress and beside Debian's sqlite3 shell importing the same nine
// columns in one transaction: the baselines of the same run.

#include "bench/postallist.h"
#include "data/datalocation.h"
#include "data/sqlitedo.h"
#include "postal/postalupdate.h"
#include "roster/frmaddress.h"
#include "text/commatext.h"
#include "text/cp932.h"
#include "text/textfile.h"
#include "ui/appevents.h"
#include "ui/postalupdatedialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <benchmark/benchmark.h>

using namespace tessolo;
using namespace benchwork;

namespace {

// The update with its dialog over `parent` (null: the dialog alone), the
// table emptied before each run so that each starts as the core's does.
void menuUpdate(benchmark::State& state, QWidget* parent)
{
    // The closing notice read instead of shown in a message box.
    ui::TAppEvents events;
    QStringList notices;
    QObject::connect(&events, &ui::TAppEvents::noticeRaised, [&](QWidget*, const QString& m) { notices << m; });
    QObject::connect(&events, &ui::TAppEvents::errorRaised,
                     [&](const QString& m) { state.SkipWithError(m.toUtf8().constData()); });
    for (auto _ : state) {
        state.PauseTiming();
        TSQLiteDo db;
        db.setDBpoint(kDatabaseName);
        db.exec_sql2(QStringLiteral("delete from m_postal"));
        db.exec_sql2(QStringLiteral("vacuum"));
        db.closeDBpoint();
        state.ResumeTiming();
        if (!ui::runPostalUpdateFile(parent, kList))
            return;
    }
    if (notices.size() != state.iterations())
        state.SkipWithError("a run ended without its closing notice");
    state.counters["rows"] = double(postalRows());
}

// As the roster's menu runs it: the roster open for a while (its timer
// looks for changes by other programs every few seconds), the dialog over it.
void BM_PostalUpdate_Menu(benchmark::State& state)
{
    if (!haveList(state))
        return;
    freshDatabase(QStringLiteral("menu"));
    TfrmAddress roster;
    roster.show();
    QApplication::processEvents();
    menuUpdate(state, &roster);
}

// The progress dialog and the closing notice alone, no window behind.
void BM_PostalUpdate_DialogAlone(benchmark::State& state)
{
    if (!haveList(state))
        return;
    freshDatabase(QStringLiteral("dialog"));
    menuUpdate(state, nullptr);
}

void BM_PostalUpdate_Core(benchmark::State& state) { coreUpdate(state); }
void BM_PostalUpdate_SqliteShell(benchmark::State& state) { shellUpdate(state); }

BENCHMARK(BM_PostalUpdate_Menu)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PostalUpdate_DialogAlone)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PostalUpdate_Core)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PostalUpdate_SqliteShell)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
