// An import that would bring customers in twice: lines matching the roster,
// lines repeating an earlier line, and the run that leaves them out.

#include "csvimport/duplicates.h"
#include "data/errors.h"
#include "customer/customer.h"
#include "importtestutil.h"

#include <gtest/gtest.h>

using namespace tessolo;
using namespace tessolo::csvimport;
using importtest::sjis;

namespace {

class Duplicates : public ::testing::Test {
protected:
    void SetUp() override
    {
        customer::Record yamada;
        yamada[0] = QStringLiteral("山田太郎");
        yamada[1] = QStringLiteral("ヤマダタロウ");
        yamada[11] = QStringLiteral("03-1111-2222");
        db.exec(customer::insertSql(yamada));
        customer::Record kato;
        kato[0] = QStringLiteral("加藤一郎");
        kato[1] = QStringLiteral("カトウイチロウ");
        kato[7] = QStringLiteral("東京都");
        kato[8] = QStringLiteral("千代田区");
        kato[9] = QStringLiteral("千代田１－１");
        db.exec(customer::insertSql(kato));
        // name, reading, tel, prefecture, city, town
        for (int k : {0, 1, 11, 7, 8, 9})
            map[k].first = int(columns.size()), columns << k;
    }
    importtest::Db db;
    ColumnMap map;
    QList<int> columns;
};

// The duplicates a run finds in the file, the run then cancelled: nothing
// is imported.
csvimport::Duplicates foundIn(const QString& file, const ColumnMap& map, bool header)
{
    csvimport::Duplicates found;
    try {
        run(file, map, {}, header, [&found](const csvimport::Duplicates& d) -> bool {
            found = d;
            throw EAbort();
        });
    } catch (const EAbort&) { }
    return found;
}

bool leaveOut(const csvimport::Duplicates&) { return true; }

TEST_F(Duplicates, CountsLinesMatchingTheRosterAndLinesRepeatingTheFile)
{
    const QString file =
        db.write("c.csv",
                 sjis(QStringLiteral(
                     "山田太郎,ﾔﾏﾀﾞﾀﾛｳ,(03)1111-2222,大阪府,大阪市北区,梅田1\r\n" // the roster's 山田: the same number
                     "加藤一郎,カトウイチロウ,,東京都,千代田区,千代田 1-1\r\n" // the roster's 加藤: the same address
                     "佐藤花子,サトウハナコ,06-1234-5678,,,\r\n"
                     "佐藤花子,ｻﾄｳﾊﾅｺ,0612345678,,,\r\n"                                // repeats the line before
                     ",,03-1111-2222,,,\r\n"                                            // no name: matches nothing
                     "山田太郎,ヤマダタロウ,099-999-9999,北海道,札幌市中央区,北1条\r\n" // another 山田太郎
                     "山田太郎,ヤマダ,03-1111-2222,,,\r\n")));                          // another reading
    const auto d = foundIn(file, map, false);
    EXPECT_EQ(d.inRoster, 2);
    EXPECT_EQ(d.inFile, 1);
    EXPECT_EQ(d.lines, (QSet<qint64>{0, 1, 3}));
    EXPECT_EQ(d.firstNames,
              (QStringList{QStringLiteral("山田太郎"), QStringLiteral("加藤一郎"), QStringLiteral("佐藤花子")}));

    // Left out, they are counted in the closing message with the line the
    // check flags (it has no name); the rest comes in.
    const Result r = run(file, map, {}, false, leaveOut);
    EXPECT_EQ(r.rows, 3);
    EXPECT_EQ(r.skipped, 4);
    EXPECT_TRUE(summary(r).contains(QStringLiteral("重複のため 3 行を取り込みませんでした。")));
    EXPECT_TRUE(summary(r).contains(QStringLiteral("確認が必要なため 1 行を取り込みませんでした。")));
    EXPECT_EQ(db.count(QStringLiteral("t_customer")), 5);
    EXPECT_EQ(db.count(QStringLiteral("t_customer where person_name = '佐藤花子'")), 1);

    // Imported a second time, every named line is a duplicate.
    const auto again = foundIn(file, map, false);
    EXPECT_EQ(again.inRoster, 6);
    EXPECT_EQ(again.inFile, 0);
}

TEST_F(Duplicates, ARunAsksOnceItHasReadTheFileAndKeepsNothingWhenCancelled)
{
    const QString file =
        db.write("r.csv",
                 sjis(QStringLiteral("加藤一郎,ｶﾄｳｲﾁﾛｳ,,東京都,千代田区,千代田１－１\r\n" // the roster's 加藤
                                     "佐藤花子,サトウハナコ,06-1234-5678,,,\r\n"
                                     "佐藤花子,サトウハナコ,06-1234-5678,,,\r\n")));
    int asked = 0;
    EXPECT_THROW(run(file, map, {}, false,
                     [&](const csvimport::Duplicates& d) -> bool {
                         ++asked;
                         EXPECT_EQ(d.lines, (QSet<qint64>{0, 2}));
                         throw EAbort();
                     }),
                 EAbort);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(db.count(QStringLiteral("t_customer")), 2);

    const Result r = run(file, map, {}, false, leaveOut);
    EXPECT_EQ(r.rows, 1);
    EXPECT_EQ(r.skipped, 2);
    EXPECT_EQ(db.count(QStringLiteral("t_customer")), 3);
    EXPECT_EQ(db.count(QStringLiteral("t_customer where person_name = '佐藤花子'")), 1);
}

TEST_F(Duplicates, EqualTextWithoutADigitOrAnAddressIsNoMatch)
{
    // Byte for byte the same lines, but nothing in them tells the two
    // people apart: a telephone field without digits, an address of blanks.
    const QString file = db.write(
        "n.csv",
        sjis(QStringLiteral(
            "鈴木一,スズキハジメ,不明,　, ,＿\r\n"
            "鈴木一,スズキハジメ,不明,　, ,＿\r\n"
            "鈴木一,スズキハジメ,０９０１２３４５６７８,,,\r\n" // full-width digits: read, not compared as bytes
            "鈴木一,スズキハジメ,090-1234-5678,,,\r\n")));
    const auto d = foundIn(file, map, false);
    EXPECT_EQ(d.inFile, 1);
    EXPECT_EQ(d.lines, QSet<qint64>{3});
}

TEST_F(Duplicates, AHeaderLineIsNotCounted)
{
    const QString file = db.write("h.csv",
                                  sjis(QStringLiteral("氏名,フリガナ,電話,都道府県,市区町村,住所\r\n"
                                                      "山田太郎,ヤマダタロウ,0311112222,,,\r\n")));
    const auto d = foundIn(file, map, true);
    EXPECT_EQ(d.inRoster, 1);
    EXPECT_EQ(d.lines, QSet<qint64>{0});
    EXPECT_EQ(run(file, map, {}, true, leaveOut).rows, 0);
    EXPECT_EQ(db.count(QStringLiteral("t_customer")), 2);
}

} // namespace
