#pragma once
// Shared pieces of the core tests: a fresh database directory per test (suites
// run in parallel, so no two tests ever share a tessolo.db), a raw SQLite
// connection for looking at the file behind the layer's back, and a way to
// run a piece of a test without root's power over file permissions.

#include "data/datalocation.h"
#include "data/sqlitedo.h"

#include <QByteArray>
#include <QStringList>
#include <ostream>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <functional>
#include <string>

// Readable failure output for Qt's strings (found by argument lookup).
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << "bytes \"" << b.toPercentEncoding(" ,.'\"()*-_=|;:[]").constData() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << "{ ";
    for (const QString& s : l)
        *os << '"' << s.toStdString() << "\" ";
    *os << '}';
}

namespace coretest {

// Points the helper at a directory of its own for the test's lifetime.
class DbDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        tessolo::location::setDataDirectory(m_dir.path());
    }
    void TearDown() override { tessolo::location::setDataDirectory(QString()); }

    QString dir() const { return m_dir.path(); }
    QString dbPath() const { return m_dir.path() + QStringLiteral("/tessolo.db"); }

    // initDB, as the map window does on start.
    void initDatabase()
    {
        tessolo::TSQLiteDo helper;
        helper.initDB(tessolo::kDatabaseName);
    }

private:
    QTemporaryDir m_dir;
};

// A connection of the test's own, straight through the C API.
class RawDb {
public:
    explicit RawDb(const QString& path);
    ~RawDb();
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    sqlite3* get() const { return m_db; }
    // Runs statements; fails the test on error.
    void exec(const char* sql);
    // Returns sqlite3_exec's result code without failing.
    int tryExec(const char* sql);
    // First column of the first row as raw bytes ("" without rows).
    QByteArray scalar(const QByteArray& sql);
    qint64 count(const char* table);

private:
    sqlite3* m_db = nullptr;
};

// Opened descriptors of this process that point at `path`.
int openDescriptorsOn(const QString& path);

// Runs `body` where file permissions bind: in a child process that has given
// up root when the test runs as root, in this process otherwise. The body's
// answer comes back as text; a child that dies yields "child failed: ...".
std::string runUnprivileged(const std::function<std::string()>& body);

// Customer record from a short list of leading values, the rest empty.
std::array<QString, 17> customerRecord(std::initializer_list<QString> leading);

} // namespace coretest
