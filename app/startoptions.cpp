#include "app/startoptions.h"

#include <QFileInfo>

#include "data/store.h"

namespace tessolo::app {

namespace {
bool offlineFlag = false;
const QString kDatabaseOption = QStringLiteral("--database");
const QString kImportFileOption = QStringLiteral("--import-file");
const QString kDataDirOption = QStringLiteral("--data-dir");

// Qt's own options, read by the application object (one dash, as Qt writes
// them; the names followed by a value take it).
bool isQtOption(const QString& a, bool* takesValue)
{
    static const QStringList withValue = {QStringLiteral("-platform"),        QStringLiteral("-platformpluginpath"),
                                          QStringLiteral("-platformtheme"),   QStringLiteral("-plugin"),
                                          QStringLiteral("-qmljsdebugger"),   QStringLiteral("-style"),
                                          QStringLiteral("-stylesheet"),      QStringLiteral("-session"),
                                          QStringLiteral("-display"),         QStringLiteral("-name"),
                                          QStringLiteral("-title"),           QStringLiteral("-geometry"),
                                          QStringLiteral("-qwindowgeometry"), QStringLiteral("-qwindowtitle"),
                                          QStringLiteral("-qwindowicon"),     QStringLiteral("-widgetcount"),
                                          QStringLiteral("-visual")};
    static const QStringList alone = {QStringLiteral("-reverse"), QStringLiteral("-nograb"), QStringLiteral("-dograb"),
                                      QStringLiteral("-sync")};
    *takesValue = withValue.contains(a);
    return *takesValue || alone.contains(a) || a.startsWith(QStringLiteral("-style=")) ||
        a.startsWith(QStringLiteral("-platform="));
}
} // namespace

TStartOptions parseStartOptions(const QStringList& arguments)
{
    TStartOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        // The browser control's own options follow this word, as Qt asks.
        if (a == QLatin1String("--") || a == QLatin1String("--webEngineArgs"))
            break;
        if (a == QLatin1String("--offline"))
            options.offline = true;
        else if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            options.help = true;
        else if (a == QLatin1String("--version"))
            options.version = true;
        else if (a == kDatabaseOption) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                options.error = QStringLiteral("--database にはデータベースのファイルを指定してください。");
                break;
            }
            options.database = arguments.at(++i);
        } else if (a == kImportFileOption || a.startsWith(kImportFileOption + QLatin1Char('='))) {
            options.importFile = a == kImportFileOption ? (i + 1 < arguments.size() ? arguments.at(++i) : QString())
                                                        : a.mid(kImportFileOption.size() + 1);
            if (options.importFile.isEmpty()) {
                options.error = QStringLiteral("--import-file には読み込む tessolo.db を指定してください。");
                break;
            }
        } else if (a == kDataDirOption || a.startsWith(kDataDirOption + QLatin1Char('='))) {
            options.dataDir = a == kDataDirOption ? (i + 1 < arguments.size() ? arguments.at(++i) : QString())
                                                  : a.mid(kDataDirOption.size() + 1);
            const QFileInfo dir(options.dataDir);
            if (options.dataDir.isEmpty() || (dir.exists() && !dir.isDir())) {
                options.error = QStringLiteral("--data-dir にはデータを置くフォルダーを指定してください。");
                break;
            }
        } else if (a.startsWith(kDatabaseOption + QLatin1Char('='))) {
            options.database = a.mid(kDatabaseOption.size() + 1);
            if (options.database.isEmpty())
                options.error = QStringLiteral("--database にはデータベースのファイルを指定してください。");
        } else if (a.startsWith(QLatin1Char('-'))) {
            bool takesValue = false;
            if (isQtOption(a, &takesValue)) {
                if (takesValue)
                    ++i;
            } else if (options.error.isEmpty()) {
                // Refused, not ignored: a mistyped option would otherwise
                // start the program as if it had not been given.
                options.error = QStringLiteral("不明なオプションです: %1").arg(a);
            }
        }
    }
    if (options.error.isEmpty() && !options.importFile.isEmpty() && !store::isServerUri(options.database))
        options.error = QStringLiteral("--import-file は --database postgresql://… と共に指定してください。");
    return options;
}

QString usageText()
{
    return QStringLiteral("使い方: tessolo [オプション]\n"
                          "Usage: tessolo [options]\n"
                          "\n"
                          "  --database PATH  既定の tessolo.db の代わりに PATH のデータベースを開く\n"
                          "                   open the database PATH instead of the default tessolo.db\n"
                          "  --data-dir DIR   tessolo.db とそのバックアップを DIR に置く\n"
                          "                   keep tessolo.db and its backups in DIR\n"
                          "  --database postgresql://ユーザー@ホスト[:ポート]/データベース名\n"
                          "                   事務所の PostgreSQL サーバーの顧客名簿を使う\n"
                          "                   use an office's PostgreSQL server instead of a file\n"
                          "  --import-file FILE  (サーバーの URI と共に) FILE の顧客・自社住所・郵便番号を\n"
                          "                   画面を出さずにサーバーへ移して終了する\n"
                          "                   (with a server URI) copy FILE's tables onto the server and exit\n"
                          "  --offline        ネットワークに何も送らない（地図タイルも住所検索も使わない）\n"
                          "                   send nothing over the network (no map tiles, no address search)\n"
                          "  --help, -h       この説明を表示して終了する / print this help and exit\n"
                          "  --version        バージョンを表示して終了する / print the version and exit\n"
                          "  --webEngineArgs ...  以降は地図の表示部品 (Qt WebEngine) へのオプション\n"
                          "                   the options after it go to the map's browser control\n"
                          "\n"
                          "既定のデータベース: 実行ファイルのフォルダーに書き込めればそこの tessolo.db、\n"
                          "インストールしたプログラムでは ~/.local/share/Tessolo/tessolo.db\n"
                          "($XDG_DATA_HOME/Tessolo/tessolo.db)。詳しくは man tessolo。\n");
}

bool offlineMode() { return offlineFlag; }

void setOfflineMode(bool offline) { offlineFlag = offline; }

} // namespace tessolo::app
