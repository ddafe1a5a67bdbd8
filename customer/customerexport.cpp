#include "customer/customerexport.h"

#include "text/cp932.h"
#include "data/errors.h"
#include "data/safefile.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"
#include "postal/postalcode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <xlsxwriter.h>

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

Encoding encodingFor(const QString& fileName, Encoding text)
{
    return QFileInfo(fileName).suffix().compare(QStringLiteral("xlsx"), Qt::CaseInsensitive) == 0 ? Encoding::Xlsx
                                                                                                  : text;
}

QStringList exportValues(const customer::Record& r, bool guardFormulas)
{
    QStringList values;
    values.reserve(customer::kColumnCount);
    for (int k = 0; k < customer::kColumnCount; ++k) {
        QString v = r[k];
        if (k == customer::col::PostalCode && postal::isSevenDigits(v))
            v = postal::postal2mask(v);
        static const QString formulaStarts = QStringLiteral("=+-@\t\r");
        if (guardFormulas && !v.isEmpty() && formulaStarts.contains(v[0]))
            v.prepend(QLatin1Char('\''));
        values << v;
    }
    return values;
}

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

// A workbook of one sheet, the header row and one row per customer, each
// value a text cell. libxlsxwriter writes to a path of its own; the bytes go
// to their place through the safe file like every export.
class Workbook {
public:
    explicit Workbook(const QString& fileName)
        : m_target(fileName)
    {
        if (!m_dir.isValid())
            throw EFileError(TSafeFile::failureMessage(fileName, m_dir.errorString()));
        m_path = m_dir.filePath(QStringLiteral("export.xlsx"));
        m_book = workbook_new(QFile::encodeName(m_path).constData());
        if (!m_book)
            throw EFileError(TSafeFile::failureMessage(fileName, QStringLiteral("workbook")));
        m_sheet = workbook_add_worksheet(m_book, nullptr);
        m_text = workbook_add_format(m_book);
        format_set_num_format(m_text, "@");
        for (int k = 0; k < customer::kColumnCount; ++k)
            worksheet_set_column(m_sheet, lxw_col_t(k), lxw_col_t(k), 14, m_text);
        add(QStringList(customer::kCsvCaptions.begin(), customer::kCsvCaptions.end()));
    }
    ~Workbook()
    {
        if (m_book)
            workbook_close(m_book); // only on a failure: written to the scratch folder, dropped with it
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    void add(const QStringList& values)
    {
        for (qsizetype k = 0; k < values.size(); ++k) {
            if (values[k].isEmpty())
                continue;
            worksheet_write_string(m_sheet, m_row, lxw_col_t(k), values[k].toUtf8().constData(), m_text);
        }
        ++m_row;
    }

    void commit()
    {
        lxw_workbook* book = m_book;
        m_book = nullptr;
        const lxw_error rc = workbook_close(book);
        if (rc != LXW_NO_ERROR)
            throw EFileError(TSafeFile::failureMessage(m_target, QString::fromUtf8(lxw_strerror(rc))));
        QFile written(m_path);
        if (!written.open(QIODevice::ReadOnly))
            throw EFileError(TSafeFile::failureMessage(m_target, written.errorString()));
        TSafeFile out(m_target);
        out.write(written.readAll());
        out.commit();
    }

private:
    QString m_target;
    QTemporaryDir m_dir;
    QString m_path;
    lxw_workbook* m_book = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    lxw_format* m_text = nullptr;
    lxw_row_t m_row = 0;
};

} // namespace

namespace {

// Writes one customer per row that `next` fills (false when the rows are
// done): a line of the CSV file, or a row of the workbook.
Result writeRows(const QString& fileName, Encoding encoding, qint64 total, const ProgressFn& progress,
                 const std::function<bool(customer::Record& r)>& next)
{
    Result result;
    const auto step = [&] {
        ++result.customers;
        if (progress && result.customers % kProgressEveryRows == 0 && !progress(result.customers, total))
            throw EAbort();
    };
    customer::Record r;
    if (encoding == Encoding::Xlsx) {
        Workbook book(fileName);
        while (next(r)) {
            book.add(exportValues(r, false));
            step();
        }
        if (progress && !progress(total, total))
            throw EAbort();
        book.commit();
        return result;
    }
    QSet<QString> seen;
    TSafeFile out(fileName);
    writeHeader(out, encoding);
    qsizetype substituted = 0;
    while (next(r)) {
        // One conversion per line: a call of the converter costs far more
        // than the few characters of a value.
        const QString line = csvLine(exportValues(r));
        out.write(encoded(line, encoding, &substituted));
        if (substituted) {
            result.substituted += substituted;
            collectLacking(line, result, seen);
        }
        step();
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
    const Result result = writeRows(fileName, encoding, table->RowCount(), progress, [&table](customer::Record& r) {
        if (table->Eof())
            return false;
        r = customer::recordOf(*table);
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
    return writeRows(fileName, encoding, qint64(records.size()), progress, [&](customer::Record& r) {
        if (i == records.size())
            return false;
        r = records[i++].record;
        return true;
    });
}

void writeRecords(const QString& fileName, const std::vector<customer::Record>& records, Encoding encoding)
{
    if (encoding == Encoding::Xlsx) {
        Workbook book(fileName);
        for (const customer::Record& r : records)
            book.add(exportValues(r, false));
        book.commit();
        return;
    }
    TSafeFile out(fileName);
    writeHeader(out, encoding);
    qsizetype substituted = 0;
    for (const customer::Record& r : records)
        out.write(encoded(csvLine(exportValues(r)), encoding, &substituted));
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
