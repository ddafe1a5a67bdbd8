#include "csvimport/xlsxread.h"

#include "data/errors.h"

#include <QDir>
#include <QXmlStreamReader>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace tessolo::xlsx {

namespace {

QString notAWorkbook(const QString& fileName)
{
    return QStringLiteral("「%1」は Excel のブック（.xlsx）として読めません。").arg(QDir::toNativeSeparators(fileName));
}

QByteArray entry(QuaZip& zip, const QString& name, const QString& fileName, bool required = true)
{
    if (!zip.setCurrentFile(name)) {
        if (required)
            throw EFileError(notAWorkbook(fileName));
        return {};
    }
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly))
        throw EFileError(notAWorkbook(fileName));
    const QByteArray bytes = file.readAll();
    if (file.getZipError() != UNZ_OK)
        throw EFileError(notAWorkbook(fileName));
    return bytes;
}

// The sheet part the workbook lists first ("xl/worksheets/sheet1.xml" as a rule).
QString firstSheetPath(QuaZip& zip, const QString& fileName)
{
    QString relId;
    QXmlStreamReader book(entry(zip, QStringLiteral("xl/workbook.xml"), fileName));
    while (!book.atEnd() && relId.isEmpty()) {
        if (book.readNext() == QXmlStreamReader::StartElement && book.name() == u"sheet") {
            for (const QXmlStreamAttribute& a : book.attributes()) {
                if (a.name() == u"id")
                    relId = a.value().toString();
            }
        }
    }
    QXmlStreamReader rels(entry(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), fileName, false));
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

QStringList sharedStrings(QuaZip& zip, const QString& fileName)
{
    QStringList strings;
    QXmlStreamReader xml(entry(zip, QStringLiteral("xl/sharedStrings.xml"), fileName, false));
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
    QuaZip zip(fileName);
    if (!zip.open(QuaZip::mdUnzip))
        throw EFileError(notAWorkbook(fileName));
    const QStringList strings = sharedStrings(zip, fileName);
    QXmlStreamReader xml(entry(zip, firstSheetPath(zip, fileName), fileName));

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
            const QString type = xml.attributes().value(QStringLiteral("t")).toString();
            int column = columnOf(xml.attributes().value(QStringLiteral("r")));
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
                    if (type == u"s") {
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
