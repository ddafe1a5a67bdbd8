#include "csvimport/csvimportrun.h"

#include "data/bulkinsert.h"
#include "data/cp932.h"
#include "data/commatext.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "data/textsource.h"
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
            taken.push_back(std::move(more));
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
    TextSource source(fileName);
    QBuffer buffer(&source.bytes());
    buffer.open(QIODevice::ReadOnly);
    LineReader lineReader(buffer);
    RecordReader reader(lineReader);
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

customer::Record buildRecord(const QStringList& fields, const ColumnMap& map, const TCnvk2K& zenkaku)
{
    customer::Record r = pickColumns<QString>(fields, map);
    for (int k : kReadings)
        r[k] = normaliseReading(r[k], zenkaku);
    r[kPostalCode].remove(QLatin1Char('-'));
    return r;
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

    void build(QByteArray& line, const ColumnMap& map, const TCnvk2K& zenkaku)
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
    }
};

} // namespace

Result run(const QString& fileName, const ColumnMap& map, const ProgressFn& progress, bool firstLineIsHeader)
{
    TextSource source(fileName);
    QBuffer buffer(&source.bytes());
    buffer.open(QIODevice::ReadOnly);
    LineReader lineReader(buffer);
    RecordReader reader(lineReader);
    const char* bytes = source.bytes().constData();

    TCnvk2K zenkaku;
    TSQLiteDo db;
    db.setDBpoint(kDatabaseName);
    db.beginTransaction();

    Result result;
    qint64 feeds = 0;   // line feeds in the bytes read so far
    qint64 counted = 0; // bytes already searched for line feeds
    try {
        BulkInsert insert(*db.SQLiteDB, QStringLiteral("t_customer"), kFieldCount);
        EncodedRecord encoded;
        QByteArray raw;
        qint64 end = 0;
        bool header = firstLineIsHeader;
        for (;;) {
            if (!reader.next(raw, end))
                break;
            if (header) {
                header = false;
                continue;
            }
            for (; counted < end; ++counted)
                feeds += bytes[counted] == '\n';
            // The physical line (blank lines counted) for messages: the only
            // line feed inside what was read for this line is its own end.
            const bool endedByFeed = end > 0 && bytes[end - 1] == '\n';
            const qint64 lineNo = 1 + feeds - (endedByFeed ? 1 : 0);
            try {
                qsizetype substituted = 0;
                // A line with bytes that are no character goes the long way,
                // where they become '?', instead of being stored raw.
                const bool faulty = invalidSequences(raw, source.encoding()) > 0;
                if (faulty && ++result.invalidLineCount <= kLinesNamed)
                    result.invalidLines << lineNo;
                if (source.encoding() == TextEncoding::Cp932 && !faulty) {
                    encoded.build(raw, map, zenkaku);
                    insert.insertEncoded(encoded.values);
                } else {
                    const QStringList fields = splitCommaText(replaceBlanks(decodeLine(raw, source.encoding())));
                    const customer::Record r = buildRecord(fields, map, zenkaku);
                    substituted = insert.insert(QStringList(r.begin(), r.end()));
                }
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
