#pragma once
// What the import tests share: a fresh database per test, files written byte
// by byte, and reading tables back as text.

#include "data/datalocation.h"
#include "text/cp932.h"
#include "data/sqlitedo.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <ostream>
#include <sqlite3.h>

// Failures print text, not code units.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace importtest {

inline QByteArray sjis(const QString& s) { return tessolo::cp932::encode(s); }
inline QByteArray utf8(const QString& s) { return s.toUtf8(); }

inline QString sharedDir() { return QStringLiteral(TESSOLO_SHARED_DIR); }
inline QString nationalList() { return sharedDir() + QStringLiteral("/postal/ken_all.csv"); }

// The first `lines` lines of the national list, bytes unchanged.
inline QByteArray nationalSlice(int lines)
{
    QFile f(nationalList());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray out;
    for (int i = 0; i < lines && !f.atEnd(); ++i)
        out += f.readLine();
    return out;
}

class Db {
public:
    Db()
    {
        tessolo::location::setDataDirectory(dir.path());
        tessolo::TSQLiteDo().initDB(tessolo::kDatabaseName);
    }
    ~Db() { tessolo::location::setDataDirectory(QString()); }

    QString path(const QString& name) const { return dir.filePath(name); }
    QString dbPath() const { return path(tessolo::kDatabaseName); }

    QString write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
        return f.fileName();
    }

    void exec(const QString& sql) const
    {
        tessolo::TSQLiteDo db;
        db.setDBpoint(tessolo::kDatabaseName);
        db.exec_sql(sql);
    }

    // Every row of a query, its columns joined by "|".
    QStringList rows(const QString& sql) const
    {
        tessolo::TSQLiteDo db;
        db.setDBpoint(tessolo::kDatabaseName);
        auto t = db.query(sql);
        QStringList out;
        for (t->MoveFirst(); !t->Eof(); t->Next()) {
            QStringList cols;
            for (const QString& c : t->Columns())
                cols << t->NamedFieldAsString(c);
            out << cols.join(QLatin1Char('|'));
        }
        return out;
    }

    qint64 count(const QString& table) const
    {
        const QStringList r = rows(QStringLiteral("select count(*) as n from ") + table);
        return r.isEmpty() ? -1 : r.first().toLongLong();
    }

    QTemporaryDir dir;
};

// A second connection that holds the file locked, as another process would.
class ExclusiveLock {
public:
    explicit ExclusiveLock(const QString& path)
    {
        sqlite3_open(path.toUtf8().constData(), &m_db);
        m_ok = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~ExclusiveLock()
    {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    bool held() const { return m_ok; }

private:
    sqlite3* m_db = nullptr;
    bool m_ok = false;
};

} // namespace importtest
