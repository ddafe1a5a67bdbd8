#pragma once
// The store's tests run against the SQLite file and a PostgreSQL server
// alike. The server is the throwaway cluster tools/pg-test-cluster.sh starts
// (ctest starts it as a fixture, and passes its folder in
// TESSOLO_PG_TEST_DIR; TESSOLO_PG_TEST_URI names any other server). Each
// test gets a database of its own on it, dropped at the end, so that tests
// running side by side never see each other's rows.

#include "data/store.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>

// Readable failure output for Qt's texts (found by argument lookup).
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << b.toStdString(); }

namespace storetest {

// The test server's URI, or why there is none.
struct TestServer {
    std::optional<QString> uri;
    QString reason;
};
TestServer testServer();

// True in CI, where a missing server is a failure, not a skip.
bool inCi();

// A database of its own on the test server.
class ScratchDatabase {
public:
    explicit ScratchDatabase(const QString& serverUri);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;
    const QString& uri() const { return m_uri; }
    // Runs a statement on the database as its administrator.
    void exec(const QByteArray& sql);

private:
    QString m_serverUri;
    QString m_name;
    QString m_uri;
};

// Skips the test (fails it in CI) when there is no server; else makes a
// scratch database on it.
#define STORETEST_NEED_SERVER(scratch)                                                                                 \
    do {                                                                                                               \
        const auto server_ = storetest::testServer();                                                                  \
        if (!server_.uri) {                                                                                            \
            if (storetest::inCi())                                                                                     \
                FAIL() << "no PostgreSQL server in CI: " << server_.reason.toStdString();                              \
            GTEST_SKIP() << "no PostgreSQL server: " << server_.reason.toStdString();                                  \
        }                                                                                                              \
        scratch = std::make_unique<storetest::ScratchDatabase>(*server_.uri);                                          \
    } while (0)

enum class Kind { File, Server };

// A fixture run once per store kind; store() makes another client of the
// same roster (another program on the file, another PC on the server).
class StoreTest : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override;
    std::unique_ptr<tessolo::store::TStore> store();
    QString filePath() const { return m_dir.path() + QStringLiteral("/tessolo.db"); }
    ScratchDatabase* scratch() const { return m_scratch.get(); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ScratchDatabase> m_scratch;
};

std::string kindName(const ::testing::TestParamInfo<Kind>& info);

// A customer whose every value is its column's name with `tag` after it.
tessolo::store::CustomerValues customerValues(const QString& tag, const QString& kana = QString());

} // namespace storetest
