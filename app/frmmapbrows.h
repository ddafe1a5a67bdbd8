#pragma once
// The map window, the program's main window: the map page above, and below it
// the buttons that mark customers, the own company, a searched postal code or
// address and an area circle. It builds the page functions' arguments from
// the database and its fields and reads nothing back from the page.

#include <QMainWindow>
#include <QStringList>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace tessolo::app {
class TAddressSearch;
class TMapServer;
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

    QMenu* F1 = nullptr;
    QAction* N1 = nullptr;
    QAction* P1 = nullptr;
    QAction* V1 = nullptr;
    QAction* S1 = nullptr;
    QAction* X1 = nullptr;
    QMenu* N2 = nullptr;
    QAction* N3 = nullptr;

    // The own company's address as last set by "自社表示"; the circle's centre.
    QString homeAddr;

    tessolo::app::TMapServer* mapServer() const { return m_server; }
    tessolo::app::TAddressSearch* addressSearch() const { return m_search; }
    // The page's address without scheme: "127.0.0.1:<port>/velmo/tessolo.html",
    // with "?offline=1" when the program runs offline.
    QString pageAddress() const;
    // Tests add a query (e.g. "offline=1") to the page's address.
    static void setPageQueryForTesting(const QString& query);

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

protected:
    void showEvent(QShowEvent* e) override;

private:
    void buildMenu();
    void buildPanel();
    void wire();
    void wireSearch();
    // Marks every row of a customer statement with search_geo2.
    void markCustomers(const QString& sql);

    tessolo::app::TMapServer* m_server = nullptr;
    tessolo::app::TAddressSearch* m_search = nullptr;
    bool m_shown = false;
};
