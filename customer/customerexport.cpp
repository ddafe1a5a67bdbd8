#include "customer/customerexport.h"

#include "text/cp932.h"
#include "data/errors.h"
#include "data/safefile.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"

#include <QDir>
#include <QSet>

namespace tessolo::customerexport {

namespace {

constexpr qint64 kProgressEveryRows = 256;
constexpr qsizetype kLackingNamed = 10;

QByteArray encoded(const QString& text, Encoding encoding, qsizetype* substituted)
{
    if (encoding == Encoding::Utf8Bom) {
        *substituted = 0;
        return text.toUtf8();
    }
    return cp932::encode(text, substituted);
}

// Names the characters code page 932 lacks, each once over the whole file.
void collectLacking(QStringView text, Result& result, QSet<QString>& seen)
{
    for (const QString& ch : cp932::unencodable(text)) {
        if (seen.contains(ch))
            continue;
        seen.insert(ch);
        ++result.lackingDistinct;
        if (result.lacking.size() < kLackingNamed)
            result.lacking << ch;
    }
}

} // namespace

namespace {

// Appends `value` quoted; most values hold neither a quote nor a CR and go
// in whole.
void appendQuoted(QString& out, QStringView value)
{
    out += QLatin1Char('"');
    qsizetype from = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('"') && c != QLatin1Char('\r'))
            continue;
        out += value.sliced(from, i - from);
        if (c == QLatin1Char('"')) {
            out += QStringLiteral("\"\"");
        } else {
            // CR LF and a lone CR both become the LF a cell's break is.
            out += QLatin1Char('\n');
            if (i + 1 < value.size() && value[i + 1] == QLatin1Char('\n'))
                ++i;
        }
        from = i + 1;
    }
    out += value.sliced(from);
    out += QLatin1Char('"');
}

} // namespace

QString csvLine(const QStringList& values)
{
    qsizetype size = 2;
    for (const QString& v : values)
        size += v.size() + 3;
    QString line;
    line.reserve(size);
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i)
            line += QLatin1Char(',');
        appendQuoted(line, values[i]);
    }
    line += QStringLiteral("\r\n");
    return line;
}
namespace {
// The byte-order mark where one is wanted, then the field names.
void writeHeader(TSafeFile& out, Encoding encoding)
{
    if (encoding == Encoding::Utf8Bom)
        out.write(QByteArrayLiteral("\xEF\xBB\xBF"));
    qsizetype substituted = 0;
    out.write(encoded(csvLine(QStringList(customer::kCsvCaptions.begin(), customer::kCsvCaptions.end())), encoding,
                      &substituted));
}
} // namespace

namespace {
// Writes one line per row that `next` fills (false when the rows are done).
Result writeRows(const QString& fileName, Encoding encoding, qint64 total, const ProgressFn& progress,
                 const std::function<bool(QStringList& values)>& next)
{
    Result result;
    QSet<QString> seen;
    TSafeFile out(fileName);
    writeHeader(out, encoding);
    qsizetype substituted = 0;
    QStringList values;
    values.reserve(customer::kColumnCount);
    for (;;) {
        values.clear();
        if (!next(values))
            break;
        // One conversion per line: a call of the converter costs far more
        // than the few characters of a value.
        const QString line = csvLine(values);
        out.write(encoded(line, encoding, &substituted));
        if (substituted) {
            result.substituted += substituted;
            collectLacking(line, result, seen);
        }
        ++result.customers;
        if (progress && result.customers % kProgressEveryRows == 0 && !progress(result.customers, total))
            throw EAbort();
    }
    if (progress && !progress(total, total))
        throw EAbort();
    out.commit();
    return result;
}
} // namespace

Result write(const QString& fileName, const QString& listSql, Encoding encoding, const ProgressFn& progress)
{
    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto table = db.query(listSql);
    table->MoveFirst();
    const Result result = writeRows(fileName, encoding, table->RowCount(), progress, [&table](QStringList& values) {
        if (table->Eof())
            return false;
        for (const QString& column : customer::kColumns)
            values << table->NamedFieldAsString(column);
        table->Next();
        return true;
    });
    db.closeDBpoint();
    return result;
}

Result write(const QString& fileName, const QList<qint64>& rowids, Encoding encoding, const ProgressFn& progress)
{
    const std::vector<customer::Stored> records = customer::recordsOf(rowids);
    size_t i = 0;
    return writeRows(fileName, encoding, qint64(records.size()), progress, [&](QStringList& values) {
        if (i == records.size())
            return false;
        const customer::Record& r = records[i++].record;
        for (const QString& v : r)
            values << v;
        return true;
    });
}

void writeRecords(const QString& fileName, const std::vector<customer::Record>& records, Encoding encoding)
{
    TSafeFile out(fileName);
    writeHeader(out, encoding);
    qsizetype substituted = 0;
    for (const customer::Record& r : records)
        out.write(encoded(csvLine(QStringList(r.begin(), r.end())), encoding, &substituted));
    out.commit();
}

QString summary(const Result& result, Encoding encoding)
{
    QString text = QStringLiteral("%1 件の顧客データを書き出しました。").arg(result.customers);
    if (encoding == Encoding::Cp932 && result.substituted > 0) {
        text += QStringLiteral("\n\nシフトJIS（コードページ 932）にない文字が %1 か所あり、「?」に置き換えました: %2%3")
                    .arg(result.substituted)
                    .arg(result.lacking.join(QStringLiteral("、")),
                         result.lackingDistinct > result.lacking.size()
                             ? QStringLiteral(" ほか %1 種").arg(result.lackingDistinct - result.lacking.size())
                             : QString());
        text += QStringLiteral("\nそのまま残すには、文字コードに UTF-8 を選んで書き出し直してください。");
    }
    return text;
}

} // namespace tessolo::customerexport
