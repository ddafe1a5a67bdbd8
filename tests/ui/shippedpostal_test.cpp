// The postal list shipped with the program, offered on the roster's first
// showing while the postal table is empty: answered through real message
// boxes, loaded through the postal update from its compressed file.

#include "roster/frmaddress.h"
#include "ui/notice.h"
#include "ui/okrightdlg2.h"
#include "ui/shippedpostaloffer.h"
#include "ui/windowset.h"
#include "realevents.h"
#include "uitest.h"
#include "tests/testevents.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QSettings>
#include <QTest>

#include <zlib.h>

using uitest::Db;
namespace ev = realevents;

class TestShippedPostal : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Db> db;
    std::unique_ptr<TOKRightDlg2> dlg;
    QTemporaryDir shipped;
    QStringList notices;

    QString settingsFile() const { return shipped.filePath(QStringLiteral("tessolo.conf")); }

    // A small list in the shipped form: code page 932, gzip-compressed.
    void writeShippedList()
    {
        const QByteArray csv = "01101,\"060  "
                               "\",\"0600000\",\"\xcd\xde\xdd\",\"\",\"\",\"\x96\x6b\x8a\x43\x93\xb9\","
                               "\"\x8e\x44\x96\x79\x8e\x73\",\"\"\r\n"
                               "13101,\"100  "
                               "\",\"1000001\",\"\",\"\",\"\",\"\x93\x8c\x8b\x9e\x93\x73\","
                               "\"\x90\xe7\x91\xe3\x93\x63\x8b\xe6\",\"\x90\xe7\x91\xe3\x93\x63\"\r\n"
                               "27128,\"540  "
                               "\",\"5400002\",\"\",\"\",\"\",\"\x91\xe5\x8d\xe3\x95\x7b\","
                               "\"\x91\xe5\x8d\xe3\x8e\x73\",\"\x91\xe5\x8d\xe3\x8f\xe9\"\r\n";
        gzFile gz = gzopen(shipped.filePath(QStringLiteral("ken_all.csv.gz")).toLocal8Bit().constData(), "wb9");
        QVERIFY(gz);
        QCOMPARE(gzwrite(gz, csv.constData(), unsigned(csv.size())), int(csv.size()));
        QCOMPARE(gzclose(gz), Z_OK);
        QFile info(shipped.filePath(QStringLiteral("ken_all.info")));
        QVERIFY(info.open(QIODevice::WriteOnly));
        info.write("date=2025-09\nlines=3\n");
    }
    int postalRows() const
    {
        return Db::column(QStringLiteral("select count(*) as n from m_postal"), QStringLiteral("n")).value(0).toInt();
    }
    // Starts the program anew, as far as the offer goes, and shows the roster.
    void startAndShowRoster(TfrmAddress& w)
    {
        tessolo::ui::enableShippedPostalOffer({shipped.path(), settingsFile()});
        w.show();
        // The question takes the focus: the roster need only be on screen.
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }
    // Answers the next message box; `never` ticks 「今後表示しない」 first.
    void answerOffer(const QString& button, bool never, QString* asked, int timeoutMs = 5000)
    {
        ev::onNextModal(
            [=](QWidget* modal) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                QVERIFY(box);
                *asked = box->text();
                if (never) {
                    QVERIFY(box->checkBox());
                    QCOMPARE(box->checkBox()->text(), QStringLiteral("今後表示しない"));
                    ev::click(box->checkBox());
                }
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == button)
                        ev::click(b);
            },
            timeoutMs);
    }

private slots:
    void init()
    {
        db = std::make_unique<Db>();
        QVERIFY(db->ok());
        QVERIFY(shipped.isValid());
        QFile::remove(settingsFile());
        writeShippedList();
        dlg = std::make_unique<TOKRightDlg2>();
        OKRightDlg2 = dlg.get();
        notices.clear();
        QObject::connect(&testEvents(), &tessolo::ui::TAppEvents::noticeRaised,
                         [this](QWidget*, const QString& m) { notices << m; });
    }
    void cleanup()
    {
        QObject::disconnect(&testEvents(), &tessolo::ui::TAppEvents::noticeRaised, nullptr, nullptr);
        tessolo::ui::enableShippedPostalOffer({});
        dlg.reset();
        OKRightDlg2 = nullptr;
        db.reset();
    }

    void anEmptyTableLoadsTheShippedListThroughTheUpdate()
    {
        QString asked;
        answerOffer(QStringLiteral("はい"), false, &asked);
        TfrmAddress w;
        startAndShowRoster(w);
        QTRY_COMPARE(postalRows(), 3);
        QCOMPARE(asked,
                 QStringLiteral("郵便番号データが登録されていません。同梱のデータ（2025年9月）を読み込みますか？"));
        QCOMPARE(notices, QStringList{QStringLiteral("郵便データを 3 件取り込みました。")});
        QCOMPARE(Db::column(QStringLiteral("select town2 from m_postal where postal_code2 = '5400002'"),
                            QStringLiteral("town2")),
                 QStringList{QStringLiteral("大阪城")});

        // Only the first showing asks; a full table is never offered the list.
        w.hide();
        asked.clear();
        answerOffer(QStringLiteral("いいえ"), false, &asked, 250);
        startAndShowRoster(w);
        QTest::qWait(300);
        QVERIFY(asked.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void aDeclinedOfferReturnsUnlessNeverAgainWasTicked()
    {
        TfrmAddress w;
        QString asked;
        answerOffer(QStringLiteral("いいえ"), false, &asked);
        startAndShowRoster(w);
        QTRY_VERIFY(!asked.isEmpty());
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(postalRows(), 0);

        // The next start asks again; this time the user ticks 「今後表示しない」.
        w.hide();
        asked.clear();
        answerOffer(QStringLiteral("いいえ"), true, &asked);
        startAndShowRoster(w);
        QTRY_VERIFY(!asked.isEmpty());
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(postalRows(), 0);
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value(QStringLiteral("postal/offerShippedList")),
                 QVariant(false));

        // Later starts stay quiet, and 郵便データ更新 is still there to load a list.
        w.hide();
        asked.clear();
        answerOffer(QStringLiteral("はい"), false, &asked, 250);
        startAndShowRoster(w);
        QTest::qWait(300);
        QVERIFY(asked.isEmpty());
        QCOMPARE(postalRows(), 0);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestShippedPostal)
#include "shippedpostal_test.moc"
