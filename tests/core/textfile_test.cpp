// Reading lines from the postal list and customer CSV files, byte for byte,
// and splitting them by the comma-text rule.

#include "coretest.h"

#include "text/commatext.h"
#include "text/cp932.h"
#include "data/errors.h"
#include "text/textfile.h"

#include <QBuffer>
#include <QRandomGenerator>

using namespace tessolo;

namespace {

using Lines = QList<QByteArray>;

// Hands out at most `chunk` bytes per read, as a pipe or a slow share would.
class DribbleDevice : public QIODevice {
public:
    DribbleDevice(QByteArray data, qint64 chunk, qint64 failAt = -1)
        : m_data(std::move(data)),
          m_chunk(chunk),
          m_failAt(failAt)
    { }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        if (m_failAt >= 0 && m_pos >= m_failAt) {
            setErrorString(QStringLiteral("the share went away"));
            return -1;
        }
        const qint64 n = std::min({max, m_chunk, qint64(m_data.size()) - m_pos});
        memcpy(out, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_chunk;
    qint64 m_failAt;
    qint64 m_pos = 0;
};

Lines readThrough(QIODevice& device)
{
    TLineReader reader(device);
    Lines lines;
    QByteArray line;
    while (reader.next(line))
        lines << line;
    return lines;
}

Lines readDribbled(const QByteArray& bytes, qint64 chunk)
{
    DribbleDevice dev(bytes, chunk);
    dev.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return readThrough(dev);
}

// The reading rule written out plainly, byte by byte, as a second opinion.
Lines referenceLines(const QByteArray& b)
{
    Lines out;
    qsizetype i = 0;
    const qsizetype n = b.size();
    for (;;) {
        while (i < n && uchar(b[i]) <= 32 && b[i] != 26)
            ++i;
        if (i >= n || b[i] == 26)
            return out;
        QByteArray line;
        while (i < n && b[i] != '\n' && b[i] != 26) {
            if (b[i] != '\r')
                line += b[i];
            ++i;
        }
        out << line;
        if (i < n && b[i] == 26)
            return out;
        ++i; // the LF
    }
}

} // namespace

TEST(LineReading, SkipsLeadingControlBytesAndBlankLines)
{
    EXPECT_EQ(readLines("\r\n\n  \t\x01\x1f"
                        "first\n\n\n   second  \n"),
              Lines({"first", "second  "}));
    EXPECT_EQ(readLines(""), Lines());
    EXPECT_EQ(readLines(" \t\r\n\r\n\n"), Lines());
    // Trailing blanks of a line are its own; a line without LF at the end counts.
    EXPECT_EQ(readLines("a \nb"), Lines({"a ", "b"}));
}

TEST(LineReading, EndsLinesAtLineFeedOrCrLfAndDropsALoneCr)
{
    EXPECT_EQ(readLines("one\r\ntwo\nthree\r\n"), Lines({"one", "two", "three"}));
    EXPECT_EQ(readLines("ab\rcd\r\nef\r"), Lines({"abcd", "ef"}));
    EXPECT_EQ(readLines("x\r\r\ny"), Lines({"x", "y"}));
    // Shift_JIS trail bytes that look like ASCII do not end or cut a line.
    const QByteArray sjis = QByteArray::fromHex("835c8e52fab1") + ",\"" + QByteArray::fromHex("955c") + "\"";
    EXPECT_EQ(readLines(sjis + "\r\n" + sjis), Lines({sjis, sjis}));
}

TEST(LineReading, ByteTwentySixEndsTheFile)
{
    EXPECT_EQ(readLines("a\nb\x1a"
                        "c\nd\n"),
              Lines({"a", "b"}));
    EXPECT_EQ(readLines("a\n\x1a"
                        "b\n"),
              Lines({"a"}));
    EXPECT_EQ(readLines("  \x1a"
                        "b\n"),
              Lines());
    EXPECT_EQ(readLines("a\r\n\x1a"), Lines({"a"}));
}

TEST(LineReading, ReadsLongLinesWholeAndStopsAtOneOfMoreThanAMegabyte)
{
    QByteArray big(kMaxLineBytes, 'x');
    for (qsizetype i = 0; i < big.size(); i += 1000)
        big[i] = ',';
    big[1] = 'y';
    const QByteArray file = "head\r\n" + big + "\r\ntail";
    EXPECT_EQ(readLines(file), Lines({"head", big, "tail"}));
    try {
        readLines("head\r\n" + big + "z\r\ntail");
        ADD_FAILURE() << "a line of more than a megabyte was read";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.message(), lineTooLongMessage());
    }
}

TEST(LineReading, GivesTheSameLinesWhateverTheDeviceHandsOutPerRead)
{
    const QByteArray sample = "\x05  a,b\r\n\r\n\tc\rd\n" + QByteArray::fromHex("8e52fab1") +
        "\r\ne\n\x1a"
        "f\n";
    const Lines expected({"a,b", "cd", QByteArray::fromHex("8e52fab1"), "e"});
    EXPECT_EQ(readLines(sample), expected);
    for (qint64 chunk : {1, 2, 3, 5, 7, 64})
        EXPECT_EQ(readDribbled(sample, chunk), expected) << chunk;

    // Random files (bytes drawn mostly from the interesting ones) through every
    // road: the whole buffer, a QBuffer, and devices with tiny reads, all
    // against the plain reading of the rule.
    QRandomGenerator rng(20240607);
    const char alphabet[] = {'a', ',', '"', ' ', '\t', '\r', '\n', '\x1a', '\x01', char(0x81), char(0x5c)};
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes;
        const int len = rng.bounded(200);
        for (int i = 0; i < len; ++i)
            bytes += alphabet[rng.bounded(int(sizeof alphabet))];
        const Lines want = referenceLines(bytes);
        ASSERT_EQ(readLines(bytes), want) << bytes.toHex().constData();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        ASSERT_EQ(readThrough(buffer), want) << bytes.toHex().constData();
        ASSERT_EQ(readDribbled(bytes, 1 + rng.bounded(4)), want) << bytes.toHex().constData();
    }
}

TEST(LineReading, CrLfAndCtrlZSplitAcrossTheReadersOwnBufferBoundary)
{
    // The reader fills in 64 KiB pieces; put the awkward bytes right on the seams.
    for (qsizetype seam : {qsizetype(65536), qsizetype(2 * 65536)}) {
        for (int shift = -2; shift <= 1; ++shift) {
            QByteArray file(seam + shift, 'x');
            file += "\r\nnext\r\n";
            Lines want({QByteArray(seam + shift, 'x'), "next"});
            QBuffer buffer(&file);
            buffer.open(QIODevice::ReadOnly);
            EXPECT_EQ(readThrough(buffer), want) << seam << " " << shift;

            QByteArray cut(seam + shift, 'y');
            cut += "\x1a"
                   "after\n";
            EXPECT_EQ(readLines(cut), Lines({QByteArray(seam + shift, 'y')})) << seam << " " << shift;

            QByteArray blanks = "a\n" + QByteArray(seam + shift, ' ') + "b\n";
            EXPECT_EQ(readLines(blanks), Lines({"a", "b"})) << seam << " " << shift;
        }
    }
}

TEST(LineReading, AReadErrorIsRaisedNotTakenForTheEndOfTheFile)
{
    DribbleDevice dev("a\nb\nc\n", 2, 3);
    dev.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    TLineReader reader(dev);
    QByteArray line;
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line, "a");
    EXPECT_THROW(
        {
            while (reader.next(line)) { }
        },
        EFileError);
}

TEST(LineReading, PositionCountsTheBytesConsumed)
{
    QByteArray bytes = "  ab\r\ncd\n";
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TLineReader reader(buffer);
    QByteArray line;
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(reader.position(), 6);
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(reader.position(), 9);
    EXPECT_FALSE(reader.next(line));
}

TEST(LineReading, AByteOrderMarkDoesNotHideTheBlankLinesAfterIt)
{
    // Without skipping the mark, "\xEF\xBB\xBF" alone would come back as a
    // first line and an import would fail on its missing fields.
    EXPECT_EQ(readLines("\xEF\xBB\xBF\r\n\r\n  a,b\r\nc\r\n"), (Lines{"a,b", "c"}));
    EXPECT_EQ(readDribbled("\xEF\xBB\xBF"
                           "x\n",
                           1),
              (Lines{"x"}));
    // Only at the very start: later the same bytes are text.
    EXPECT_EQ(readLines("x\n\xEF\xBB\xBFy\n"), (Lines{"x", "\xEF\xBB\xBFy"}));
}

TEST(Encoding, CodePage932UnlessTheBytesAreClearlyUtf8)
{
    EXPECT_EQ(detectEncoding("plain ascii,123\r\n"), TextEncoding::Cp932);
    EXPECT_EQ(detectEncoding(QByteArray::fromHex("938c8b9e9373")), TextEncoding::Cp932); // 東京都
    EXPECT_EQ(detectEncoding("東京都,千代田区"), TextEncoding::Utf8);
    EXPECT_EQ(detectEncoding("\xEF\xBB\xBF"
                             "abc"),
              TextEncoding::Utf8);
    // One bad byte among many UTF-8 characters is a fault in a UTF-8 file.
    EXPECT_EQ(detectEncoding("山田太郎,ヤマダタロウ\xFF\r\n"), TextEncoding::Utf8);
    EXPECT_EQ(detectEncoding(QByteArray::fromHex("8e52 93 63 91 be 98 59 2c b6 c0 de")), TextEncoding::Cp932);
    EXPECT_EQ(decodeLine("山\xFF田", TextEncoding::Utf8), QStringLiteral("山?田"));
    EXPECT_EQ(decodeLine(QByteArray("\x81 a\0b", 5), TextEncoding::Cp932), QStringLiteral("? a?b"));
    EXPECT_EQ(invalidSequences(QByteArray::fromHex("8e8196bc"), TextEncoding::Cp932), 0);
    EXPECT_EQ(invalidSequences(QByteArray("\x81 a\0b\xFF", 6), TextEncoding::Cp932), 3);
    EXPECT_EQ(decodeLine("\xEF\xBB\xBF"
                         "氏名",
                         TextEncoding::Utf8),
              QStringLiteral("氏名"));
    EXPECT_EQ(decodeLine(QByteArray::fromHex("8e8196bc"), TextEncoding::Cp932), QStringLiteral("氏名"));
}

TEST(CommaSplitting, EmptyFieldsBetweenAndAfterCommas)
{
    EXPECT_EQ(splitCommaText(u"a,,b"), QStringList({"a", "", "b"}));
    EXPECT_EQ(splitCommaText(u"a,b,"), QStringList({"a", "b", ""}));
    EXPECT_EQ(splitCommaText(u",a"), QStringList({"", "a"}));
    EXPECT_EQ(splitCommaText(u","), QStringList({"", ""}));
    EXPECT_EQ(splitCommaText(u""), QStringList());
    EXPECT_EQ(splitCommaText(u"   "), QStringList());
    // A comma followed only by blanks is not the last character: no empty field.
    EXPECT_EQ(splitCommaText(u"a, "), QStringList({"a"}));
}

TEST(CommaSplitting, QuotedFieldsKeepCommasBlanksAndDoubledQuotes)
{
    EXPECT_EQ(splitCommaText(u"\"a,b\",\"c d\",\"say \"\"hi\"\"\""), QStringList({"a,b", "c d", "say \"hi\""}));
    // The old five-character postal code keeps its blanks only when quoted.
    EXPECT_EQ(splitCommaText(u"01101,\"060  \",\"0600000\""), QStringList({"01101", "060  ", "0600000"}));
    EXPECT_EQ(splitCommaText(u"\"\",x"), QStringList({"", "x"}));
    EXPECT_EQ(splitCommaText(u"\"\"\"\""), QStringList({"\""}));
    // Text right after a closing quote starts the next field.
    EXPECT_EQ(splitCommaText(u"\"ab\"cd,e"), QStringList({"ab", "cd", "e"}));
}

TEST(CommaSplitting, BlanksAndTabsOutsideQuotesSeparate)
{
    EXPECT_EQ(splitCommaText(u"  a b\tc , d"), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(splitCommaText(u"東京 都,千代田"), QStringList({"東京", "都", "千代田"}));
    // The ideographic space is not a separator.
    EXPECT_EQ(splitCommaText(u"東京　都,x"), QStringList({"東京　都", "x"}));
}

TEST(CommaSplitting, AnUnterminatedQuoteRunsToTheEndOfTheLine)
{
    EXPECT_EQ(splitCommaText(u"a,\"b, c"), QStringList({"a", "b, c"}));
    EXPECT_EQ(splitCommaText(u"\""), QStringList({""}));
}

TEST(CommaSplitting, APostalListLineGivesItsFifteenFields)
{
    const QString line =
        QStringLiteral("01101,\"060  \",\"0600042\",\"ﾎｯｶｲﾄﾞｳ\",\"ｻｯﾎﾟﾛｼﾁｭｳｵｳｸ\",\"ｵｵﾄﾞｵﾘﾆｼ(1-19ﾁｮｳﾒ)\",\"北海道\","
                       "\"札幌市中央区\",\"大通西（１〜１９丁目）\",1,0,1,0,0,0");
    const QStringList f = splitCommaText(line);
    ASSERT_EQ(f.size(), 15);
    EXPECT_EQ(f[5], QStringLiteral("ｵｵﾄﾞｵﾘﾆｼ(1-19ﾁｮｳﾒ)"));
    EXPECT_EQ(f[8], QStringLiteral("大通西（１〜１９丁目）"));
    EXPECT_EQ(fieldAt(f, 8), f[8]);
}

TEST(CommaSplitting, AMissingFieldIsAListIndexErrorNamingItsPosition)
{
    const QStringList f = splitCommaText(u"1,2,3,4,5,6,7,8");
    try {
        fieldAt(f, 8);
        FAIL() << "no error";
    } catch (const EListIndexError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("リストのインデックスが範囲を超えています (8)"));
    }
    EXPECT_THROW(fieldAt(f, -1), EListIndexError);
}

TEST(CommaSplitting, SplittingTheBytesGivesTheFieldsOfTheDecodedLine)
{
    // Bulk loads split the code page 932 bytes without decoding first. Trail
    // bytes such as 0x5C, 0x7C and 0x40 sit among the separators here.
    const QStringList pieces = {QStringLiteral("ソ"), QStringLiteral("表"), QStringLiteral("ポ"),
                                QStringLiteral("髙"), QStringLiteral("ｶﾞ"), QStringLiteral("〜"),
                                QStringLiteral("a"),  QStringLiteral(","),  QStringLiteral("\""),
                                QStringLiteral(" "),  QStringLiteral("\t"), QStringLiteral("\"\"")};
    QRandomGenerator rng(932);
    for (int round = 0; round < 2000; ++round) {
        QString line;
        const int n = rng.bounded(24);
        for (int i = 0; i < n; ++i)
            line += pieces[rng.bounded(int(pieces.size()))];
        const QByteArray bytes = cp932::encode(line);
        const QByteArrayList byteFields = splitCommaText(QByteArrayView(bytes));
        QStringList decoded;
        for (const QByteArray& f : byteFields)
            decoded << cp932::decode(f);
        ASSERT_EQ(decoded, splitCommaText(line)) << line.toStdString();
        // The copy-free split the bulk loads use gives the same fields.
        QList<QByteArrayView> views;
        std::vector<QByteArray> undoubled;
        splitCommaText(QByteArrayView(bytes), views, undoubled);
        QByteArrayList viewed;
        for (QByteArrayView v : views)
            viewed << v.toByteArray();
        ASSERT_EQ(viewed, byteFields) << line.toStdString();
    }
    // A bad byte next to a separator stays in its field.
    const QByteArray bad = QByteArray::fromHex("81") + ",\"" + QByteArray::fromHex("fd") + "\"";
    EXPECT_EQ(splitCommaText(QByteArrayView(bad)),
              QByteArrayList({QByteArray::fromHex("81"), QByteArray::fromHex("fd")}));
    EXPECT_THROW(fieldAt(splitCommaText(QByteArrayView("a,b")), 2), EListIndexError);
}
