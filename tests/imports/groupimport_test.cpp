// A column assigned to グループ: its names, however separated, join the
// memo's groups, read the same from a code page 932 file (whose bytes are
// stored as they lie) and from a UTF-8 one.

#include "csvimport/csvimportrun.h"
#include "customer/memofields.h"
#include "importtestutil.h"

#include <gtest/gtest.h>

using namespace tessolo;
using namespace tessolo::csvimport;

TEST(GroupImport, NamesSplitAtSeparatorsJoinTheMemo)
{
    importtest::Db db;
    ColumnMap map;
    map[0].first = 0;
    map[customer::col::Memo].first = 1;
    map[kGroups].first = 2;
    const QString text = QStringLiteral("山田,毎年12月,年賀状・DM不要\r\n"
                                        "加藤,,\"取引先、年賀状, 喪中\"\r\n"
                                        "佐藤,メモ,\r\n");
    for (const QByteArray& bytes : {importtest::sjis(text), text.toUtf8()}) {
        db.exec("delete from t_customer");
        run(db.write("g.csv", bytes), map);
        const QStringList rows = db.rows(QStringLiteral("select memo from t_customer order by rowid"));
        ASSERT_EQ(rows.size(), 3);
        EXPECT_EQ(rows.at(0), QStringLiteral("毎年12月\r\n#年賀状 #DM不要"));
        EXPECT_EQ(customer::memo::parse(rows.at(1)).groups,
                  (QStringList{QStringLiteral("取引先"), QStringLiteral("年賀状"), QStringLiteral("喪中")}));
        EXPECT_EQ(rows.at(2), QStringLiteral("メモ"));
    }
}
