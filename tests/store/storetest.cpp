#include "storetest.h"

#include "data/pgconnection.h"
#include "data/pgstore.h"
#include "data/sqlitestore.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QFile>
#include <QUrl>
#include <unistd.h>

namespace storetest {

TestServer testServer()
{
    const QString uri = qEnvironmentVariable("TESSOLO_PG_TEST_URI");
    if (!uri.isEmpty())
        return {uri, {}};
    const QString dir = qEnvironmentVariable("TESSOLO_PG_TEST_DIR");
    if (dir.isEmpty())
        return {std::nullopt,
                QStringLiteral("neither TESSOLO_PG_TEST_URI nor TESSOLO_PG_TEST_DIR is set "
                               "(tools/pg-test-cluster.sh run … sets it)")};
    QFile uriFile(dir + QStringLiteral("/uri"));
    if (uriFile.open(QIODevice::ReadOnly))
        return {QString::fromUtf8(uriFile.readAll()).trimmed(), {}};
    QFile reasonFile(dir + QStringLiteral("/reason"));
    if (reasonFile.open(QIODevice::ReadOnly))
        return {std::nullopt, QString::fromUtf8(reasonFile.readAll()).trimmed()};
    return {std::nullopt, QStringLiteral("the test cluster in %1 was not started").arg(dir)};
}

bool inCi() { return qEnvironmentVariable("CI") == QLatin1String("true"); }

ScratchDatabase::ScratchDatabase(const QString& serverUri)
    : m_serverUri(serverUri)
{
    static QAtomicInteger<int> counter;
    m_name = QStringLiteral("tessolo_t%1_%2").arg(getpid()).arg(counter.fetchAndAddRelaxed(1));
    tessolo::store::TPgConnection admin(m_serverUri);
    admin.exec("create database " + m_name.toUtf8());
    QUrl url(serverUri);
    url.setPath(QLatin1Char('/') + m_name);
    m_uri = url.toString();
}

ScratchDatabase::~ScratchDatabase()
{
    try {
        tessolo::store::TPgConnection admin(m_serverUri);
        admin.exec("drop database if exists " + m_name.toUtf8() + " with (force)");
    } catch (const tessolo::TessoloError& e) {
        ADD_FAILURE() << "the scratch database stays: " << e.what();
    }
}

void ScratchDatabase::exec(const QByteArray& sql)
{
    tessolo::store::TPgConnection admin(m_uri);
    admin.exec(sql);
}

void StoreTest::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    if (GetParam() == Kind::Server)
        STORETEST_NEED_SERVER(m_scratch);
}

std::unique_ptr<tessolo::store::TStore> StoreTest::store()
{
    if (GetParam() == Kind::Server)
        return std::make_unique<tessolo::store::TPgStore>(m_scratch->uri());
    auto file = std::make_unique<tessolo::store::TSqliteStore>(filePath());
    file->ensureSchema();
    return file;
}

std::string kindName(const ::testing::TestParamInfo<Kind>& info)
{
    return info.param == Kind::File ? "File" : "Server";
}

tessolo::store::CustomerValues customerValues(const QString& tag, const QString& kana)
{
    tessolo::store::CustomerValues v;
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = tessolo::customer::kFields[i].column.toString() + tag;
    v[tessolo::customer::col::PersonKana] = kana.isNull() ? QStringLiteral("カナ") + tag : kana;
    return v;
}

} // namespace storetest
