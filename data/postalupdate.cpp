#include "data/postalupdate.h"

#include "data/bulkinsert.h"
#include "data/commatext.h"
#include "data/errors.h"
#include "data/sqlitedo.h"
#include "data/textfile.h"
#include "data/textsource.h"

#include <QBuffer>
#include <QDir>

namespace tessolo::postalupdate {

namespace {
constexpr int kFields = 9;
constexpr int kProgressEveryLines = 512;

QString noLinesMessage(const QString& fileName)
{
    return QStringLiteral("「%1」には郵便番号の行がありません（空のファイルか、空白だけのファイルです）。\n"
                          "郵便番号データは変わっていません。")
        .arg(QDir::toNativeSeparators(fileName));
}
} // namespace

Result run(const QString& fileName, const ProgressFn& progress)
{
    TSQLiteDo db;
    db.setDBpoint(kDatabaseName);

    TextSource source(fileName);
    QBuffer buffer(&source.bytes());
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);

    Result result;
    db.beginTransaction();
    try {
        db.exec_sql2(QStringLiteral("delete from m_postal"));
        BulkInsert insert(*db.SQLiteDB, QStringLiteral("m_postal"), kFields);
        QByteArray raw;
        QStringList row;
        QList<QByteArrayView> fields, encodedRow;
        std::vector<QByteArray> undoubled;
        const bool cp932File = source.encoding() == TextEncoding::Cp932;
        while (reader.next(raw)) {
            const bool faulty = invalidSequences(raw, source.encoding()) > 0;
            result.invalidLines += faulty;
            if (cp932File && !faulty) {
                // The published list is code page 932 already: its fields go
                // into the table as the file holds them, without a round trip
                // through UTF-16.
                splitCommaText(QByteArrayView(raw), fields, undoubled);
                encodedRow.clear();
                for (int i = 0; i < kFields; ++i)
                    encodedRow << fieldAt(fields, i);
                insert.insertEncoded(encodedRow);
            } else {
                const QStringList fields = splitCommaText(decodeLine(raw, source.encoding()));
                row.clear();
                for (int i = 0; i < kFields; ++i)
                    row << fieldAt(fields, i);
                result.substituted += insert.insert(row);
            }
            ++result.rows;
            if (progress && result.rows % kProgressEveryLines == 0
                && !progress(reader.position(), source.size()))
                throw EAbort();
        }
        if (result.rows == 0)
            throw EFileError(noLinesMessage(fileName));
        if (progress && !progress(source.size(), source.size()))
            throw EAbort();
        db.commitTransaction();
    } catch (...) {
        if (db.SQLiteDB)
            rollbackQuietly(*db.SQLiteDB);
        throw;
    }
    return result;
}

} // namespace tessolo::postalupdate
