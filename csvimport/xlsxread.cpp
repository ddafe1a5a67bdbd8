#include "csvimport/xlsxread.h"

#include "data/errors.h"

#include <QDir>
#include <QXmlStreamReader>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <zlib.h>

namespace tessolo::xlsx {

namespace {

QString notAWorkbook(const QString& fileName)
{
    return QStringLiteral("「%1」は Excel のブック（.xlsx）として読めません。").arg(QDir::toNativeSeparators(fileName));
}

quint32 le16(const QByteArray& b, qsizetype at) { return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8; }
quint32 le32(const QByteArray& b, qsizetype at) { return le16(b, at) | le16(b, at + 2) << 16; }

// The entries of a zip archive, read from memory with zlib. QuaZip is not
// used: its copy of minizip exports the same function names as the minizip
// libxlsxwriter writes workbooks with, and in one program the writer then
// calls QuaZip's and crashes.
class Zip {
public:
    explicit Zip(const QString& fileName)
        : m_fileName(fileName)
    {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            throw EFileError(QStringLiteral("ファイルを開けません: %1\n%2")
                                 .arg(QDir::toNativeSeparators(fileName), file.errorString()));
        m_bytes = file.readAll();
        // The end record sits in the last 22 bytes but for a comment of up to 64 KB.
        const qsizetype from = std::max<qsizetype>(0, m_bytes.size() - 22 - 0xFFFF);
        qsizetype end = -1;
        for (qsizetype i = m_bytes.size() - 22; i >= from; --i) {
            if (le32(m_bytes, i) == 0x06054b50) {
                end = i;
                break;
            }
        }
        if (end < 0)
            throw EFileError(notAWorkbook(fileName));
        const quint32 count = le16(m_bytes, end + 10);
        qsizetype at = le32(m_bytes, end + 16);
        for (quint32 n = 0; n < count; ++n) {
            if (at + 46 > m_bytes.size() || le32(m_bytes, at) != 0x02014b50)
                throw EFileError(notAWorkbook(fileName));
            const quint32 nameLength = le16(m_bytes, at + 28);
            if (at + 46 + nameLength > m_bytes.size())
                throw EFileError(notAWorkbook(fileName));
            Entry e;
            e.method = le16(m_bytes, at + 10);
            e.packed = le32(m_bytes, at + 20);
            e.size = le32(m_bytes, at + 24);
            e.local = le32(m_bytes, at + 42);
            m_entries.insert(QString::fromUtf8(m_bytes.mid(at + 46, nameLength)), e);
            at += 46 + nameLength + le16(m_bytes, at + 30) + le16(m_bytes, at + 32);
        }
    }

    // The entry's bytes; empty and false when there is no such entry.
    bool read(const QString& name, QByteArray& out) const
    {
        const auto it = m_entries.find(name);
        if (it == m_entries.end())
            return false;
        const Entry& e = *it;
        const qsizetype local = e.local;
        if (local + 30 > m_bytes.size() || le32(m_bytes, local) != 0x04034b50)
            throw EFileError(notAWorkbook(m_fileName));
        const qsizetype data = local + 30 + le16(m_bytes, local + 26) + le16(m_bytes, local + 28);
        if (data + qsizetype(e.packed) > m_bytes.size())
            throw EFileError(notAWorkbook(m_fileName));
        if (e.method == 0) {
            out = m_bytes.mid(data, e.packed);
            return true;
        }
        if (e.method != 8)
            throw EFileError(notAWorkbook(m_fileName));
        out.resize(e.size);
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
            throw EFileError(notAWorkbook(m_fileName));
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(m_bytes.constData() + data));
        z.avail_in = e.packed;
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = e.size;
        const int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        if (rc != Z_STREAM_END || z.total_out != e.size)
            throw EFileError(notAWorkbook(m_fileName));
        return true;
    }

    QByteArray entry(const QString& name, bool required = true) const
    {
        QByteArray out;
        if (!read(name, out) && required)
            throw EFileError(notAWorkbook(m_fileName));
        return out;
    }

private:
    struct Entry {
        quint32 method = 0;
        quint32 packed = 0;
        quint32 size = 0;
        quint32 local = 0;
    };
    QString m_fileName;
    QByteArray m_bytes;
    QHash<QString, Entry> m_entries;
};

// The sheet part the workbook lists first ("xl/worksheets/sheet1.xml" as a rule).
QString firstSheetPath(const Zip& zip)
{
    QString relId;
    QXmlStreamReader book(zip.entry(QStringLiteral("xl/workbook.xml")));
    while (!book.atEnd() && relId.isEmpty()) {
        if (book.readNext() == QXmlStreamReader::StartElement && book.name() == u"sheet") {
            for (const QXmlStreamAttribute& a : book.attributes()) {
                if (a.name() == u"id")
                    relId = a.value().toString();
            }
        }
    }
    QXmlStreamReader rels(zip.entry(QStringLiteral("xl/_rels/workbook.xml.rels"), false));
    while (!relId.isEmpty() && !rels.atEnd()) {
        if (rels.readNext() == QXmlStreamReader::StartElement && rels.name() == u"Relationship" &&
            rels.attributes().value(QStringLiteral("Id")) == relId) {
            QString target = rels.attributes().value(QStringLiteral("Target")).toString();
            if (target.startsWith(QLatin1Char('/')))
                return target.sliced(1);
            return QStringLiteral("xl/") + target;
        }
    }
    return QStringLiteral("xl/worksheets/sheet1.xml");
}

// The text of an <si> or <is> element: its <t> parts joined (rich text
// splits a cell into runs), phonetic readings (<rPh>) left out.
QString stringItem(QXmlStreamReader& xml)
{
    const QString end = xml.name().toString();
    QString text;
    int phonetic = 0;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == u"rPh")
                ++phonetic;
            else if (xml.name() == u"t" && phonetic == 0)
                text += xml.readElementText();
        } else if (token == QXmlStreamReader::EndElement) {
            if (xml.name() == u"rPh")
                --phonetic;
            else if (xml.name() == end)
                break;
        }
    }
    return text;
}

QStringList sharedStrings(const Zip& zip)
{
    QStringList strings;
    QXmlStreamReader xml(zip.entry(QStringLiteral("xl/sharedStrings.xml"), false));
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"si")
            strings << stringItem(xml);
    }
    return strings;
}

// "BC12" -> 54 (zero-based column), or -1.
int columnOf(QStringView ref)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z'; ++i)
        column = column * 26 + (ref[i].unicode() - 'A' + 1);
    return i == 0 ? -1 : column - 1;
}

} // namespace

QList<QStringList> readFirstSheet(const QString& fileName)
{
    const Zip zip(fileName);
    const QStringList strings = sharedStrings(zip);
    QXmlStreamReader xml(zip.entry(firstSheetPath(zip)));

    QList<QStringList> rows;
    QStringList* row = nullptr;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"row") {
            bool ok = false;
            const qsizetype r = xml.attributes().value(QStringLiteral("r")).toLongLong(&ok);
            const qsizetype at = ok && r > 0 ? r - 1 : rows.size();
            while (rows.size() <= at)
                rows.append(QStringList());
            row = &rows[at];
        } else if (xml.name() == u"c" && row) {
            const QXmlStreamAttributes attributes = xml.attributes();
            const bool shared = attributes.value(QStringLiteral("t")) == u"s";
            int column = columnOf(attributes.value(QStringLiteral("r")));
            if (column < 0)
                column = int(row->size());
            QString value;
            while (!xml.atEnd()) {
                const auto token = xml.readNext();
                if (token == QXmlStreamReader::EndElement && xml.name() == u"c")
                    break;
                if (token != QXmlStreamReader::StartElement)
                    continue;
                if (xml.name() == u"v") {
                    const QString v = xml.readElementText();
                    if (shared) {
                        bool ok = false;
                        const int n = v.toInt(&ok);
                        value = ok ? strings.value(n) : QString();
                    } else {
                        value = v;
                    }
                } else if (xml.name() == u"is") {
                    value = stringItem(xml);
                }
            }
            while (row->size() <= column)
                row->append(QString());
            (*row)[column] = value;
        }
    }
    if (xml.hasError())
        throw EFileError(notAWorkbook(fileName));
    return rows;
}

} // namespace tessolo::xlsx
