#pragma once
// The browser control that shows the map page. The program draws on the page
// only by calling its script functions; every argument reaches the page as a
// string literal, never as script text, so an address holding quotes or
// line breaks arrives exactly as it was read from the database.

#include <QList>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <QWebEngineView>
#include <memory>

class QPrinter;

namespace tessolo::printing {
struct MapSheet;
} // namespace tessolo::printing

namespace tessolo::app {

class TOfflineGuard;
class TPageKey;

// `s` as a JavaScript string literal in double quotes, safe to splice into
// script text: quotes, backslashes, control characters, U+2028/U+2029, '<'
// and lone surrogates are escaped, so the page receives the very same UTF-16.
QString jsStringLiteral(const QString& s);

// The script that calls window[name] once per row, in order, and returns
// {done: rows called, err: 'nomethod'|'throw', msg, src}. A failing call sets
// a flag on the page under `token` so that later batches of the same run,
// already on their way, call nothing.
QString callScript(const QString& name, const QList<QStringList>& rows, const QString& token);

class TWebMap : public QWebEngineView {
    Q_OBJECT
public:
    explicit TWebMap(QWidget* parent = nullptr);
    ~TWebMap() override;

    // Gives every browser control made afterwards a profile kept on disk, so
    // that the page's own cache (its local storage: addresses it has already
    // placed) outlives the program. Without it the profile lives in memory,
    // which is what tests want: they run side by side.
    static void usePersistentProfile(const QString& storageName);

    // Loads `address` ("host/path"); "http://" is added when no scheme is given.
    void Navigate(const QString& address);

    // Runs script text in the page. Nothing happens while no document is
    // loaded; errors are ignored. Only JavaScript is understood.
    void ExecScript(const QString& code, const QString& language);

    // Calls the page function `name` with string arguments and waits for the
    // outcome. Raises "This object does not support this method" when the page
    // has no such function and "Method call unsuccessful. %s (%s)." when it
    // throws. Nothing happens while no document is loaded.
    void ExecScriptEx(const QString& name, const QStringList& arguments);

    // The same for many calls of one function: rows are sent in batches
    // without waiting between them; the first failure is raised after the
    // outstanding batches have answered, and no row after it is called.
    void ExecScriptExRows(const QString& name, const QList<QStringList>& rows);

    // Print settings. Header and footer use the browser codes &w &u &d &p &P &b.
    QString header = QStringLiteral("&w&b&p/&P ページ");
    QString footer = QStringLiteral("&u&b&d");
    bool hideSetup = false;

    // Prints the map as the user sees it, with the area list, and header and
    // footer, on the current printer; with hide-setup off the print dialog
    // asks first. The page's orientation follows the view's shape until the
    // user picks one.
    void Print();
    void PrintPreview();
    void PrintSetup();

    // The printer that Print, PrintPreview and PrintSetup use; created on
    // first use for the system's default printer.
    QPrinter* printer();
    // Tests print into a PDF file through a printer of their own.
    void setPrinter(std::unique_ptr<QPrinter> printer);

    // Offers `host` to the page as window.tessoloHost (Qt WebChannel), for the
    // page to tell which marks the user chose.
    void setHost(QObject* host);

    bool hasDocument() const { return m_hasDocument; }
    bool isLoading() const { return m_loading; }
    // Processes events until the document has finished loading. This wait,
    // and every other one here, holds the user's input back until it ends:
    // a handler that waits runs to its end before the next click is taken.
    void waitForDocument();
    // The same, and then until its pictures (the map's tiles) are complete.
    void waitForLoad();
    struct CaptureGuard;
    void printToPdf();

    static constexpr int kBatchRows = 200;

    // True while a call of the page is waiting for its answer.
    bool isRunning() const { return m_busy; }
    // The guard that keeps the page on the machine, when the program runs
    // offline; null otherwise.
    TOfflineGuard* offlineGuard() const { return m_guard; }
    // Requests to the page server at `hostPort` carry its key from now on.
    void setServerKey(const QString& hostPort, const QByteArray& headerName, const QByteArray& key);

    static constexpr int kMaxRestarts = 3;
    static constexpr qint64 kRestartWindowMs = 60000;

signals:
    void printFinished(bool ok);
    // The page's renderer process died; `message` says what was done.
    void pageRestarted(const QString& message);

private:
    void restartPage();

    // Printing (printing.cpp).
    void renderTo(QPrinter* p);
    printing::MapSheet mapSheet();
    void choosePageOrientation();
    void noteOrientationChoice(QPageLayout::Orientation offered);

    QString m_address;
    QList<qint64> m_restarts;
    TOfflineGuard* m_guard = nullptr;
    TPageKey* m_key = nullptr;
    bool m_hasDocument = false;
    bool m_loading = false;
    bool m_busy = false;
    quint64 m_runCounter = 0;
    std::unique_ptr<QPrinter> m_printer;
    bool m_orientationChosen = false; // in page setup, the print dialog or the preview
};

} // namespace tessolo::app
