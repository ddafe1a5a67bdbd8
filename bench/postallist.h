#pragma once
// What the benchmarks of the national postal list share: a work folder of
// their own, a fresh database in it, and the list imported by the program's
// core and, for the baseline of the same run, by Debian's sqlite3 shell.

#include "data/datalocation.h"
#include "data/sqlitedo.h"
#include "postal/postalupdate.h"
#include "text/commatext.h"
#include "text/cp932.h"
#include "text/textfile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace benchwork {

inline const QString kList = QStringLiteral(TESSOLO_SHARED_DIR "/postal/ken_all.csv");

inline QTemporaryDir& work()
{
    static QTemporaryDir dir;
    return dir;
}

// A fresh tessolo.db with the three tables in its own directory.
inline QString freshDatabase(const QString& name)
{
    const QString dir = work().filePath(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    tessolo::location::setDataDirectory(dir);
    tessolo::TSQLiteDo().initDB(tessolo::kDatabaseName);
    return dir + QStringLiteral("/tessolo.db");
}

// A file of the benchmarks' own in the work directory.
inline QString writeWorkFile(const QString& name, const QByteArray& bytes)
{
    const QString path = work().filePath(name);
    QFile o(path);
    o.open(QIODevice::WriteOnly);
    o.write(bytes);
    return path;
}

inline bool haveList(benchmark::State& state)
{
    if (QFile::exists(kList))
        return true;
    state.SkipWithError("the national list is absent");
    return false;
}

inline qint64 postalRows()
{
    tessolo::TSQLiteDo db;
    db.setDBpoint(tessolo::kDatabaseName);
    return db.query(QStringLiteral("select count(*) as n from m_postal"))
        ->NamedFieldAsString(QStringLiteral("n"))
        .toLongLong();
}

// The core's import, each run on a fresh database.
inline void coreUpdate(benchmark::State& state)
{
    if (!haveList(state))
        return;
    qint64 rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        freshDatabase(QStringLiteral("core"));
        state.ResumeTiming();
        rows = tessolo::postalupdate::run(kList).rows;
    }
    state.counters["rows"] = double(rows);
}

// The same nine columns as code page 932 bytes in a CSV file the shell reads
// (the shell's .import wants exactly the table's column count).
inline QString shellInput()
{
    static QString path;
    if (!path.isEmpty())
        return path;
    QFile in(kList);
    in.open(QIODevice::ReadOnly);
    const QByteArray bytes = in.readAll();
    QByteArray out;
    out.reserve(bytes.size());
    for (const QByteArray& raw : tessolo::readLines(bytes)) {
        const QStringList f = tessolo::splitCommaText(tessolo::cp932::decode(raw));
        for (int i = 0; i < 9; ++i) {
            out += i ? ",\"" : "\"";
            out += tessolo::cp932::encode(f.value(i)).replace("\"", "\"\"");
            out += '"';
        }
        out += "\r\n";
    }
    path = writeWorkFile(QStringLiteral("nine.csv"), out);
    return path;
}

inline void shellUpdate(benchmark::State& state)
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

} // namespace benchwork
