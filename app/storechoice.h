#pragma once
// Which roster the program works on: the SQLite file (as always), or an
// office's PostgreSQL server. Chosen with --database, else the choice made in
// ファイル → データの場所… and remembered in the settings; without either,
// the default file. The server's password is asked once per start and kept
// in memory only (libpq's ~/.pgpass is read first).

#include "app/startoptions.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QLabel;
class QRadioButton;

namespace tessolo::app {

// The remembered choice: a file path or a server URI (empty: the default).
QString rememberedLocation();
void rememberLocation(const QString& location);

// Opens the store `database` (or the remembered choice when it is empty)
// and makes it the windows' store. Says what went wrong in a message box
// and on stderr and returns false when it cannot.
bool chooseStore(const QString& database);

// --import-file: copies the file onto the server of --database without a
// window. Returns the exit code; messages go to the terminal.
int runImportFile(const TStartOptions& options);

// ファイル → データの場所…: pick a file or a server, test the connection and
// remember the choice; it takes effect at the next start.
class TfrmDataLocation : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDataLocation(QWidget* parent = nullptr);

    QRadioButton* RadioFile = nullptr;
    QRadioButton* RadioServer = nullptr;
    QLineEdit* EditFile = nullptr;
    QLineEdit* EditUri = nullptr;
    QLabel* LabelResult = nullptr;

    // The location the dialog stands for now.
    QString location() const;
    // Opens it once: true with "接続できました。", else the reason.
    bool testConnection();

private:
    void btnOkClick();
};

} // namespace tessolo::app
