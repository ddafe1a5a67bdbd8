// Address printing as it comes out of the PDF: the text positions read back
// with pdftotext -bbox (poppler), in millimetres from the paper's edge. The
// postal digits sit in the postcard's boxes, every label's text stays inside
// its label, nothing leaves the page, and the text is text (it reads back).

#include "atena/atenalayout.h"
#include "atena/atenarender.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace tessolo::atena;

namespace {

constexpr double kMmPerPt = 25.4 / 72.0;

struct Word {
    QRectF box; // mm
    QString text;
};
struct PdfPage {
    QSizeF size; // mm
    QList<Word> words;
};

QList<PdfPage> readBack(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression pageRe(QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">"));
    static const QRegularExpression wordRe(QStringLiteral(
        "<word xMin=\"([\\d.-]+)\" yMin=\"([\\d.-]+)\" xMax=\"([\\d.-]+)\" yMax=\"([\\d.-]+)\">([^<]*)</word>"));
    QList<PdfPage> pages;
    for (const QString& chunk : html.split(QStringLiteral("</page>"))) {
        const auto pm = pageRe.match(chunk);
        if (!pm.hasMatch())
            continue;
        PdfPage page;
        page.size = QSizeF(pm.captured(1).toDouble(), pm.captured(2).toDouble()) * kMmPerPt;
        for (auto it = wordRe.globalMatch(chunk); it.hasNext();) {
            const auto m = it.next();
            const QPointF a(m.captured(1).toDouble(), m.captured(2).toDouble());
            const QPointF b(m.captured(3).toDouble(), m.captured(4).toDouble());
            page.words << Word{QRectF(a * kMmPerPt, b * kMmPerPt), m.captured(5)};
        }
        pages << page;
    }
    return pages;
}

Recipient recipient(int i, const QString& town, const QString& building, const QString& person)
{
    Recipient r;
    r.rowid = i;
    r.postal = QStringLiteral("%1").arg(1000001 + i * 1111111 % 8999999, 7, 10, QLatin1Char('0'));
    r.prefecture = QStringLiteral("東京都");
    r.city = QStringLiteral("千代田区");
    r.town = town;
    r.building = building;
    r.company = QStringLiteral("株式会社テソロ商事");
    r.department = QStringLiteral("営業部");
    r.person = person;
    return r;
}

bool inside(const QRectF& outer, const QRectF& inner, double tolerance = 0.05)
{
    return inner.left() >= outer.left() - tolerance && inner.top() >= outer.top() - tolerance &&
        inner.right() <= outer.right() + tolerance && inner.bottom() <= outer.bottom() + tolerance;
}

} // namespace

class AtenaPdfTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        // TESSOLO_KEEP_PDF=1 keeps the files, to look at them.
        dir.setAutoRemove(qEnvironmentVariableIsEmpty("TESSOLO_KEEP_PDF"));
        if (!dir.autoRemove())
            qInfo("PDF files in %s", qPrintable(dir.path()));
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
    }

    void postalDigitsInTheirBoxes()
    {
        const QList<Recipient> list = {
            recipient(1, QStringLiteral("霞が関1-2-3"), QStringLiteral("テソロビル405号室"),
                      QStringLiteral("山田 太郎")),
            recipient(2, QStringLiteral("丸の内二丁目7番地の12 東京ビルディング北館"), QString(), QString())};
        Options o;
        o.sender = Sender{QStringLiteral("テソロ本店"), QStringLiteral("5300001"),
                          QStringLiteral("大阪府大阪市北区梅田1-1-3"), QString(), QString()};
        const QString file = dir.filePath(QStringLiteral("cards.pdf"));
        TAtenaRender(defaultFamily(true)).writePdf(file, postcardPages(list, o, nullptr));
        const QList<PdfPage> pages = readBack(file);
        QCOMPARE(pages.size(), 2);
        const QList<QPointF> centres = postalBoxCentres();
        for (int p = 0; p < 2; ++p) {
            const PdfPage& page = pages.at(p);
            // Qt writes the page's size in whole points (283 × 420 pt).
            QVERIFY2(qAbs(page.size.width() - 100.0) < 0.36 && qAbs(page.size.height() - 148.0) < 0.36,
                     qPrintable(QStringLiteral("%1 × %2 mm").arg(page.size.width()).arg(page.size.height())));
            // The recipient's digits are the words in the band of the boxes.
            QList<Word> digits;
            for (const Word& w : page.words) {
                QVERIFY2(inside(QRectF(QPointF(0, 0), page.size), w.box), qPrintable(w.text));
                if (w.box.center().y() < 22.0)
                    digits << w;
            }
            const QString postal = list.at(p).postal;
            QString seen;
            for (const Word& w : digits)
                seen += w.text;
            QCOMPARE(seen, postal);
            QCOMPARE(digits.size(), 7);
            for (int i = 0; i < 7; ++i) {
                const QPointF d = digits.at(i).box.center() - centres.at(i);
                QVERIFY2(qAbs(d.x()) <= 0.5 && qAbs(d.y()) <= 0.5,
                         qPrintable(QStringLiteral("digit %1 off its box by %2, %3 mm").arg(i).arg(d.x()).arg(d.y())));
            }
        }
        // Text, not outlines: the kanji numerals and the honorific read back.
        QString all;
        for (const Word& w : pages.at(0).words)
            all += w.text;
        QVERIFY2(all.contains(QStringLiteral("様")) && all.contains(QStringLiteral("三")), qPrintable(all));
        QString second;
        for (const Word& w : pages.at(1).words)
            second += w.text;
        QVERIFY2(second.contains(QStringLiteral("御中")), qPrintable(second));
    }

    // 連名 as family cards set them: each joint name a column left of the
    // main one, starting level with its given name, the honorifics in a row.
    void jointNamesUnderTheGivenName()
    {
        Recipient r = recipient(1, QStringLiteral("永田町"), QString(), QStringLiteral("山田 太郎"));
        r.joint = {{QStringLiteral("花子"), QString()}, {QStringLiteral("健一"), QStringLiteral("くん")}};
        Options o;
        o.sender = Sender{QStringLiteral("テソロ本店"), QStringLiteral("5300001"),
                          QStringLiteral("大阪府大阪市北区梅田"), QString(), QStringLiteral("06-1234-5678")};
        o.senderTel = true;
        const QString file = dir.filePath(QStringLiteral("joint.pdf"));
        TAtenaRender(defaultFamily(true)).writePdf(file, postcardPages({r}, o, nullptr));
        const QList<PdfPage> pages = readBack(file);
        QCOMPARE(pages.size(), 1);
        QMultiHash<QString, QPointF> at;
        QString all;
        for (const Word& w : pages.first().words) {
            all += w.text;
            for (const QChar c : w.text) {
                if (w.text.size() == 1 || c == QChar(0x69D8))
                    at.insert(QString(c), w.box.center());
            }
        }
        QVERIFY2(all.contains(QStringLiteral("06-1234-5678")), qPrintable(all));
        for (const char* c : {"山", "太", "花", "健", "く"})
            QVERIFY2(at.count(QString::fromUtf8(c)) == 1, c);
        QCOMPARE(at.count(QStringLiteral("様")), 2);
        const QPointF yama = at.value(QStringLiteral("山"));
        const QPointF taro = at.value(QStringLiteral("太"));
        const QPointF hana = at.value(QStringLiteral("花"));
        const QPointF ken = at.value(QStringLiteral("健"));
        const QPointF ku = at.value(QStringLiteral("く"));
        QList<QPointF> sama = at.values(QStringLiteral("様"));
        std::sort(sama.begin(), sama.end(), [](QPointF a, QPointF b) { return a.x() > b.x(); });
        const auto near = [](double a, double b) { return qAbs(a - b) <= 0.5; };
        // One column: 山 above 太, then 様.
        QVERIFY(near(yama.x(), taro.x()) && yama.y() < taro.y());
        QVERIFY(near(sama.at(0).x(), taro.x()) && sama.at(0).y() > taro.y());
        // Joint names start level with 太郎, column after column to the left.
        QVERIFY2(near(hana.y(), taro.y()) && near(ken.y(), taro.y()),
                 qPrintable(QStringLiteral("太 %1, 花 %2, 健 %3").arg(taro.y()).arg(hana.y()).arg(ken.y())));
        const double pitch = taro.x() - hana.x();
        QVERIFY2(pitch > 3.0 && near(hana.x() - ken.x(), pitch), qPrintable(QString::number(pitch)));
        // The honorifics in one row, each in its name's column.
        QVERIFY(near(sama.at(1).x(), hana.x()) && near(ku.x(), ken.x()));
        QVERIFY2(near(sama.at(1).y(), sama.at(0).y()) && near(ku.y(), sama.at(0).y()),
                 qPrintable(QStringLiteral("様 %1, 様 %2, く %3").arg(sama.at(0).y()).arg(sama.at(1).y()).arg(ku.y())));
        // The block stays clear of the sender's columns at the lower left.
        QVERIFY2(ken.x() > 30.0, qPrintable(QString::number(ken.x())));
    }

    void labelTextInsideItsLabel()
    {
        QList<Recipient> list;
        for (int i = 0; i < 12; ++i) {
            const QString building =
                i % 3 == 0 ? QStringLiteral("グランドメゾン千代田タワーレジデンス%1号室").arg(1200 + i) : QString();
            const QString person = i == 5 ? QStringLiteral("寿限無寿限無五劫の擦り切れ海砂利水魚の水行末雲来末風来末")
                                          : QStringLiteral("顧客%1").arg(i + 1);
            list << recipient(i, QStringLiteral("霞が関%1丁目%2番%3号").arg(i % 3 + 1).arg(i + 1).arg(i * 7 + 1),
                              building, person);
        }
        const LabelSheet sheet = LabelSheet::twelve();
        TAtenaRender render(defaultFamily(false));
        const QList<Page> laid = labelPages(list, sheet, Options{}, render.measure(), nullptr);
        QCOMPARE(laid.size(), 1);
        const QString file = dir.filePath(QStringLiteral("labels.pdf"));
        render.writePdf(file, laid);
        const QList<PdfPage> pages = readBack(file);
        QCOMPARE(pages.size(), 1);
        const PdfPage& page = pages.first();
        QVERIFY(qAbs(page.size.width() - 210.0) < 0.1 && qAbs(page.size.height() - 297.0) < 0.1);
        QList<QString> text(12);
        for (const Word& w : page.words) {
            int label = -1;
            for (int i = 0; i < 12; ++i) {
                if (sheet.labelRect(i).contains(w.box.center()))
                    label = i;
            }
            QVERIFY2(label >= 0, qPrintable(w.text));
            QVERIFY2(inside(sheet.labelRect(label), w.box),
                     qPrintable(QStringLiteral("%1 leaves label %2").arg(w.text).arg(label + 1)));
            text[label] += w.text;
        }
        for (int i = 0; i < 12; ++i) {
            QVERIFY2(text.at(i).contains(QString(list.at(i).person).remove(QLatin1Char(' '))), qPrintable(text.at(i)));
            QVERIFY2(text.at(i).contains(list.at(i).postal.left(3) + QLatin1Char('-')), qPrintable(text.at(i)));
        }
    }
};

QTEST_MAIN(AtenaPdfTest)
#include "atenapdf_test.moc"
