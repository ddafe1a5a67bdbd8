#include "csvimport/duplicates.h"

#include "text/cp932.h"
#include "data/sqlitedo.h"
#include "data/store.h"
#include "text/searchfold.h"

#include <QHash>

#include <future>

#include <algorithm>
#include <array>
#include <vector>

namespace tessolo::csvimport {

namespace {

constexpr int kNamesShown = 5;
constexpr char kApart = '\x1F'; // between the parts of a key

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

// Code page 932 puts no byte below 0x40 second in a character: an ASCII
// digit byte is a digit.
bool holdsAsciiDigit(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// True when the bytes hold more than what addressKey removes (blanks and
// underscores, half-width or full-width: 0x8140, 0x8151) and the separators
// between the parts.
bool holdsMoreThanBlanks(QByteArrayView bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = uchar(bytes[i]);
        if (b == ' ' || b == '_' || b == kApart)
            continue;
        // 0x81 is a lead byte here: a trail byte was stepped over with its lead.
        if (b == 0x81 && i + 1 < bytes.size() && (uchar(bytes[i + 1]) == 0x40 || uchar(bytes[i + 1]) == 0x51)) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

// A customer as compared, in one run of stored bytes (code page 932): name,
// reading, telephone, prefecture, city and town, kApart between them. Equal
// bytes are the same number or address at once; only bytes that differ are
// decoded and compared as read (width, blanks, separators). One allocation a
// customer: the roster may hold thousands.
class Entry {
public:
    static void layOut(QByteArray& out, const std::array<QByteArrayView, 6>& fields)
    {
        out.clear();
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                out.append(kApart);
            out.append(fields[i]);
        }
    }
    // The bytes must outlive the entry.
    explicit Entry(QByteArrayView bytes)
    {
        const qsizetype reading = bytes.indexOf(kApart) + 1;
        const qsizetype tel = bytes.indexOf(kApart, reading) + 1;
        const qsizetype address = bytes.indexOf(kApart, tel) + 1;
        m_name = bytes.first(tel - 1);
        m_tel = bytes.sliced(tel, address - 1 - tel);
        m_address = bytes.sliced(address);
    }
    QByteArrayView name() const { return m_name; } // with the reading

    bool sameContactAs(const Entry& o) const
    {
        if (!m_tel.isEmpty() && m_tel == o.m_tel && holdsAsciiDigit(m_tel))
            return true;
        if (m_address == o.m_address && holdsMoreThanBlanks(m_address))
            return true;
        const QString phone = digitsOf(cp932::decode(m_tel));
        if (!phone.isEmpty() && phone == digitsOf(cp932::decode(o.m_tel)))
            return true;
        const QString address = addressKeyOf(m_address);
        return !address.isEmpty() && address == addressKeyOf(o.m_address);
    }

private:
    static QString addressKeyOf(QByteArrayView bytes)
    {
        const qsizetype city = bytes.indexOf(kApart) + 1;
        const qsizetype town = bytes.indexOf(kApart, city) + 1;
        return addressKey(cp932::decode(bytes.first(city - 1)), cp932::decode(bytes.sliced(city, town - 1 - city)),
                          cp932::decode(bytes.sliced(town)));
    }

    QByteArrayView m_name, m_tel, m_address;
};

// Customers by name and reading.
class Index {
public:
    bool contains(const Entry& e) const
    {
        for (auto it = m_byName.constFind(e.name()); it != m_byName.cend() && it.key() == e.name(); ++it) {
            if (it->sameContactAs(e))
                return true;
        }
        return false;
    }
    void add(QByteArrayView bytes)
    {
        // A copy of its own, exactly as long; a QByteArray that moves (as the
        // vector grows) keeps its data where it was, so the views stay good.
        m_bytes.emplace_back(bytes.data(), bytes.size());
        const Entry e{QByteArrayView(m_bytes.back())};
        m_byName.insert(e.name(), e);
    }

private:
    std::vector<QByteArray> m_bytes;
    QMultiHash<QByteArrayView, Entry> m_byName;
};

} // namespace

// The roster is read on a thread of its own while the file is read: a
// customer table has no index, so reading it costs about as much as the
// import's own reading of the file, and the two overlap on a second core.
// The lines are kept as they come and sorted out once both are read.
class TDuplicateFinder::Indexes {
public:
    Indexes()
    {
        if (store::currentIsServer()) {
            readServerRoster();
            return;
        }
        std::promise<void> reading;
        std::future<void> started = reading.get_future();
        m_roster = std::async(std::launch::async,
                              [this, path = TSQLiteDo::pathOf(kDatabaseName), reading = std::move(reading)]() mutable {
                                  readRoster(path, reading);
                              });
        // The import's writes must wait for this read, not the other way
        // round: the read holds its lock before the run begins to write.
        started.get();
    }
    ~Indexes()
    {
        if (m_roster.valid())
            m_roster.wait();
    }

    struct Line {
        qint64 index;
        qsizetype offset; // in `lines`
        qsizetype size;
    };
    QByteArray lines; // the lines kept, laid out as entries, one after another
    std::vector<Line> kept;
    QByteArray line; // the line in hand

    const Index& roster()
    {
        if (m_roster.valid())
            m_roster.get(); // the read's error, if any, is the run's
        return m_index;
    }

private:
    // An office's server is read here, not on a thread: its one connection
    // also answers the run's postal questions.
    void readServerRoster()
    {
        namespace col = customer::col;
        QByteArray bytes;
        for (const store::CustomerRow& r : store::current().customers()) {
            if (r.values[col::PersonName].isEmpty())
                continue;
            const std::array<QByteArray, 6> encoded = {
                cp932::encode(r.values[col::PersonName]), cp932::encode(r.values[col::PersonKana]),
                cp932::encode(r.values[col::Tel]),        cp932::encode(r.values[col::Prefecture]),
                cp932::encode(r.values[col::City]),       cp932::encode(r.values[col::Town])};
            Entry::layOut(bytes, {encoded[0], encoded[1], encoded[2], encoded[3], encoded[4], encoded[5]});
            m_index.add(bytes);
        }
    }

    void readRoster(const QString& path, std::promise<void>& reading)
    {
        bool told = false;
        try {
            TSQLiteDatabase db(path);
            QByteArray bytes;
            std::array<QByteArray, 6> canonical;
            db.ForEachStoredRow(
                "select person_name, person_kana, tel, prefecture, city, town from t_customer where person_name <> ''",
                [&](const QList<QByteArrayView>& c) {
                    if (!told) {
                        reading.set_value();
                        told = true;
                    }
                    // Stored earlier perhaps with the other code of a
                    // character that has two (髙, 﨑, ①): compared as what
                    // the characters are, in the bytes a run stores now.
                    for (int i = 0; i < 6; ++i)
                        canonical[i] = cp932::canonical(c[i]);
                    Entry::layOut(bytes,
                                  {canonical[0], canonical[1], canonical[2], canonical[3], canonical[4], canonical[5]});
                    m_index.add(bytes);
                });
        } catch (...) {
            if (!told)
                reading.set_value();
            throw;
        }
        if (!told)
            reading.set_value();
    }

    Index m_index;
    std::future<void> m_roster;
};

TDuplicateFinder::TDuplicateFinder()
    : m_indexes(std::make_unique<Indexes>())
{ }

TDuplicateFinder::~TDuplicateFinder() = default;

void TDuplicateFinder::add(qint64 line, const QList<QByteArrayView>& r)
{
    namespace col = customer::col;
    if (r[col::PersonName].isEmpty())
        return;
    Indexes& x = *m_indexes;
    Entry::layOut(
        x.line, {r[col::PersonName], r[col::PersonKana], r[col::Tel], r[col::Prefecture], r[col::City], r[col::Town]});
    x.kept.push_back({line, x.lines.size(), x.line.size()});
    x.lines.append(x.line);
}

const Duplicates& TDuplicateFinder::finish()
{
    Indexes& x = *m_indexes;
    const Index& roster = x.roster();
    Index earlier;
    for (const Indexes::Line& l : x.kept) {
        const QByteArrayView bytes = QByteArrayView(x.lines).sliced(l.offset, l.size);
        const Entry e(bytes);
        if (roster.contains(e))
            ++m_found.inRoster;
        else if (earlier.contains(e))
            ++m_found.inFile;
        else {
            earlier.add(bytes);
            continue;
        }
        m_found.lines.insert(l.index);
        if (m_found.firstNames.size() < kNamesShown)
            m_found.firstNames << cp932::decode(e.name().first(e.name().indexOf(kApart)));
    }
    x.kept.clear();
    x.lines.clear();
    return m_found;
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

namespace {

// "3、7 行目 ほか" for the first lines the check flagged.
QString firstLines(const Check& c)
{
    QStringList lines;
    for (qint64 n : c.firstLines)
        lines << QString::number(n);
    return lines.join(QStringLiteral("、")) + QStringLiteral(" 行目") +
        (c.lines.size() > c.firstLines.size() ? QStringLiteral(" ほか") : QString());
}

} // namespace

QString reviewQuestion(const Review& r)
{
    QString text;
    if (r.any())
        text = duplicatesQuestion(r);
    const Check& c = r.check;
    if (!c.any())
        return text;
    if (!text.isEmpty())
        text += QStringLiteral("\n\n");
    text += QStringLiteral("取り込む前に確かめていただきたい行が %1 行あります（%2）。")
                .arg(c.lines.size())
                .arg(firstLines(c));
    const auto item = [&text](qint64 n, const QString& what) {
        if (n > 0)
            text += QStringLiteral("\n・") + what.arg(n);
    };
    item(c.noName, QStringLiteral("氏名も会社名もない行: %1 行"));
    item(c.postalForm, QStringLiteral("郵便番号が 7 桁の数字でない行: %1 行"));
    item(c.postalUnknown, QStringLiteral("郵便番号が郵便番号データにない行: %1 行"));
    item(c.postalDiffers, QStringLiteral("都道府県・市区町村が郵便番号データと違う行: %1 行"));
    item(c.replaced, QStringLiteral("文字が「?」に置き換わった行: %1 行"));
    return text;
}

} // namespace tessolo::csvimport
