#include "coretest.h"

#include "customer/customer.h"

#include <QDir>
#include <QFileInfo>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace coretest {

RawDb::RawDb(const QString& path)
{
    const int rc = sqlite3_open(path.toUtf8().constData(), &m_db);
    EXPECT_EQ(rc, SQLITE_OK) << sqlite3_errmsg(m_db);
}

RawDb::~RawDb() { sqlite3_close(m_db); }

void RawDb::exec(const char* sql)
{
    char* err = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (err ? err : "");
    sqlite3_free(err);
}

int RawDb::tryExec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

QByteArray RawDb::scalar(const QByteArray& sql)
{
    sqlite3_stmt* st = nullptr;
    QByteArray out;
    const int rc = sqlite3_prepare_v2(m_db, sql.constData(), -1, &st, nullptr);
    EXPECT_EQ(rc, SQLITE_OK) << sql.constData() << ": " << sqlite3_errmsg(m_db);
    if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(st, 0));
        out = QByteArray(p, sqlite3_column_bytes(st, 0));
    }
    sqlite3_finalize(st);
    return out;
}

qint64 RawDb::count(const char* table) { return scalar(QByteArray("select count(*) from ") + table).toLongLong(); }

int openDescriptorsOn(const QString& path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int n = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget() == target)
            ++n;
    }
    return n;
}

std::string runUnprivileged(const std::function<std::string()>& body)
{
    if (geteuid() != 0)
        return body();

    int fds[2];
    if (pipe(fds) != 0)
        return "child failed: pipe";
    const pid_t pid = fork();
    if (pid < 0)
        return "child failed: fork";
    if (pid == 0) {
        close(fds[0]);
        std::string answer;
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) {
            answer = "child failed: cannot drop root";
        } else {
            try {
                answer = body();
            } catch (const std::exception& e) {
                answer = std::string("child failed: ") + e.what();
            }
        }
        const ssize_t w = write(fds[1], answer.data(), answer.size());
        (void)w;
        close(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    std::string answer;
    char buf[4096];
    ssize_t got;
    while ((got = read(fds[0], buf, sizeof buf)) > 0)
        answer.append(buf, size_t(got));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed: status " + std::to_string(status);
    return answer;
}

std::array<QString, 17> customerRecord(std::initializer_list<QString> leading)
{
    std::array<QString, 17> r;
    size_t i = 0;
    for (const QString& v : leading)
        r.at(i++) = v;
    return r;
}

} // namespace coretest
