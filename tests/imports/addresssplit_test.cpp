// An address kept in one column, split into prefecture, city and the rest by
// the shipped table or by the loaded postal list, on its own and in an import.

#include "csvimport/addresssplit.h"
#include "csvimport/csvimportrun.h"
#include "text/commatext.h"
#include "importtestutil.h"

#include <gtest/gtest.h>

using namespace tessolo;
using namespace tessolo::csvimport;
using importtest::sjis;

namespace {

QString parts(const TAddressSplitter& s, const QString& whole)
{
    const auto p = s.split(whole);
    return p ? p->prefecture + QLatin1Char('|') + p->city + QLatin1Char('|') + p->rest : QStringLiteral("(whole)");
}

TEST(AddressSplit, TheShippedTableSplitsWardsCountiesAndAddressesWithoutPrefecture)
{
    const TAddressSplitter s = TAddressSplitter::shipped();
    EXPECT_EQ(parts(s, QStringLiteral("東京都府中市宮西町4-5-6_パークハイツ府中302")),
              QStringLiteral("東京都|府中市|宮西町4-5-6_パークハイツ府中302"));
    // A designated city's ward is part of the city.
    EXPECT_EQ(parts(s, QStringLiteral("神奈川県横浜市港北区日吉本町1-2-3")),
              QStringLiteral("神奈川県|横浜市港北区|日吉本町1-2-3"));
    // A county town, with a blank after the prefecture.
    EXPECT_EQ(parts(s, QStringLiteral("北海道　虻田郡倶知安町南一条東1丁目")),
              QStringLiteral("北海道|虻田郡倶知安町|南一条東1丁目"));
    // The prefecture left off: found from a municipality only one prefecture has.
    EXPECT_EQ(parts(s, QStringLiteral("札幌市中央区北一条西2丁目")),
              QStringLiteral("北海道|札幌市中央区|北一条西2丁目"));
    EXPECT_EQ(parts(s, QStringLiteral("中央区銀座1-1")), QStringLiteral("東京都|中央区|銀座1-1"));
    // 府中市 is in 東京都 and in 広島県: without the prefecture it stays whole,
    // and so do a prefecture's wrong city and a text that names no place.
    EXPECT_EQ(parts(s, QStringLiteral("府中市宮西町4-5-6")), QStringLiteral("(whole)"));
    EXPECT_EQ(parts(s, QStringLiteral("大阪府府中市1")), QStringLiteral("(whole)"));
    EXPECT_EQ(parts(s, QStringLiteral("駅前ビル3階")), QStringLiteral("(whole)"));
}

TEST(AddressSplit, TheLoadedPostalListIsUsedBeforeTheShippedTable)
{
    importtest::Db db;
    EXPECT_EQ(parts(TAddressSplitter::forImport(), QStringLiteral("東京都府中市1")), QStringLiteral("東京都|府中市|1"));
    db.exec(
        QStringLiteral("insert into m_postal values ('99999','','9999999','ｶｸｳｹﾝ','ｶｸｳｼ','','架空県','架空市','')"));
    const TAddressSplitter fromList = TAddressSplitter::forImport();
    EXPECT_EQ(parts(fromList, QStringLiteral("架空県架空市本町1")), QStringLiteral("架空県|架空市|本町1"));
    EXPECT_EQ(parts(fromList, QStringLiteral("東京都府中市1")), QStringLiteral("(whole)"));
}

TEST(AddressSplit, AnImportSplitsTheWholeAddressColumnAndCountsWhatStayedWhole)
{
    importtest::Db db;
    const QStringList header = splitCommaText(QStringLiteral("名前,住所,電話"));
    ASSERT_EQ(wholeAddressColumn(header), 1);
    EXPECT_EQ(wholeAddressColumn(splitCommaText(QStringLiteral("名前,都道府県,住所"))), std::nullopt);
    EXPECT_EQ(wholeAddressColumn(splitCommaText(QStringLiteral("名前,町域"))), std::nullopt);

    ColumnMap map;
    map[0].first = 0;
    map[kWholeAddress].first = 1;
    const QString file = db.write("a.csv",
                                  sjis(QStringLiteral("名前,住所,電話\r\n"
                                                      "山田,東京都府中市宮西町4-5-6 パークハイツ府中302,1\r\n"
                                                      "加藤,府中市宮西町1,2\r\n")));
    const Result r = run(file, map, {}, true);
    EXPECT_EQ(r.rows, 2);
    EXPECT_EQ(r.unsplitAddresses, 1);
    EXPECT_TRUE(summary(r).contains(QStringLiteral("分けられなかった 1 行")));
    EXPECT_EQ(db.rows(QStringLiteral("select person_name, prefecture, city, town from t_customer")),
              (QStringList{QStringLiteral("山田|東京都|府中市|宮西町4-5-6 パークハイツ府中302"),
                           QStringLiteral("加藤|||府中市宮西町1")}));
}

} // namespace
