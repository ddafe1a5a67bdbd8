#include "csvimport/csvimportrun.h"

#include "customer/memofields.h"

#include "csvimport/addresssplit.h"
#include "csvimport/duplicates.h"
#include "csvimport/xlsxread.h"
#include "data/bulkinsert.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "data/store.h"
#include "data/transaction.h"
#include "postal/postalcode.h"
#include "text/commatext.h"
#include "text/cp932.h"
#include "text/textsource.h"
#include "text/zenkaku.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <cstring>
#include <deque>

namespace tessolo::csvimport {

namespace col = customer::col;

namespace {

constexpr int kProgressEveryLines = 256;
constexpr int kLinesNamed = 5;
// A quoted value open for longer than this is taken for a stray quote, and
// its line is read on its own as the splitting rule reads it.
constexpr int kMaxJoinedLines = 1000;

// Readings lose control characters and blanks at both ends (U+0000..U+0020).
QString trimControls(const QString& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s[b].unicode() <= 0x20)
        ++b;
    while (e > b && s[e - 1].unicode() <= 0x20)
        --e;
    return b == 0 && e == s.size() ? s : s.sliced(b, e - b);
}

// Whether `line` ends inside a quoted value as the line is split: a blank
// is part of a value there, so a quote after a blank opens nothing (the
// blank is no byte of a code page 932 or UTF-8 character).
bool endsInsideQuotesAsSplit(const QByteArray& line, bool startsInside = false)
{
    if (!line.contains('"'))
        return startsInside;
    return endsInsideQuotes(line, startsInside, true);
}

// Lines of the file, but a line that ends inside a quoted value is joined
// with the following ones (by CR LF, the line break memos are stored with)
// until the value closes. When the file or the allowance ends first, the
// lines come one by one as they were.
class RecordReader {
public:
    explicit RecordReader(TLineReader& lines)
        : m_lines(lines)
    { }

    // The next record and the file position after its last line.
    bool next(QByteArray& record, qint64& end)
    {
        m_openAtEnd = false;
        if (!take(record, end))
            return false;
        if (m_plain > 0) {
            --m_plain;
            return true;
        }
        if (!endsInsideQuotesAsSplit(record))
            return true;
        std::vector<Line> taken;
        QByteArray joined = record;
        Line more;
        while (taken.size() < size_t(kMaxJoinedLines) && take(more.bytes, more.end)) {
            const bool stillOpen = endsInsideQuotesAsSplit(more.bytes, true);
            joined += "\r\n";
            joined += more.bytes;
            taken.push_back(more); // shares its bytes; the next take() gives more new ones
            if (!stillOpen) {
                record = std::move(joined);
                end = taken.back().end;
                return true;
            }
        }
        // The file ended inside the value: the lines come one by one, the
        // first of them the line that opened it.
        if (taken.size() < size_t(kMaxJoinedLines))
            m_openAtEnd = true;
        m_plain = qsizetype(taken.size());
        for (auto it = taken.rbegin(); it != taken.rend(); ++it)
            m_pending.push_front(std::move(*it));
        return true;
    }

    // Whether the record last given opened a quote that the file never closed.
    bool openAtEnd() const { return m_openAtEnd; }

private:
    struct Line {
        QByteArray bytes;
        qint64 end = 0;
    };

    bool take(QByteArray& bytes, qint64& end)
    {
        if (!m_pending.empty()) {
            bytes = std::move(m_pending.front().bytes);
            end = m_pending.front().end;
            m_pending.pop_front();
            return true;
        }
        if (!m_lines.next(bytes))
            return false;
        end = m_lines.position();
        return true;
    }

    TLineReader& m_lines;
    std::deque<Line> m_pending;
    qsizetype m_plain = 0; // pending lines that are read on their own
    bool m_openAtEnd = false;
};

// A header name brought to the form the aliases are compared in.
QString headerKey(const QString& name)
{
    QString key = name.normalized(QString::NormalizationForm_KC).toCaseFolded();
    static const QString dropped = QStringLiteral("_ 　-‐ー・･「」『』()[]【】<>《》、，,.。:：");
    QString out;
    for (QChar c : key) {
        if (!dropped.contains(c))
            out += c;
    }
    return out;
}

QString unclosedQuoteMessage(qint64 line)
{
    return QStringLiteral("%1 行目で始まる「\"」で囲まれた値が、ファイルの終わりまで閉じられていません。\n\n"
                          "%1 行目で中止しました。このファイルからは 1 件も取り込まれていません。")
        .arg(line);
}

} // namespace

QString columnEntry(int column, const QString& value)
{
    return QString::asprintf("%.2d", column) + QLatin1Char(' ') + value;
}

std::optional<int> entryColumn(const QString& entry)
{
    const qsizetype blank = entry.indexOf(QLatin1Char(' '));
    const QString number = blank < 0 ? entry : entry.first(blank);
    bool ok = false;
    const int column = number.toInt(&ok, 10);
    if (!ok || column < 0)
        return std::nullopt;
    return column;
}

QString withoutFormulaGuard(const QString& value)
{
    if (value.size() < 2 || value[0] != QLatin1Char('\''))
        return value;
    static const QString guarded = QStringLiteral("=+-@\t\r");
    return guarded.contains(value[1]) ? value.sliced(1) : value;
}

// ---------------------------------------------------------------- reading

struct TLineSource::Text {
    Text(const QString& fileName, std::optional<TextEncoding> encoding)
        : source(fileName, encoding),
          buffer(&source.bytes())
    {
        buffer.open(QIODevice::ReadOnly);
    }
    TTextSource source;
    QBuffer buffer;
    TLineReader lines{buffer};
    RecordReader reader{lines};
    qint64 feeds = 0;   // line feeds in the bytes read so far
    qint64 counted = 0; // bytes already searched for line feeds
    qint64 end = 0;
    QByteArray raw;
};

struct TLineSource::Sheet {
    QList<QStringList> rows;
    qsizetype next = 0;
};

bool isSpreadsheetFile(const QString& fileName)
{
    return QFileInfo(fileName).suffix().compare(QStringLiteral("xlsx"), Qt::CaseInsensitive) == 0;
}

TLineSource::TLineSource(const QString& fileName, std::optional<TextEncoding> encoding)
{
    if (isSpreadsheetFile(fileName)) {
        m_sheet = std::make_unique<Sheet>();
        m_sheet->rows = xlsx::readFirstSheet(fileName);
    } else {
        m_text = std::make_unique<Text>(fileName, encoding);
    }
}

TLineSource::~TLineSource() = default;

bool TLineSource::isSpreadsheet() const { return bool(m_sheet); }

TextEncoding TLineSource::encoding() const { return m_text ? m_text->source.fileEncoding() : TextEncoding::Utf8; }

qsizetype TLineSource::faults() const { return m_text ? m_text->source.faults() : 0; }

qint64 TLineSource::position() const { return m_text ? m_text->end : qint64(m_sheet->next); }

qint64 TLineSource::size() const { return m_text ? m_text->source.size() : qint64(m_sheet->rows.size()); }

bool TLineSource::next(SourceLine& line, bool lenient)
{
    if (m_sheet) {
        // A row with nothing in it is a blank line: it makes no customer.
        while (m_sheet->next < m_sheet->rows.size()) {
            const QStringList& row = m_sheet->rows[m_sheet->next++];
            if (std::all_of(row.begin(), row.end(), [](const QString& v) { return v.isEmpty(); }))
                continue;
            line.fields.clear();
            for (const QString& v : row)
                line.fields << withoutFormulaGuard(v);
            line.number = m_sheet->next;
            line.text = line.fields.join(QLatin1Char(','));
            line.faults = 0;
            return true;
        }
        return false;
    }
    Text& t = *m_text;
    if (!t.reader.next(t.raw, t.end))
        return false;
    const char* bytes = t.source.bytes().constData();
    for (const char* at = bytes + t.counted; (at = static_cast<const char*>(memchr(at, '\n', bytes + t.end - at)));
         ++at)
        ++t.feeds;
    t.counted = t.end;
    // The physical line (blank lines counted) for messages: the only line
    // feed inside what was read for this line is its own end.
    const bool endedByFeed = t.end > 0 && bytes[t.end - 1] == '\n';
    line.number = 1 + t.feeds - (endedByFeed ? 1 : 0);
    if (t.reader.openAtEnd() && !lenient)
        throw TessoloError(unclosedQuoteMessage(line.number));
    line.faults = invalidSequences(t.raw, t.source.encoding());
    line.text = decodeLine(t.raw, t.source.encoding());
    line.fields = splitKeepingBlanks(line.text);
    for (QString& v : line.fields) {
        if (v.startsWith(QLatin1Char('\'')))
            v = withoutFormulaGuard(v);
    }
    return true;
}

Preview preview(const QString& fileName, std::optional<TextEncoding> encoding, int rows)
{
    Preview p;
    TLineSource source(fileName, encoding);
    p.encoding = source.encoding();
    p.spreadsheet = source.isSpreadsheet();
    p.faults = source.faults();
    if (p.faults > 0 && !p.spreadsheet) {
        // What detection picks first: EUC-JP text also reads as code page
        // 932 without a fault, as rows of half-width katakana.
        const TextEncoding detected = encoding ? TLineSource(fileName).encoding() : p.encoding;
        for (TextEncoding e :
             {detected, TextEncoding::Cp932, TextEncoding::Utf8, TextEncoding::EucJp, TextEncoding::Utf16}) {
            if (e != p.encoding && TLineSource(fileName, e).faults() == 0) {
                p.cleanEncoding = e;
                break;
            }
        }
    }
    SourceLine line;
    while (p.rows.size() < rows && source.next(line, true))
        p.rows << line.fields;
    return p;
}

QStringList readLines(const QString& fileName, std::optional<TextEncoding> encoding)
{
    TLineSource source(fileName, encoding);
    QStringList lines;
    SourceLine line;
    while (source.next(line, true))
        lines << line.text;
    return lines;
}

std::array<std::optional<int>, kFieldCount> headerColumns(const QStringList& headerFields)
{
    static const auto keys = [] {
        std::array<QStringList, kFieldCount> k;
        for (int f = 0; f < kFieldCount; ++f) {
            // Besides each field's own caption (and the roster's label for it).
            const customer::Field& field = customer::kFields[size_t(f)];
            k[f] << headerKey(field.caption.toString());
            for (QStringView a : field.aliases.split(QLatin1Char('|')))
                k[f] << headerKey(a.toString());
        }
        return k;
    }();

    std::array<std::optional<int>, kFieldCount> columns;
    for (qsizetype c = 0; c < headerFields.size(); ++c) {
        const QString key = headerKey(headerFields[c]);
        if (key.isEmpty())
            continue;
        for (int f = 0; f < kFieldCount; ++f) {
            if (!columns[f] && keys[f].contains(key)) {
                columns[f] = int(c);
                break;
            }
        }
    }
    return columns;
}

std::optional<int> wholeAddressColumn(const QStringList& headerFields)
{
    const auto columns = headerColumns(headerFields);
    if (columns[col::Prefecture] || columns[col::City] || !columns[col::Town])
        return std::nullopt;
    if (headerKey(headerFields.at(*columns[col::Town])) != headerKey(customer::kCsvCaptions[col::Town]))
        return std::nullopt; // 町域, 番地 …: a town column, not the whole address
    return columns[col::Town];
}

QStringList columnEntries(const QStringList& fields)
{
    QStringList entries;
    for (qsizetype i = 0; i < fields.size(); ++i)
        entries << columnEntry(int(i), fields[i]);
    return entries;
}

bool anyAssigned(const ColumnMap& map)
{
    return std::any_of(map.begin(), map.end(), [](const Assignment& a) { return a.first || a.second; });
}

QString noAssignmentMessage()
{
    return QStringLiteral("取り込む項目が 1 つも割り付けられていません。何も取り込んでいません。\n\n"
                          "左の一覧の項目を選び、右の一覧の列を「＜＜指定」で割り付けてから実行してください。");
}

// ---------------------------------------------------------------- building

namespace {

// The line's value at `column`; a column the line lacks gives nothing (a
// short line keeps its fields, the missing ones are empty).
QString valueAt(const QStringList& fields, int column) { return fields.value(column); }

QString valueOf(const QStringList& fields, const Assignment& a)
{
    QString v = a.first ? valueAt(fields, *a.first) : QString();
    if (a.second)
        v += valueAt(fields, *a.second);
    return v;
}

// The highest column the map reads.
int highestColumn(const ColumnMap& map)
{
    int top = -1;
    for (const Assignment& a : map) {
        top = std::max(top, a.first.value_or(-1));
        top = std::max(top, a.second.value_or(-1));
    }
    return top;
}

} // namespace

QString memoWithGroups(const QString& memo, QString value)
{
    return customer::memo::withGroups(memo, customer::memo::splitGroups(value), {});
}

customer::Record buildRecord(const QStringList& fields, const ColumnMap& map, const TCnvk2K& zenkaku)
{
    customer::Record r;
    for (int k = 0; k < kFieldCount; ++k)
        r[k] = valueOf(fields, map[k]);
    for (int k : {int(col::PersonKana), int(col::CompanyKana)})
        r[k] = zenkaku.ToZenkaku(trimControls(r[k]));
    if (const Assignment& g = map[kGroups]; g.first || g.second) {
        QString value = g.first ? valueAt(fields, *g.first) : QString();
        if (g.second)
            value += QLatin1Char(' ') + valueAt(fields, *g.second);
        r[col::Memo] = memoWithGroups(r[col::Memo], value);
    }
    const QString postal = postal::cleaned(r[col::PostalCode]);
    if (postal::isSevenDigits(postal))
        r[col::PostalCode] = postal;
    return r;
}

QString wholeAddressOf(const QStringList& fields, const ColumnMap& map) { return valueOf(fields, map[kWholeAddress]); }

bool applyWholeAddress(customer::Record& r, const QString& whole, const TAddressSplitter& splitter)
{
    const std::optional<SplitAddress> parts = splitter.split(whole);
    if (!parts) {
        r[col::Town] = whole + r[col::Town];
        return false;
    }
    if (r[col::Prefecture].isEmpty())
        r[col::Prefecture] = parts->prefecture;
    if (r[col::City].isEmpty())
        r[col::City] = parts->city;
    r[col::Town] = parts->rest + r[col::Town];
    return true;
}

// ---------------------------------------------------------------- the run

namespace {

// The postal list as the check asks it: the codes of every line gathered
// first, then looked up together.
class PostalList {
public:
    PostalList()
        : m_loaded(store::current().postalListLoaded())
    { }
    bool loaded() const { return m_loaded; }
    void want(const QString& code)
    {
        if (m_loaded)
            m_wanted.insert(code);
    }
    void fetch()
    {
        if (!m_wanted.isEmpty())
            m_found = store::current().postalAddressesOf(m_wanted);
    }
    QList<postal::PostalAddress> addresses(const QString& code) const { return m_found.value(code); }

private:
    bool m_loaded;
    QSet<QString> m_wanted;
    store::TStore::PostalAddressesByCode m_found;
};

// Excel drops the leading 0 of 0600001: the 7-digit code a 6-digit one may
// have been, for the list to confirm; empty for anything else.
QString zeroPadded(const QString& givenPostal)
{
    const QString cleaned = postal::cleaned(givenPostal);
    const QString padded = QLatin1Char('0') + cleaned;
    return cleaned.size() == 6 && postal::isSevenDigits(padded) ? padded : QString();
}

// The code the check will look up for a built record.
void wantCode(PostalList& list, const QString& postal, const QString& givenPostal)
{
    if (postal.isEmpty())
        return;
    const QString code = postal::isSevenDigits(postal) ? postal : zeroPadded(givenPostal);
    if (!code.isEmpty())
        list.want(code);
}

enum Flag : unsigned { NoName = 1, PostalForm = 2, PostalUnknown = 4, PostalDiffers = 8, Replaced = 16 };

QString withoutBlanks(QString s)
{
    s.remove(QLatin1Char(' '));
    s.remove(QChar(0x3000));
    return s;
}

// A line read, built and encoded, waiting for the check and the commit.
// Only the bytes the row will hold are kept, and what the check reads: a
// list of ten thousand lines held as text would be as many times seventeen
// strings, all freed at the end.
struct Pending {
    qint64 index = 0;
    qint64 number = 0; // the file line, for messages
    unsigned flags = 0;
    bool noName = false;
    bool lacking = false; // a value lost characters the code page lacks
    // The code as built and as the file wrote it (null when the same), and
    // the prefecture and city it is checked against.
    QString postal, givenPostal, prefecture, city;
    // The line as text where the bytes lose something (characters the code
    // page lacks, unreadable bytes), and for a server, which stores text.
    std::optional<customer::Record> record;
    // The values in code page 932, as the row will hold them: value k ends
    // at ends[k].
    QByteArray stored;
    std::array<qsizetype, kFieldCount> ends;

    QByteArrayView valueBytes(int k) const
    {
        const qsizetype from = start(k);
        return QByteArrayView(stored).sliced(from, ends[k] - from);
    }

    qsizetype start(int k) const { return k > 0 ? ends[k - 1] : 0; }

    void viewsOf(QList<QByteArrayView>& views) const
    {
        views.resize(kFieldCount);
        for (int k = 0; k < kFieldCount; ++k)
            views[k] = valueBytes(k);
    }

    customer::Record text() const
    {
        if (record)
            return *record;
        customer::Record r;
        for (int k = 0; k < kFieldCount; ++k)
            r[k] = cp932::decode(valueBytes(k));
        return r;
    }
};

// Counts `values` values of the line that lost characters code page 932
// lacks: the line once, and the first few lines by number.
void noteLacking(Pending& p, qsizetype values, Result& result)
{
    if (values == 0)
        return;
    result.substitutedValues += values;
    if (!p.lacking && ++result.substitutedLineCount <= kLinesNamed)
        result.substitutedLines << p.number;
    p.lacking = true;
    p.flags |= Replaced;
}

// Encodes `values` as the row will hold them into `p`.
void encodeRow(Pending& p, const customer::Record& values, Result& result)
{
    std::array<qsizetype, kFieldCount> substituted;
    p.stored = cp932::encodeEach(values.data(), kFieldCount, p.ends.data(), substituted.data());
    noteLacking(p, std::count_if(substituted.begin(), substituted.end(), [](qsizetype n) { return n > 0; }), result);
}

// The check's change of the postal code, into the row's bytes too.
void setPostal(Pending& p, const QString& postal, Result& result)
{
    p.postal = postal;
    if (p.record)
        (*p.record)[col::PostalCode] = postal;
    qsizetype substituted = 0;
    const QByteArray bytes = cp932::encode(postal, &substituted);
    const qsizetype from = p.start(col::PostalCode);
    const qsizetype grown = bytes.size() - (p.ends[col::PostalCode] - from);
    p.stored.replace(from, p.ends[col::PostalCode] - from, bytes);
    for (int k = col::PostalCode; k < kFieldCount; ++k)
        p.ends[k] += grown;
    noteLacking(p, substituted > 0 ? 1 : 0, result);
}

// What the check says about a line; may give a 6-digit postal code its
// leading 0 back.
unsigned checkLine(Pending& p, PostalList* list, Result& result)
{
    unsigned flags = p.noName ? unsigned(NoName) : 0u;
    if (p.postal.isEmpty())
        return flags;
    const QString given = p.givenPostal.isNull() ? p.postal : p.givenPostal;
    if (!postal::isSevenDigits(p.postal)) {
        const QString padded = zeroPadded(given);
        if (list && list->loaded() && !padded.isEmpty() && !list->addresses(padded).isEmpty()) {
            setPostal(p, padded, result);
            ++result.zeroRestored;
        } else {
            return flags | PostalForm;
        }
    }
    if (!list || !list->loaded())
        return flags;
    const QList<postal::PostalAddress> known = list->addresses(p.postal);
    if (known.isEmpty()) {
        // Not in the list: kept as the file gave it, for the user to look at.
        if (given != p.postal)
            setPostal(p, given, result);
        return flags | PostalUnknown;
    }
    const QString prefecture = withoutBlanks(p.prefecture);
    const QString city = withoutBlanks(p.city);
    if (prefecture.isEmpty() && city.isEmpty())
        return flags;
    const bool agrees = std::any_of(known.begin(), known.end(), [&](const postal::PostalAddress& a) {
        return (prefecture.isEmpty() || prefecture == a.prefecture) && (city.isEmpty() || city == a.city);
    });
    return agrees ? flags : flags | PostalDiffers;
}

void countFlags(unsigned flags, Check& check)
{
    check.noName += (flags & NoName) != 0;
    check.postalForm += (flags & PostalForm) != 0;
    check.postalUnknown += (flags & PostalUnknown) != 0;
    check.postalDiffers += (flags & PostalDiffers) != 0;
    check.replaced += (flags & Replaced) != 0;
}

QString stoppedAt(const QString& message, qint64 line)
{
    return message +
        QStringLiteral("\n\n%1 行目で中止しました。このファイルからは 1 件も取り込まれていません。").arg(line);
}

// Writes every row not left out in one transaction: all of them, or none
// when one fails.
void storeRows(std::deque<Pending>& pending, const QSet<qint64>& leaveOut, const Review& review, Result& result)
{
    if (store::currentIsServer()) {
        // The server takes the rows in one transaction of its own.
        QList<store::CustomerValues> rows;
        for (Pending& p : pending) {
            if (leaveOut.contains(p.index)) {
                result.skippedChecked += !review.lines.contains(p.index);
                result.leftOut.push_back(p.text());
            } else {
                rows.append(*p.record);
            }
        }
        result.rows = store::current().insertCustomers(rows);
        result.skipped = qint64(result.leftOut.size());
        return;
    }
    TSQLiteDo db;
    db.setDBpoint(kDatabaseName);
    TTransaction transaction(*db.SQLiteDB);
    TBulkInsert insert(*db.SQLiteDB, QStringLiteral("t_customer"), kFieldCount);
    QList<QByteArrayView> values;
    for (Pending& p : pending) {
        if (leaveOut.contains(p.index)) {
            result.skippedChecked += !review.lines.contains(p.index);
            result.leftOut.push_back(p.text());
            continue;
        }
        p.viewsOf(values);
        try {
            insert.insertEncoded(values);
        } catch (const TessoloError& e) {
            throw TessoloError(stoppedAt(e.message(), p.number));
        }
        ++result.rows;
    }
    result.skipped = qint64(result.leftOut.size());
    transaction.commit();
}

} // namespace

Result run(const QString& fileName, const ColumnMap& map, const ProgressFn& progress, bool firstLineIsHeader,
           const DuplicatesFn& onDuplicates, const Options& options)
{
    if (!anyAssigned(map))
        throw TessoloError(noAssignmentMessage());
    TLineSource source(fileName, options.encoding);
    const std::optional<TAddressSplitter> splitter =
        map[kWholeAddress].first ? std::optional(TAddressSplitter::forImport()) : std::nullopt;
    // The roster as it was before the run, read beside the file.
    std::optional<TDuplicateFinder> duplicates;
    if (onDuplicates)
        duplicates.emplace();
    std::optional<PostalList> postalList;
    if (map[col::PostalCode].first || map[col::PostalCode].second)
        postalList.emplace();

    const bool onServer = store::currentIsServer();
    TCnvk2K zenkaku;
    Result result;
    Review review;
    // A deque: the lines stay where they are as it grows.
    std::deque<Pending> pending;
    QList<QByteArrayView> values;
    const int highest = highestColumn(map);
    qsizetype width = -1; // the first line's number of values
    SourceLine line;
    qint64 index = firstLineIsHeader ? -1 : 0;
    for (;;) {
        if (!source.next(line))
            break;
        if (width < 0)
            width = line.fields.size();
        if (index++ < 0)
            continue;
        const qint64 at = index - 1;
        Pending p;
        p.index = at;
        p.number = line.number;
        customer::Record record = buildRecord(line.fields, map, zenkaku);
        if (line.fields.size() < width || line.fields.size() <= highest)
            ++result.shortLines;
        else if (line.fields.size() > width)
            ++result.longLines;
        if (splitter && !applyWholeAddress(record, wholeAddressOf(line.fields, map), *splitter))
            ++result.unsplitAddresses;
        if (line.faults > 0) {
            p.flags |= Replaced;
            if (++result.invalidLineCount <= kLinesNamed)
                result.invalidLines << line.number;
        }
        encodeRow(p, record, result);
        p.noName = record[col::PersonName].trimmed().isEmpty() && record[col::CompanyName].trimmed().isEmpty();
        if (postalList) {
            p.postal = record[col::PostalCode];
            const QString given = valueOf(line.fields, map[col::PostalCode]);
            if (given != p.postal)
                p.givenPostal = given;
            p.prefecture = record[col::Prefecture];
            p.city = record[col::City];
            wantCode(*postalList, p.postal, given);
        }
        if (onServer || (p.flags & Replaced))
            p.record = std::move(record);
        pending.push_back(std::move(p));
        if (progress && at % kProgressEveryLines == 0 && !progress(source.position(), source.size()))
            throw EAbort();
    }
    if (postalList)
        postalList->fetch();
    for (Pending& p : pending) {
        const unsigned flags = p.flags | checkLine(p, postalList ? &*postalList : nullptr, result);
        if (flags) {
            countFlags(flags, review.check);
            review.check.lines.insert(p.index);
            if (review.check.firstLines.size() < kLinesNamed)
                review.check.firstLines << p.number;
        }
        if (duplicates) {
            p.viewsOf(values);
            duplicates->add(p.index, values);
        }
    }
    if (progress && !progress(source.size(), source.size()))
        throw EAbort();

    // Asked before anything is written: what is left out is never stored.
    QSet<qint64> leaveOut;
    if (duplicates) {
        static_cast<Duplicates&>(review) = duplicates->finish();
        if ((review.any() || review.check.any()) && onDuplicates(review)) {
            leaveOut = review.lines;
            leaveOut.unite(review.check.lines);
        }
    }

    storeRows(pending, leaveOut, review, result);
    return result;
}

namespace {

// "3、7、12 行目 ほか": the first few line numbers, and whether there are more.
QString namedLines(const QList<qint64>& named, qint64 count)
{
    QStringList lines;
    for (qint64 n : named)
        lines << QString::number(n);
    return lines.join(QStringLiteral("、")) + QStringLiteral(" 行目") +
        (count > named.size() ? QStringLiteral(" ほか") : QString());
}

} // namespace

QString summary(const Result& result)
{
    QString text = QStringLiteral("%1 件の顧客データを取り込みました。").arg(result.rows);
    if (result.skipped > result.skippedChecked)
        text +=
            QStringLiteral("\n重複のため %1 行を取り込みませんでした。").arg(result.skipped - result.skippedChecked);
    if (result.skippedChecked > 0)
        text += QStringLiteral("\n確認が必要なため %1 行を取り込みませんでした。").arg(result.skippedChecked);
    if (result.shortLines > 0)
        text +=
            QStringLiteral("\n値の数が足りない %1 行は、足りない項目を空にして取り込みました。").arg(result.shortLines);
    if (result.longLines > 0)
        text += QStringLiteral("\n値の数が多い %1 行は、割り付けた列だけを取り込みました。").arg(result.longLines);
    if (result.zeroRestored > 0)
        text += QStringLiteral("\n6 桁の郵便番号 %1 件は、郵便番号データにある先頭の 0 を補いました。")
                    .arg(result.zeroRestored);
    if (result.unsplitAddresses > 0)
        text +=
            QStringLiteral("\n住所（一括）を都道府県・市区町村に分けられなかった %1 行は、住所にそのまま入れました。")
                .arg(result.unsplitAddresses);
    if (result.invalidLineCount > 0)
        text += QStringLiteral("\n\n文字として読めないバイト（壊れた文字）を含む行が %1 "
                               "行あり、そのバイトを「?」に置き換えました（%2）。")
                    .arg(result.invalidLineCount)
                    .arg(namedLines(result.invalidLines, result.invalidLineCount));
    if (result.substitutedValues > 0)
        text +=
            QStringLiteral(
                "\n\n保存できない文字（外字・絵文字など）を含む %1 個の値で、その文字を「?」に置き換えました（%2）。")
                .arg(result.substitutedValues)
                .arg(namedLines(result.substitutedLines, result.substitutedLineCount));
    return text;
}

} // namespace tessolo::csvimport
