#pragma once
// What the roster benchmarks share: a database of their own in a temporary
// folder, filled with a run of made-up customers in one transaction.

#include "data/datalocation.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"

#include <QTemporaryDir>

namespace benchcustomers {

// Points the database helper at a fresh tessolo.db for its lifetime.
class Database {
public:
    Database()
    {
        tessolo::location::setDataDirectory(m_dir.path());
        tessolo::TSQLiteDo().initDB(tessolo::kDatabaseName);
    }
    ~Database() { tessolo::location::setDataDirectory(QString()); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

private:
    QTemporaryDir m_dir;
};

// `count` customers with names, readings, company and address; with
// `everyField` the other columns too (reading, building, telephone, mail,
// web, a two-line memo with quotes), as an export meets them.
inline void create(int count, bool everyField = false)
{
    static const char16_t* const kana[] = {u"ヤマダ", u"カトウ",   u"ササキ", u"タナカ",   u"ナカムラ",
                                           u"ハヤシ", u"マツモト", u"ヨシダ", u"ワタナベ", u"ゴトウ"};
    tessolo::TSQLiteDo db;
    db.setDBpoint(tessolo::kDatabaseName);
    db.beginTransaction();
    for (int i = 0; i < count; ++i) {
        tessolo::customer::Record r;
        r[0] = QStringLiteral("顧客%1").arg(i);
        r[1] = QString::fromUtf16(kana[i % 10]) + QStringLiteral("%1").arg(i);
        r[2] = QStringLiteral("株式会社テスト%1").arg(i % 97);
        r[4] = QStringLiteral("課長");
        r[5] = QStringLiteral("営業部");
        r[6] = QStringLiteral("1000001");
        r[7] = QStringLiteral("東京都");
        r[8] = QStringLiteral("千代田区");
        r[9] = QStringLiteral("千代田1-1");
        if (everyField) {
            r[3] = QStringLiteral("カブシキガイシャテスト");
            r[10] = QStringLiteral("テストビル%1階").arg(i % 9 + 1);
            r[11] = QStringLiteral("03-1234-%1").arg(i % 10000, 4, 10, QLatin1Char('0'));
            r[13] = QStringLiteral("user%1@example.jp").arg(i);
            r[15] = QStringLiteral("www.example.jp");
            r[16] = QStringLiteral("初回訪問 \"%1\"\n担当: 佐藤").arg(i);
        }
        db.exec_sql2(tessolo::customer::insertSql(r));
    }
    db.commitTransaction();
}

// The roster's list query with the named columns of every row read as
// text; answers the characters read (so that nothing is optimised away).
template <class Columns> qsizetype readList(const Columns& columns)
{
    tessolo::TSQLiteDo db;
    db.getDBpoint(tessolo::kDatabaseName);
    auto t = db.query(tessolo::customer::kListSql);
    qsizetype chars = 0;
    for (t->MoveFirst(); !t->Eof(); t->Next())
        for (const QString& c : columns)
            chars += t->NamedFieldAsString(c).size();
    return chars;
}

} // namespace benchcustomers
