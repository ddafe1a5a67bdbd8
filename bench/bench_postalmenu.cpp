// 郵便データ更新 as the roster's menu runs it (runPostalUpdateFile over the
// open roster: the progress dialog, its callback, the closing notice), and
// with the dialog alone, beside the core's import of the same national list
// with no progress and beside Debian's sqlite3 shell importing the same nine
// columns in one transaction: the baselines of the same run.

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

namespace {

const QString kList = QStringLiteral(TESSOLO_SHARED_DIR "/postal/ken_all.csv");

QTemporaryDir& work()
{
    static QTemporaryDir dir;
    return dir;
}

// A fresh tessolo.db with the three tables in its own directory.
QString freshDatabase(const QString& name)
{
    const QString dir = work().filePath(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    location::setDataDirectory(dir);
    TSQLiteDo().initDB(kDatabaseName);
    return dir + QStringLiteral("/tessolo.db");
}

qint64 postalRows()
{
    TSQLiteDo db;
    db.setDBpoint(kDatabaseName);
    return db.query(QStringLiteral("select count(*) as n from m_postal"))
        ->NamedFieldAsString(QStringLiteral("n"))
        .toLongLong();
}

bool haveList(benchmark::State& state)
{
    if (QFile::exists(kList))
        return true;
    state.SkipWithError("the national list is absent");
    return false;
}

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

void BM_PostalUpdate_Core(benchmark::State& state)
{
    if (!haveList(state))
        return;
    qint64 rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        freshDatabase(QStringLiteral("core"));
        state.ResumeTiming();
        rows = postalupdate::run(kList).rows;
    }
    state.counters["rows"] = double(rows);
}

// The same nine columns as code page 932 bytes in a CSV file the shell reads
// (the shell's .import wants exactly the table's column count).
QString shellInput()
{
    static QString path;
    if (!path.isEmpty())
        return path;
    QFile in(kList);
    in.open(QIODevice::ReadOnly);
    const QByteArray bytes = in.readAll();
    QByteArray out;
    out.reserve(bytes.size());
    for (const QByteArray& raw : readLines(bytes)) {
        const QStringList f = splitCommaText(cp932::decode(raw));
        for (int i = 0; i < 9; ++i) {
            out += i ? ",\"" : "\"";
            out += cp932::encode(f.value(i)).replace("\"", "\"\"");
            out += '"';
        }
        out += "\r\n";
    }
    path = work().filePath(QStringLiteral("nine.csv"));
    QFile o(path);
    o.open(QIODevice::WriteOnly);
    o.write(out);
    return path;
}

void BM_PostalUpdate_SqliteShell(benchmark::State& state)
{
    if (!haveList(state))
        return;
    const QString input = shellInput();
    for (auto _ : state) {
        state.PauseTiming();
        const QString db = freshDatabase(QStringLiteral("shell"));
        state.ResumeTiming();
        QProcess p;
        p.start(QStringLiteral("sqlite3"),
                {db, QStringLiteral(".mode csv"), QStringLiteral("BEGIN"),
                 QStringLiteral(".import ") + input + QStringLiteral(" m_postal"), QStringLiteral("COMMIT")});
        p.waitForFinished(-1);
        if (p.exitCode() != 0) {
            state.SkipWithError(p.readAllStandardError().constData());
            return;
        }
    }
    state.counters["rows"] = double(postalRows());
}

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
