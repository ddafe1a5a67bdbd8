#include "csvimport/csvimportrun.h"

#include "customer/memofields.h"

#include "csvimport/addresssplit.h"
#include "csvimport/duplicates.h"
#include "data/bulkinsert.h"
#include "text/cp932.h"
#include "text/commatext.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "text/textsource.h"
#include "text/zenkaku.h"

#include <QBuffer>
#include <deque>

namespace tessolo::csvimport {

namespace {

// The fields the import changes on the way in: the readings are widened and
// the postal code loses its hyphen.
const QList<int> kReadings = fields::withRole(customer::kFields, fields::Role::Reading);
constexpr int kPostalCode = fields::firstWith(customer::kFields, fields::Role::PostalCode);
static_assert(kPostalCode >= 0);
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
    return s.sliced(b, e - b);
}

// Whether `line` ends inside a quoted value as the line is split: its blanks
// are underscores by then, so a quote after a blank opens nothing (the
// blank is no byte of a code page 932 or UTF-8 character).
bool endsInsideQuotesAsSplit(const QByteArray& line, bool startsInside = false)
{
    if (!line.contains('"'))
        return startsInside;
    return endsInsideQuotes(QByteArray(line).replace(' ', '_'), startsInside);
}

// Lines of the file, but a line that ends inside a quoted value is joined
// with the following ones (by CR LF, the line break memos are stored with)
// until the value closes. When the file or the allowance ends first, the
// lines come one by one as they were.
class RecordReader {
public:
    explicit RecordReader(LineReader& lines)
        : m_lines(lines) {}

    // The next record and the file position after its last line.
    bool next(QByteArray& record, qint64& end)
    {
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
        m_plain = qsizetype(taken.size());
        for (auto it = taken.rbegin(); it != taken.rend(); ++it)
            m_pending.push_front(std::move(*it));
        return true;
    }

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

    LineReader& m_lines;
    std::deque<Line> m_pending;
    qsizetype m_plain = 0; // pending lines that are read on their own
};

// A file's bytes and the reader of its records over them.
struct FileRecords {
    explicit FileRecords(const QString& fileName)
        : source(fileName)
        , buffer(&source.bytes())
    {
        buffer.open(QIODevice::ReadOnly);
    }
    TextSource source;
    QBuffer buffer;
    LineReader lines{buffer};
    RecordReader reader{lines};
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

QString replaceBlanks(QString line) { return line.replace(QLatin1Char(' '), QLatin1Char('_')); }

QStringList readLines(const QString& fileName)
{
    FileRecords file(fileName);
    TextSource& source = file.source;
    RecordReader& reader = file.reader;
    QStringList lines;
    QByteArray raw;
    qint64 end = 0;
    while (reader.next(raw, end))
        lines << replaceBlanks(decodeLine(raw, source.encoding()));
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
    constexpr int kPrefecture = 7, kCity = 8, kTown = 9;
    if (columns[kPrefecture] || columns[kCity] || !columns[kTown])
        return std::nullopt;
    if (headerKey(headerFields.at(*columns[kTown])) != headerKey(customer::kCsvCaptions[kTown]))
        return std::nullopt; // 町域, 番地 …: a town column, not the whole address
    return columns[kTown];
}

QStringList columnEntries(const QString& line)
{
    QStringList entries;
    const QStringList fields = splitCommaText(line);
    for (qsizetype i = 0; i < fields.size(); ++i)
        entries << columnEntry(int(i), fields[i]);
    return entries;
}

namespace {

// The value of each field: its first assigned column, then its second,
// joined with nothing between. Works on decoded text and on the file's own
// code page 932 bytes alike.
template <class Str, class List>
std::array<Str, kFieldCount> pickColumns(const List& fields, const ColumnMap& map)
{
    std::array<Str, kFieldCount> values;
    for (int k = 0; k < kFieldCount; ++k) {
        if (map[k].first)
            values[k] = fieldAt(fields, *map[k].first);
        if (map[k].second)
            values[k] += fieldAt(fields, *map[k].second);
    }
    return values;
}

QString normaliseReading(const QString& reading, const TCnvk2K& zenkaku)
{
    return zenkaku.ToZenkaku(trimControls(reading));
}

} // namespace

QString memoWithGroups(const QString& memo, QString value)
{
    return customer::memo::withGroups(memo, customer::memo::splitGroups(value.replace(QLatin1Char('_'), QLatin1Char(' '))),
                                      {});
}

customer::Record buildRecord(const QStringList& fields, const ColumnMap& map, const TCnvk2K& zenkaku)
{
    customer::Record r = pickColumns<QString>(fields, map);
    if (const Assignment& g = map[kGroups]; g.first || g.second) {
        QString value = g.first ? fieldAt(fields, *g.first) : QString();
        if (g.second)
            value += QLatin1Char(' ') + fieldAt(fields, *g.second);
        r[customer::col::Memo] = memoWithGroups(r[customer::col::Memo], value);
    }
    for (int k : kReadings)
        r[k] = normaliseReading(r[k], zenkaku);
    r[kPostalCode].remove(QLatin1Char('-'));
    return r;
}

QString wholeAddressOf(const QStringList& fields, const ColumnMap& map)
{
    const Assignment& a = map[kWholeAddress];
    QString whole = a.first ? fieldAt(fields, *a.first) : QString();
    if (a.second)
        whole += fieldAt(fields, *a.second);
    return whole;
}

bool applyWholeAddress(customer::Record& r, const QString& whole, const AddressSplitter& splitter)
{
    constexpr int kPrefecture = 7, kCity = 8, kTown = 9;
    const std::optional<SplitAddress> parts = splitter.split(whole);
    if (!parts) {
        r[kTown] = whole + r[kTown];
        return false;
    }
    if (r[kPrefecture].isEmpty())
        r[kPrefecture] = parts->prefecture;
    if (r[kCity].isEmpty())
        r[kCity] = parts->city;
    r[kTown] = parts->rest + r[kTown];
    return true;
}

namespace {

// The same record from a code page 932 line as it lies in the file. Only the
// two readings need the round trip through UTF-16 (they are widened); every
// other value goes into the table as the file's own bytes, which is what the
// text path would store too, without converting every field twice. The
// blank and the hyphen are single bytes that no trail byte can be. The
// values are views into the line and into `built`, good until the next line.
struct EncodedRecord {
    QList<QByteArrayView> fields;
    std::vector<QByteArray> undoubled;
    std::array<QByteArray, kFieldCount> built;
    QList<QByteArrayView> values;

    // False when a whole address was given and could not be split.
    bool build(QByteArray& line, const ColumnMap& map, const TCnvk2K& zenkaku, const AddressSplitter* splitter)
    {
        line.replace(' ', '_');
        splitCommaText(QByteArrayView(line), fields, undoubled);
        values.resize(kFieldCount);
        for (int k = 0; k < kFieldCount; ++k) {
            QByteArrayView v;
            if (map[k].first)
                v = fieldAt(fields, *map[k].first);
            if (map[k].second) {
                built[k] = v.toByteArray();
                built[k].append(fieldAt(fields, *map[k].second));
                v = built[k];
            }
            values[k] = v;
        }
        for (int k : kReadings) {
            built[k] = cp932::encode(normaliseReading(cp932::decode(values[k]), zenkaku));
            values[k] = built[k];
        }
        if (values[kPostalCode].contains('-')) {
            built[kPostalCode] = values[kPostalCode].toByteArray().replace("-", "");
            values[kPostalCode] = built[kPostalCode];
        }
        if (const Assignment& g = map[kGroups]; g.first || g.second) {
            QByteArray value = g.first ? fieldAt(fields, *g.first).toByteArray() : QByteArray();
            if (g.second)
                value.append(' ').append(fieldAt(fields, *g.second));
            built[customer::col::Memo] =
                cp932::encode(memoWithGroups(cp932::decode(values[customer::col::Memo]), cp932::decode(value)));
            values[customer::col::Memo] = built[customer::col::Memo];
        }
        const Assignment& a = map[kWholeAddress];
        if (!splitter || !a.first)
            return true;
        // Only the address makes the round trip through UTF-16.
        QByteArray whole = fieldAt(fields, *a.first).toByteArray();
        if (a.second)
            whole.append(fieldAt(fields, *a.second));
        customer::Record r;
        for (int k : kAddressFields)
            r[k] = cp932::decode(values[k]);
        const bool split = applyWholeAddress(r, cp932::decode(whole), *splitter);
        for (int k : kAddressFields) {
            built[k] = cp932::encode(r[k]);
            values[k] = built[k];
        }
        return split;
    }

    static constexpr int kAddressFields[] = {7, 8, 9}; // prefecture, city, town
};

} // namespace

namespace {

// A line built from decoded text, in the bytes the run stores for it.
class StoredText {
public:
    const QList<QByteArrayView>& of(const customer::Record& r, const QList<int>& wanted)
    {
        for (int k : wanted) {
            m_encoded[k] = cp932::encode(r[k]);
            m_values[k] = m_encoded[k];
        }
        return m_values;
    }

private:
    std::array<QByteArray, kFieldCount> m_encoded;
    QList<QByteArrayView> m_values = QList<QByteArrayView>(kFieldCount);
};

} // namespace

void forEachRecord(const QString& fileName, const ColumnMap& map, bool firstLineIsHeader, const QList<int>& wanted,
                   const RecordFn& visit, const ProgressFn& progress)
{
    FileRecords file(fileName);
    TCnvk2K zenkaku;
    const std::optional<AddressSplitter> splitter =
        map[kWholeAddress].first ? std::optional(AddressSplitter::forImport()) : std::nullopt;
    const bool cp932File = file.source.encoding() == TextEncoding::Cp932;
    EncodedRecord encoded;
    QByteArray raw;
    qint64 end = 0;
    qint64 index = firstLineIsHeader ? -1 : 0;
    while (file.reader.next(raw, end)) {
        customer::Record r;
        try {
            if (index >= 0 && cp932File && invalidSequences(raw, file.source.encoding()) == 0) {
                // Only the wanted values are decoded.
                encoded.build(raw, map, zenkaku, splitter ? &*splitter : nullptr);
                for (int k : wanted)
                    r[k] = cp932::decode(encoded.values[k]);
            } else if (index >= 0) {
                const QStringList fields = splitCommaText(replaceBlanks(decodeLine(raw, file.source.encoding())));
                r = buildRecord(fields, map, zenkaku);
                if (splitter)
                    applyWholeAddress(r, wholeAddressOf(fields, map), *splitter);
            }
        } catch (const EListIndexError&) {
            // A line too short for its columns is the run's to report, with
            // its line number; here it is passed over.
            ++index;
            continue;
        }
        if (index >= 0)
            visit(index, r);
        ++index;
        if (progress && index % kProgressEveryLines == 0 && !progress(end, file.source.size()))
            throw EAbort();
    }
}

namespace {

// Stores the lines of a run: the bytes as they are where they can be,
// otherwise built from the decoded text; each line is shown to the
// duplicate finder, if there is one, with its rowid.
struct LineWriter {
    BulkInsert& insert;
    const ColumnMap& map;
    const AddressSplitter* splitter;
    DuplicateFinder* duplicates;
    TCnvk2K zenkaku;
    EncodedRecord encoded;
    StoredText stored;

    // How many values held characters code page 932 lacks (stored as '?').
    qsizetype write(QByteArray& raw, qint64 index, TextEncoding encoding, bool asBytes, Result& result)
    {
        qsizetype substituted = 0;
        if (asBytes) {
            if (!encoded.build(raw, map, zenkaku, splitter))
                ++result.unsplitAddresses;
            insert.insertEncoded(encoded.values);
            if (duplicates)
                duplicates->add(index, encoded.values, insert.lastRowid());
        } else {
            const QStringList fields = splitCommaText(replaceBlanks(decodeLine(raw, encoding)));
            customer::Record r = buildRecord(fields, map, zenkaku);
            if (splitter && !applyWholeAddress(r, wholeAddressOf(fields, map), *splitter))
                ++result.unsplitAddresses;
            substituted = insert.insert(QStringList(r.begin(), r.end()));
            if (duplicates)
                duplicates->add(index, stored.of(r, DuplicateFinder::kFieldsCompared), insert.lastRowid());
        }
        return substituted;
    }
};

// Asks about the duplicates the run found and, on the word, deletes their
// rows again before the commit.
void settleDuplicates(TSQLiteDo& db, DuplicateFinder& finder, const DuplicatesFn& ask, Result& result)
{
    const Duplicates& found = finder.finish();
    if (!found.any() || !ask(found))
        return;
    QStringList rowids;
    rowids.reserve(qsizetype(found.rowids.size()));
    for (qint64 id : found.rowids)
        rowids << QString::number(id);
    db.exec_sql2(customer::deleteRowsSql(rowids));
    result.rows -= qint64(found.rowids.size());
    result.skipped += qint64(found.rowids.size());
}

} // namespace

Result run(const QString& fileName, const ColumnMap& map, const ProgressFn& progress, bool firstLineIsHeader,
           const DuplicatesFn& onDuplicates)
{
    FileRecords file(fileName);
    TextSource& source = file.source;
    RecordReader& reader = file.reader;
    const char* bytes = source.bytes().constData();

    const std::optional<AddressSplitter> splitter =
        map[kWholeAddress].first ? std::optional(AddressSplitter::forImport()) : std::nullopt;
    const bool storeBytes = source.encoding() == TextEncoding::Cp932;
    // The roster as it was before the run, to compare the lines with.
    std::optional<DuplicateFinder> duplicates;
    if (onDuplicates)
        duplicates.emplace();
    TSQLiteDo db;
    db.setDBpoint(kDatabaseName);
    // While the roster is being read beside the run, the run keeps its rows
    // in memory rather than write any to the file before it commits: the
    // write would wait for the read to end.
    if (duplicates)
        db.exec_sql2(QStringLiteral("PRAGMA cache_spill = OFF"));
    db.beginTransaction();

    Result result;
    qint64 feeds = 0;   // line feeds in the bytes read so far
    qint64 counted = 0; // bytes already searched for line feeds
    try {
        BulkInsert insert(*db.SQLiteDB, QStringLiteral("t_customer"), kFieldCount);
        LineWriter writer{insert, map, splitter ? &*splitter : nullptr, duplicates ? &*duplicates : nullptr, {}, {}, {}};
        QByteArray raw;
        qint64 end = 0;
        qint64 index = firstLineIsHeader ? -1 : 0;
        for (;;) {
            if (!reader.next(raw, end))
                break;
            if (index++ < 0)
                continue;
            for (; counted < end; ++counted)
                feeds += bytes[counted] == '\n';
            // The physical line (blank lines counted) for messages: the only
            // line feed inside what was read for this line is its own end.
            const bool endedByFeed = end > 0 && bytes[end - 1] == '\n';
            const qint64 lineNo = 1 + feeds - (endedByFeed ? 1 : 0);
            try {
                // A line with bytes that are no character goes the long way,
                // where they become '?', instead of being stored raw.
                const bool faulty = invalidSequences(raw, source.encoding()) > 0;
                if (faulty && ++result.invalidLineCount <= kLinesNamed)
                    result.invalidLines << lineNo;
                const qsizetype substituted =
                    writer.write(raw, index - 1, source.encoding(), storeBytes && !faulty, result);
                if (substituted) {
                    result.substitutedValues += substituted;
                    if (++result.substitutedLineCount <= kLinesNamed)
                        result.substitutedLines << lineNo;
                }
            } catch (const TessoloError& e) {
                throw TessoloError(e.message() + QStringLiteral("\n\n%1 行目で中止しました。このファイルからは 1 件も取り込まれていません。")
                                                     .arg(lineNo));
            }
            ++result.rows;
            if (progress && result.rows % kProgressEveryLines == 0 && !progress(end, source.size()))
                throw EAbort();
        }
        if (progress && !progress(source.size(), source.size()))
            throw EAbort();
        if (duplicates)
            settleDuplicates(db, *duplicates, onDuplicates, result);
        db.commitTransaction();
    } catch (...) {
        rollbackQuietly(*db.SQLiteDB);
        throw;
    }
    return result;
}

namespace {

// "3、7、12 行目 ほか": the first few line numbers, and whether there are more.
QString namedLines(const QList<qint64>& named, qint64 count)
{
    QStringList lines;
    for (qint64 n : named)
        lines << QString::number(n);
    return lines.join(QStringLiteral("、")) + QStringLiteral(" 行目")
        + (count > named.size() ? QStringLiteral(" ほか") : QString());
}

} // namespace

QString summary(const Result& result)
{
    QString text = QStringLiteral("%1 件の顧客データを取り込みました。").arg(result.rows);
    if (result.skipped > 0)
        text += QStringLiteral("\n重複のため %1 行を取り込みませんでした。").arg(result.skipped);
    if (result.unsplitAddresses > 0)
        text += QStringLiteral("\n住所（一括）を都道府県・市区町村に分けられなかった %1 行は、住所にそのまま入れました。")
                    .arg(result.unsplitAddresses);
    if (result.invalidLineCount > 0)
        text += QStringLiteral("\n\n文字として読めないバイト（壊れた文字）を含む行が %1 行あり、そのバイトを「?」に置き換えました（%2）。")
                    .arg(result.invalidLineCount)
                    .arg(namedLines(result.invalidLines, result.invalidLineCount));
    if (result.substitutedValues > 0)
        text += QStringLiteral("\n\n保存できない文字（外字・絵文字など）を含む %1 個の値で、その文字を「?」に置き換えました（%2）。")
                    .arg(result.substitutedValues)
                    .arg(namedLines(result.substitutedLines, result.substitutedLineCount));
    return text;
}

} // namespace tessolo::csvimport
