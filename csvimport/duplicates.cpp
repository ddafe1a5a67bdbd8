#include "csvimport/duplicates.h"

#include "data/sqlitedo.h"
#include "text/searchfold.h"

#include <QHash>

namespace tessolo::csvimport {

namespace {

constexpr int kNamesShown = 5;

// What tells two customers of the same name apart.
struct Contact {
    QString phone;
    QString address;

    bool sameAs(const Contact& o) const
    {
        return (!phone.isEmpty() && phone == o.phone) || (!address.isEmpty() && address == o.address);
    }
};

QString digitsOf(const QString& tel)
{
    QString out;
    for (QChar c : foldForSearch(tel)) {
        if (c >= u'0' && c <= u'9')
            out += c;
    }
    return out;
}

QString addressKey(const QString& prefecture, const QString& city, const QString& town)
{
    // The import turns blanks into underscores: both count as blanks here.
    QString key = foldForSearch(QString(prefecture + city + town));
    key.remove(QLatin1Char(' '));
    key.remove(QLatin1Char('_'));
    return key;
}

class Index {
public:
    static QString nameKey(const QString& name, const QString& reading) { return name + QChar(0x1F) + reading; }

    bool contains(const QString& key, const Contact& c) const
    {
        const auto it = m_byName.constFind(key);
        if (it == m_byName.constEnd())
            return false;
        for (const Contact& known : *it) {
            if (known.sameAs(c))
                return true;
        }
        return false;
    }
    void add(const QString& key, Contact c) { m_byName[key].append(std::move(c)); }

private:
    QHash<QString, QList<Contact>> m_byName;
};

Index rosterIndex()
{
    Index index;
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto t = db.query(
        QStringLiteral("select person_name, person_kana, tel, prefecture, city, town from t_customer where person_name <> ''"));
    auto col = [&t](const char* name) { return t->NamedFieldAsString(QString::fromLatin1(name)); };
    for (t->MoveFirst(); !t->Eof(); t->Next())
        index.add(Index::nameKey(col("person_name"), col("person_kana")),
                  {digitsOf(col("tel")), addressKey(col("prefecture"), col("city"), col("town"))});
    return index;
}

} // namespace

Duplicates findDuplicates(const QString& fileName, const ColumnMap& map, bool firstLineIsHeader,
                          const ProgressFn& progress)
{
    const Index roster = rosterIndex();
    Index earlier;
    Duplicates d;
    // name, reading, prefecture, city, town, telephone
    forEachRecord(fileName, map, firstLineIsHeader, {0, 1, 7, 8, 9, 11}, [&](qint64 line, const customer::Record& r) {
        if (r[0].isEmpty())
            return;
        const QString key = Index::nameKey(r[0], r[1]);
        Contact c{digitsOf(r[11]), addressKey(r[7], r[8], r[9])};
        if (roster.contains(key, c))
            ++d.inRoster;
        else if (earlier.contains(key, c))
            ++d.inFile;
        else {
            earlier.add(key, std::move(c));
            return;
        }
        d.lines.insert(line);
        if (d.firstNames.size() < kNamesShown)
            d.firstNames << r[0];
    }, progress);
    return d;
}

std::vector<customer::Record> recordsOf(const QString& fileName, const ColumnMap& map, bool firstLineIsHeader,
                                        const QSet<qint64>& lines)
{
    QList<int> every;
    for (int k = 0; k < kFieldCount; ++k)
        every << k;
    std::vector<customer::Record> records;
    forEachRecord(fileName, map, firstLineIsHeader, every, [&](qint64 line, const customer::Record& r) {
        if (lines.contains(line))
            records.push_back(r);
    });
    return records;
}

QString duplicatesQuestion(const Duplicates& d)
{
    QString text = QStringLiteral("このファイルには、すでに登録されている顧客と同じ行が %1 行、"
                                  "ファイルの中で前の行と同じ行が %2 行あります。")
                       .arg(d.inRoster)
                       .arg(d.inFile);
    text += QStringLiteral("\n\n例: ") + d.firstNames.join(QStringLiteral("、"));
    if (d.lines.size() > d.firstNames.size())
        text += QStringLiteral(" ほか");
    text += QStringLiteral("\n\n同じ顧客は、氏名と氏名（カナ）が同じで、電話番号か住所も同じものです。");
    return text;
}

} // namespace tessolo::csvimport
