#include "postal/postalupdate.h"

#include "data/bulkinsert.h"
#include "text/commatext.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "data/transaction.h"
#include "data/store.h"
#include "text/textfile.h"
#include "text/textsource.h"
#include "postal/shippedpostal.h"

#include <QBuffer>
#include <QDir>
#include <algorithm>
#include <array>

namespace tessolo::postalupdate {

namespace {
constexpr int kFields = 9;
constexpr int kProgressEveryLines = 512;
constexpr int kBusinessFields = 13;
constexpr int kBusinessCodeField = 7;

// Where each column of m_postal comes from: a field, optionally followed by
// a second one appended to it; -1 for none.
struct Source {
    int field;
    int appended;
};
using Layout = std::array<Source, kFields>;
constexpr Layout kAddressLayout = {{{0, -1}, {1, -1}, {2, -1}, {3, -1}, {4, -1}, {5, -1}, {6, -1}, {7, -1}, {8, -1}}};
// gov_code, old code, code, no prefecture reading, name reading, name,
// prefecture, city, town + 小字・丁目・番地.
constexpr Layout kBusinessLayout = {{{0, -1}, {8, -1}, {7, -1}, {-1, -1}, {1, -1}, {2, -1}, {3, -1}, {4, -1}, {5, 6}}};

const Layout& layoutOf(ListKind kind) { return kind == ListKind::Businesses ? kBusinessLayout : kAddressLayout; }

QString deleteStatement(ListKind kind)
{
    // A row with no prefecture reading at all (NULL) was never a business row.
    return kind == ListKind::Businesses
        ? QStringLiteral("delete from m_postal where prefecture1 = ''")
        : QStringLiteral("delete from m_postal where prefecture1 is null or prefecture1 <> ''");
}

QStringList decodedRow(const Layout& layout, const QStringList& fields)
{
    QStringList row;
    for (const Source& s : layout) {
        QString value = s.field < 0 ? QString() : fieldAt(fields, s.field);
        if (s.appended >= 0)
            value += fieldAt(fields, s.appended);
        row << value;
    }
    return row;
}

QString noLinesMessage(const QString& fileName)
{
    return QStringLiteral("「%1」には郵便番号の行がありません（空のファイルか、空白だけのファイルです）。\n"
                          "郵便番号データは変わっていません。")
        .arg(QDir::toNativeSeparators(fileName));
}

} // namespace

ListKind kindOf(const QStringList& fields)
{
    if (fields.size() != kBusinessFields)
        return ListKind::Addresses;
    const QString& code = fields.at(kBusinessCodeField);
    const bool sevenDigits =
        code.size() == 7 && std::all_of(code.begin(), code.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return sevenDigits ? ListKind::Businesses : ListKind::Addresses;
}

Result run(const QString& fileName, const ProgressFn& progress)
{
    TSQLiteDo db;
    db.setDBpoint(kDatabaseName);

    // Only the list in the form the program ships it is read compressed.
    TTextSource source(fileName, std::nullopt,
                       shippedpostal::isShippedList(fileName) ? Compressed::Unpacked : Compressed::Refused);
    QBuffer buffer(&source.bytes());
    buffer.open(QIODevice::ReadOnly);
    TLineReader reader(buffer);

    Result result;
    QByteArray raw;
    bool haveLine = reader.next(raw);
    if (haveLine)
        result.kind = kindOf(splitCommaText(decodeLine(raw, source.encoding())));
    const Layout& layout = layoutOf(result.kind);

    // On an office's server the list goes in by COPY, in one transaction
    // for every PC: the others find the old rows until the commit.
    if (store::currentIsServer()) {
        db.closeDBpoint();
        const auto next = [&](store::PostalValues& values) {
            if (!haveLine)
                return false;
            result.invalidLines += invalidSequences(raw, source.encoding()) > 0;
            const QStringList row = decodedRow(layout, splitCommaText(decodeLine(raw, source.encoding())));
            for (int i = 0; i < store::kPostalColumnCount; ++i)
                values[size_t(i)] = row.value(i);
            ++result.rows;
            if (progress && result.rows % kProgressEveryLines == 0 && !progress(reader.position(), source.size()))
                throw EAbort();
            haveLine = reader.next(raw);
            return true;
        };
        if (!haveLine)
            throw EFileError(noLinesMessage(fileName));
        store::current().loadPostalList(
            result.kind == ListKind::Businesses ? store::PostalKind::Businesses : store::PostalKind::Addresses, next);
        return result;
    }

    TTransaction transaction(*db.SQLiteDB);
    db.exec_sql2(deleteStatement(result.kind));
    TBulkInsert insert(*db.SQLiteDB, QStringLiteral("m_postal"), kFields);
    for (; haveLine; haveLine = reader.next(raw)) {
        // Every line is decoded once and stored through the one encoder, so
        // a character with two codes is stored as the one Windows writes.
        result.invalidLines += invalidSequences(raw, source.encoding()) > 0;
        result.substituted += insert.insert(decodedRow(layout, splitCommaText(decodeLine(raw, source.encoding()))));
        ++result.rows;
        if (progress && result.rows % kProgressEveryLines == 0 && !progress(reader.position(), source.size()))
            throw EAbort();
    }
    if (result.rows == 0)
        throw EFileError(noLinesMessage(fileName));
    if (progress && !progress(source.size(), source.size()))
        throw EAbort();
    transaction.commit();
    return result;
}

} // namespace tessolo::postalupdate
