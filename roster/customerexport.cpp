#include "roster/customerexport.h"

#include "data/cp932.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "roster/customer.h"

#include <QDir>
#include <QSaveFile>
#include <QSet>

namespace tessolo::customerexport {

namespace {

constexpr qint64 kProgressEveryRows = 256;
constexpr qsizetype kFlushBytes = 1 << 20;
constexpr qsizetype kLackingNamed = 10;

QByteArray encoded(const QString& text, Encoding encoding, qsizetype* substituted)
{
    if (encoding == Encoding::Utf8Bom) {
        *substituted = 0;
        return text.toUtf8();
    }
    return cp932::encode(text, substituted);
}

// Writes to a file beside the target and renames it over the target at the
// end; whatever goes wrong before, the target is untouched.
class Output {
public:
    explicit Output(const QString& fileName)
        : m_file(fileName)
    {
        if (!m_file.open(QIODevice::WriteOnly))
            fail();
    }

    void append(const QByteArray& bytes)
    {
        m_buffer += bytes;
        if (m_buffer.size() >= kFlushBytes)
            flush();
    }

    void commit()
    {
        flush();
        if (!m_file.commit())
            fail();
    }

private:
    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        if (m_file.write(m_buffer) != m_buffer.size())
            fail();
        m_buffer.clear();
    }

    [[noreturn]] void fail()
    {
        const QString reason = m_file.errorString();
        m_file.cancelWriting();
        throw EFileError(QStringLiteral("「%1」に書き出せませんでした。\n%2\n\n元のファイルは変わっていません。")
                             .arg(QDir::toNativeSeparators(m_file.fileName()), reason));
    }

    QSaveFile m_file;
    QByteArray m_buffer;
};

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
void writeHeader(Output& out, Encoding encoding)
{
    if (encoding == Encoding::Utf8Bom)
        out.append(QByteArrayLiteral("\xEF\xBB\xBF"));
    qsizetype substituted = 0;
    out.append(encoded(csvLine(QStringList(customer::kCsvCaptions.begin(), customer::kCsvCaptions.end())), encoding,
                       &substituted));
}
} // namespace

Result write(const QString& fileName, const QString& listSql, Encoding encoding, const ProgressFn& progress)
{
    Result result;
    QSet<QString> seen;
    Output out(fileName);
    writeHeader(out, encoding);
    qsizetype substituted = 0;

    TSQLiteDo db;
    db.getDBpoint(kDatabaseName);
    const auto table = db.query(listSql);
    const qint64 total = table->RowCount();
    QStringList values;
    values.reserve(customer::kColumnCount);
    for (table->MoveFirst(); !table->Eof(); table->Next()) {
        values.clear();
        for (const QString& column : customer::kColumns)
            values << table->NamedFieldAsString(column);
        // One conversion per line: a call of the converter costs far more
        // than the few characters of a value.
        const QString line = csvLine(values);
        out.append(encoded(line, encoding, &substituted));
        if (substituted) {
            result.substituted += substituted;
            collectLacking(line, result, seen);
        }
        ++result.customers;
        if (progress && result.customers % kProgressEveryRows == 0 && !progress(result.customers, total))
            throw EAbort();
    }
    db.closeDBpoint();
    if (progress && !progress(total, total))
        throw EAbort();
    out.commit();
    return result;
}

void writeRecords(const QString& fileName, const std::vector<customer::Record>& records, Encoding encoding)
{
    Output out(fileName);
    writeHeader(out, encoding);
    qsizetype substituted = 0;
    for (const customer::Record& r : records)
        out.append(encoded(csvLine(QStringList(r.begin(), r.end())), encoding, &substituted));
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
