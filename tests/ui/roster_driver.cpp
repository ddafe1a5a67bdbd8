// Opens the roster on a database of its own so that scripts can drive it from
// outside (the real input method under Xvfb, the screenshot). Usage:
//   roster_driver <database dir> [customers to create]
// Prints "READY" once the roster is up with the focus in EditName, then one
// line "EditName=<text>\tEditNmKana=<text>" whenever either field changes.
// TESSOLO_DRIVER_TRACE=1 also prints every input-method event EditName gets.

#include "data/datalocation.h"
#include "app/application.h"
#include "ui/okrightdlg2.h"
#include "data/sqlitedo.h"
#include "customer/customer.h"
#include "roster/frmaddress.h"
#include "ui/windowset.h"

#include <QApplication>
#include <QFontInfo>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>

namespace {

void seed(int count)
{
    static const char16_t* const family[][2] = {{u"山田", u"ヤマダ"},   {u"加藤", u"カトウ"},   {u"佐々木", u"ササキ"},
                                                {u"田中", u"タナカ"},   {u"中村", u"ナカムラ"}, {u"林", u"ハヤシ"},
                                                {u"松本", u"マツモト"}, {u"吉田", u"ヨシダ"},   {u"渡辺", u"ワタナベ"},
                                                {u"後藤", u"ゴトウ"}};
    static const char16_t* const given[][2] = {{u"太郎", u"タロウ"}, {u"花子", u"ハナコ"}, {u"一郎", u"イチロウ"}};
    static const char16_t* const city[][2] = {{u"東京都", u"千代田区"},
                                              {u"大阪府", u"大阪市北区"},
                                              {u"北海道", u"札幌市中央区"},
                                              {u"福岡県", u"福岡市博多区"}};
    tessolo::TSQLiteDo db;
    db.setDBpoint(tessolo::kDatabaseName);
    for (int i = 0; i < count; ++i) {
        tessolo::customer::Record r;
        const auto& f = family[i % 10];
        const auto& g = given[i % 3];
        const auto& c = city[i % 4];
        r[0] = QString::fromUtf16(f[0]) + QString::fromUtf16(g[0]);
        r[1] = QString::fromUtf16(f[1]) + QString::fromUtf16(g[1]);
        r[2] = QString::fromUtf16(f[0]) + QStringLiteral("商事株式会社");
        r[3] = QString::fromUtf16(f[1]) + QStringLiteral("ショウジ");
        r[4] = QStringLiteral("営業担当");
        r[5] = QStringLiteral("営業部");
        r[6] = QStringLiteral("100%1").arg(i % 10000, 4, 10, QLatin1Char('0'));
        r[7] = QString::fromUtf16(c[0]);
        r[8] = QString::fromUtf16(c[1]);
        r[9] = QStringLiteral("%1丁目%2番").arg(i % 9 + 1).arg(i % 20 + 1);
        db.exec_sql(tessolo::customer::insertSql(r));
    }
}

class ImeTrace : public QObject {
protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::InputMethod) {
            auto* ime = static_cast<QInputMethodEvent*>(e);
            std::fprintf(stderr, "IME preedit=[%s] commit=[%s]\n", qPrintable(ime->preeditString()),
                         qPrintable(ime->commitString()));
        }
        return QObject::eventFilter(o, e);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    tessolo::app::installJapaneseFont(); // as the program's start-up does
    if (argc < 2) {
        std::fprintf(stderr, "usage: roster_driver <database dir> [customers]\n");
        return 2;
    }
    tessolo::location::setDataDirectory(QString::fromLocal8Bit(argv[1]));
    {
        tessolo::TSQLiteDo h;
        h.initDB(tessolo::kDatabaseName);
    }
    if (argc > 2)
        seed(QString::fromLocal8Bit(argv[2]).toInt());

    TOKRightDlg2 dlg;
    OKRightDlg2 = &dlg;
    TfrmAddress roster;
    frmAddress = &roster;

    auto report = [&] {
        std::printf("EditName=%s\tEditNmKana=%s\n", qPrintable(roster.EditName->text()),
                    qPrintable(roster.EditNmKana->text()));
        std::fflush(stdout);
    };
    QObject::connect(roster.EditName, &QLineEdit::textChanged, report);
    QObject::connect(roster.EditNmKana, &QLineEdit::textChanged, report);
    ImeTrace trace;
    if (qEnvironmentVariableIntValue("TESSOLO_DRIVER_TRACE"))
        roster.EditName->installEventFilter(&trace);

    std::fprintf(stderr, "font: %s\n", qPrintable(QFontInfo(roster.EditName->font()).family()));
    QObject::connect(&roster, &QDialog::finished, &app, &QApplication::quit);
    roster.show();
    roster.activateWindow();
    roster.EditName->setFocus();
    QTimer::singleShot(300, [&] {
        roster.activateWindow();
        roster.EditName->setFocus();
        std::printf("READY\n");
        std::fflush(stdout);
    });
    return app.exec();
}
