#include "app/storechoice.h"

#include "app/startup.h"
#include "data/datalocation.h"
#include "data/pgstore.h"
#include "data/storetransfer.h"
#include "ui/errordisplay.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace tessolo::app {

namespace {

const QString kLocationKey = QStringLiteral("data/location");

QSettings settings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tessolo"), QStringLiteral("Tessolo"));
}

bool offscreen() { return QGuiApplication::platformName() == QLatin1String("offscreen"); }

std::optional<QString> askInWindow(const QString& uri)
{
    bool ok = false;
    const QString password = QInputDialog::getText(
        nullptr, QStringLiteral("データベースサーバーのパスワード"),
        QStringLiteral(
            "%1 のパスワードを入力してください。\n（このプログラムが終わるまで覚えておき、ファイルには書きません。）")
            .arg(uri),
        QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return password;
}

// The password on the terminal, without echo; nothing when there is no
// terminal to ask on.
std::optional<QString> askOnTerminal(const QString& uri)
{
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
    std::fprintf(stderr, "%s のパスワード: ", uri.toLocal8Bit().constData());
    termios old{};
    tcgetattr(STDIN_FILENO, &old);
    termios quiet = old;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, stdin) != nullptr;
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::fputc('\n', stderr);
    if (!read)
        return std::nullopt;
    return QString::fromLocal8Bit(line).chopped(QByteArrayView(line).endsWith('\n') ? 1 : 0);
}

} // namespace

QString rememberedLocation() { return settings().value(kLocationKey).toString(); }

void rememberLocation(const QString& location) { settings().setValue(kLocationKey, location); }

bool chooseStore(const QString& database)
{
    const QString location = database.isEmpty() ? rememberedLocation() : database;
    if (!store::isServerUri(location))
        return chooseDatabase(location);
    store::setPasswordPrompt(askInWindow);
    for (;;) {
        try {
            store::setCurrent(std::make_unique<store::TPgStore>(location));
            return true;
        } catch (const TessoloError& e) {
            std::fprintf(stderr, "tessolo: %s\n", e.message().toLocal8Bit().constData());
            if (offscreen())
                return false;
            // Nothing typed is at stake yet: try again once the server is
            // up, or end; never fall back to a file unasked, where the
            // office's changes would not be.
            const auto answer = QMessageBox::critical(nullptr, QApplication::applicationDisplayName(),
                                                      e.message() + QStringLiteral("\n\nもう一度接続しますか？"),
                                                      QMessageBox::Retry | QMessageBox::Close);
            if (answer != QMessageBox::Retry)
                return false;
        }
    }
}

int runImportFile(const TStartOptions& options)
{
    if (!store::isServerUri(options.database)) {
        std::fprintf(stderr, "tessolo: --import-file は --database postgresql://… と共に指定してください。\n");
        return 2;
    }
    store::setPasswordPrompt(askOnTerminal);
    try {
        store::TPgStore server(options.database);
        const store::TransferCount count = store::importFile(server, options.importFile, store::ImportMode::IntoEmpty);
        std::printf("%s\n",
                    QStringLiteral("%1 をサーバーへ移しました: 顧客 %2 件、自社住所 %3 件、郵便番号 %4 行")
                        .arg(options.importFile)
                        .arg(count.customers)
                        .arg(count.sites)
                        .arg(count.postalRows)
                        .toLocal8Bit()
                        .constData());
        if (count.altered > 0) {
            std::printf("%s\n",
                        QStringLiteral("うち %1 個の値は文字として読めないバイトを含み、「?」として移しました。")
                            .arg(count.altered)
                            .toLocal8Bit()
                            .constData());
        }
        return 0;
    } catch (const TessoloError& e) {
        std::fprintf(stderr, "tessolo: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
}

TfrmDataLocation::TfrmDataLocation(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDataLocation"));
    setWindowTitle(QStringLiteral("データの場所"));
    RadioFile = new QRadioButton(QStringLiteral("このパソコンのファイル"), this);
    RadioServer = new QRadioButton(QStringLiteral("事務所のサーバー（PostgreSQL）"), this);
    EditFile = new QLineEdit(this);
    EditFile->setObjectName(QStringLiteral("EditFile"));
    EditUri = new QLineEdit(this);
    EditUri->setObjectName(QStringLiteral("EditUri"));
    EditUri->setPlaceholderText(QStringLiteral("postgresql://ユーザー@サーバー:5432/tessolo"));
    auto* browse = new QPushButton(QStringLiteral("参照…"), this);
    auto* test = new QPushButton(QStringLiteral("接続テスト"), this);
    test->setObjectName(QStringLiteral("btnTest"));
    LabelResult = new QLabel(this);
    LabelResult->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(EditFile);
    fileRow->addWidget(browse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RadioFile);
    layout->addLayout(fileRow);
    layout->addWidget(RadioServer);
    layout->addWidget(EditUri);
    layout->addWidget(new QLabel(QStringLiteral("パスワードは ~/.pgpass に書くか、起動のたびに入力します。\n"
                                                "変更は次に起動したときから使われます。"),
                                 this));
    layout->addWidget(test);
    layout->addWidget(LabelResult);
    layout->addWidget(buttons);

    const QString current = rememberedLocation();
    const bool server = store::isServerUri(current);
    RadioServer->setChecked(server);
    RadioFile->setChecked(!server);
    EditUri->setText(server ? current : QString());
    EditFile->setText(server || current.isEmpty() ? location::databaseFile() : current);

    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getSaveFileName(
            this, QStringLiteral("データの場所"), EditFile->text(), QStringLiteral("Tessolo データ (*.db)"), nullptr,
            QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog);
        if (!file.isEmpty()) {
            EditFile->setText(file);
            RadioFile->setChecked(true);
        }
    });
    connect(test, &QPushButton::clicked, this, [this] { testConnection(); });
    connect(buttons, &QDialogButtonBox::accepted, this, ui::guarded([this] { btnOkClick(); }));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString TfrmDataLocation::location() const
{
    return RadioServer->isChecked() ? EditUri->text().trimmed() : EditFile->text().trimmed();
}

bool TfrmDataLocation::testConnection()
{
    const QString where = location();
    if (RadioServer->isChecked() && !store::isServerUri(where)) {
        LabelResult->setText(QStringLiteral(
            "サーバーは postgresql://ユーザー@サーバー[:ポート]/データベース名 の形で入力してください。"));
        return false;
    }
    try {
        store::setPasswordPrompt(askInWindow);
        const auto opened = store::open(where);
        const qsizetype customers = opened->customers().size();
        LabelResult->setText(QStringLiteral("接続できました。顧客 %1 件").arg(customers));
        return true;
    } catch (const TessoloError& e) {
        LabelResult->setText(e.message());
        return false;
    }
}

void TfrmDataLocation::btnOkClick()
{
    if (!testConnection())
        throw TessoloError(LabelResult->text());
    const QString where = location();
    // The default file is remembered as no choice at all, so that the
    // program keeps finding it where it is looked for by default.
    rememberLocation(!store::isServerUri(where) && where == location::databaseFile() ? QString() : where);
    QMessageBox::information(this, windowTitle(),
                             QStringLiteral("データの場所を覚えました。次に起動したときから使われます。"));
    accept();
}

} // namespace tessolo::app
