#include "csvimport/csvimportrun.h"

#include "data/bulkinsert.h"
#include "data/cp932.h"
#include "data/commatext.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "data/textsource.h"
#include "text/zenkaku.h"

#include <QBuffer>

namespace tessolo::csvimport {

namespace {

constexpr int kPersonKana = 1;
constexpr int kCompanyKana = 3;
constexpr int kPostalCode = 6;
constexpr int kProgressEveryLines = 256;
constexpr int kLinesNamed = 5;

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
    QStringList lines;
    for (const QByteArray& raw : tessolo::readLines(source.bytes()))
        lines << replaceBlanks(decodeLine(raw, source.encoding()));
    return lines;
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
    r[kPersonKana] = normaliseReading(r[kPersonKana], zenkaku);
    r[kCompanyKana] = normaliseReading(r[kCompanyKana], zenkaku);
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
        for (int k : {kPersonKana, kCompanyKana}) {
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

Result run(const QString& fileName, const ColumnMap& map, const ProgressFn& progress)
{
    TextSource source(fileName);
    QBuffer buffer(&source.bytes());
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
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
        for (;;) {
            if (!reader.next(raw))
                break;
            const qint64 end = reader.position();
            for (; counted < end; ++counted)
                feeds += bytes[counted] == '\n';
            // The physical line (blank lines counted) for messages: the only
            // line feed inside what was read for this line is its own end.
            const bool endedByFeed = end > 0 && bytes[end - 1] == '\n';
            const qint64 lineNo = 1 + feeds - (endedByFeed ? 1 : 0);
            try {
                qsizetype substituted = 0;
                if (source.encoding() == TextEncoding::Cp932) {
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

QString summary(const Result& result)
{
    QString text = QStringLiteral("%1 件の顧客データを取り込みました。").arg(result.rows);
    if (result.substitutedValues > 0) {
        QStringList lines;
        for (qint64 n : result.substitutedLines)
            lines << QString::number(n);
        text += QStringLiteral("\n\n保存できない文字（外字・絵文字など）を含む %1 個の値で、その文字を「?」に置き換えました（%2 行目%3）。")
                    .arg(result.substitutedValues)
                    .arg(lines.join(QStringLiteral("、")),
                         result.substitutedLineCount > result.substitutedLines.size() ? QStringLiteral(" ほか")
                                                                                    : QString());
    }
    return text;
}

} // namespace tessolo::csvimport
