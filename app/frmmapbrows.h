#pragma once
// The map window, the program's main window: the map page above, and below it
// the buttons that mark customers, the own company, a searched postal code or
// address and an area circle. It builds the page functions' arguments from
// the database and its fields and reads nothing back from the page.

#include <QMainWindow>
#include <QSet>
#include <QStringList>

#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace tessolo::app {
class TAddressSearch;
class TMapServer;
class TPageBridge;
class TWebMap;
} // namespace tessolo::app
namespace tessolo::ui {
class TPostalMaskEdit;
} // namespace tessolo::ui

class TfrmMapbrows : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMapbrows(QWidget* parent = nullptr);
    ~TfrmMapbrows() override;

    tessolo::app::TWebMap* WebMap1 = nullptr;
    QPushButton* btnClients = nullptr;
    QPushButton* btnclient = nullptr;
    QLineEdit* EditCircle = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* Label4 = nullptr;
    tessolo::ui::TPostalMaskEdit* MaskEditPost = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* EditAdrs = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* btnclear = nullptr;
    QPushButton* btnOur = nullptr;
    // What the marks are coloured by: なし, グループ, 会社名, 都道府県, 市区町村,
    // 部署, 役職 (the page's legend lists the values).
    QComboBox* cmbColorBy = nullptr;

    QMenu* F1 = nullptr;
    QAction* N1 = nullptr;
    QAction* P1 = nullptr;
    QAction* V1 = nullptr;
    QAction* S1 = nullptr;
    QAction* X1 = nullptr;
    // 番地まで位置を調べる: off by default; on, each customer's whole address is
    // asked of the address search once (and kept), moving the mark there.
    QMenu* mnuSettings = nullptr;
    QAction* actStreetLevel = nullptr;
    QMenu* N2 = nullptr;
    QAction* N3 = nullptr;

    // The own company's address as last set by "自社表示"; the circle's centre.
    QString homeAddr;

    tessolo::app::TMapServer* mapServer() const { return m_server; }
    tessolo::app::TAddressSearch* addressSearch() const { return m_search; }
    // The page's address without scheme: "127.0.0.1:<port>/velmo/tessolo.html",
    // with "?offline=1" when the program runs offline.
    QString pageAddress() const;

    // Opens the window where it was last closed, at its size then, and keeps
    // that at closing (the program; tests leave the settings alone).
    void rememberPlacement();

    void FormCreate();
    void FormShow();
    void btnClientsClick();
    void btnclientClick();
    void btnOurClick();
    void Button1Click();
    void Button2Click();
    void btnclearClick();
    void P1Click();
    void V1Click();
    void S1Click();
    void N1Click();
    void N3Click();
    void X1Click();

    // Of the rowids the page hands back, those of customers this window
    // marked on the page since it loaded, each once, in the order given:
    // nothing else the page says is taken in.
    QList<qint64> knownRowids(const QList<qint64>& rowids) const;
    // The customers a list chose (the roster's "地図に表示"), marked in the
    // list's order.
    void showCustomers(const QList<qint64>& rowids);
    tessolo::app::TPageBridge* pageBridge() const { return m_bridge; }

    // The fourth argument of a customer's search_geo2 (a JSON object text),
    // from the customer's fields by column number.
    static QString customerAttributes(const std::function<QString(int)>& field);
    // The page's key for each entry of cmbColorBy, in its order.
    static QStringList colorByKeys();

signals:
    // 名簿で開く in a mark's popup: the roster should come up on this customer.
    void customerOpenRequested(qint64 rowid);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildMenu();
    void buildPanel();
    void wire();
    void wireSearch();
    // Marks every customer with search_geo2, in the roster's order.
    void markAllCustomers();
    static QStringList customerCall(qint64 rowid, const std::function<QString(int)>& field);
    void marksChosen(int action, const QList<qint64>& rowids);
    void buildColorBy(QWidget* parent);
    // Tells the page what to colour by (also after each load of the page).
    void applyColorBy();
    void wirePageRequests();
    void buildSettingsMenu();
    void setStreetLevel(bool on);
    // 訪問リスト printed (or saved as a PDF), or the round in a web route planner.
    void visitRound(bool planner, const QList<qint64>& rowids, const QList<qint64>& legs, qint64 returnLeg);
    // Marks these customers, in this order.
    void markCustomers(const QList<qint64>& rowids);
    // One search_geo2 call per customer, with the rowids they carry.
    void markCalls(const QList<QStringList>& calls, const QList<qint64>& rowids);
    // Records what the next search_geo2 calls carry, when they reach a page.
    void recordCalls(const QList<qint64>& rowids);

    tessolo::app::TMapServer* m_server = nullptr;
    tessolo::app::TAddressSearch* m_search = nullptr;
    tessolo::app::TPageBridge* m_bridge = nullptr;
    // The customer rowids the search_geo2 calls of this page carried. Not
    // trusted after a failed run of calls.
    QSet<qint64> m_pageRows;
    bool m_callsKnown = true;
    bool m_shown = false;
    bool m_rememberPlacement = false;
    QString m_homeForPage; // the own company's first site, when there is one
};
