#pragma once
// The roster window: the customer list in reading order with the kana index
// and the search, one input control per customer column, and Add, Update,
// Delete and Clear. Created once at start-up, hidden when closed; each
// showing reloads the list and forgets the loaded customer but keeps the
// fields as they were. The list grows with the window; the form keeps its
// place and size below it.

#include "customer/customersearch.h"
#include "data/store.h"
#include "ui/fieldform.h"

#include <QDialog>
#include <QHash>
#include <QRect>
#include <vector>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTreeView;
class TGroupFilter;
class TMemoFieldsBox;

namespace tessolo::customer {
class TCustomerListModel;
class TCustomerFilter;
} // namespace tessolo::customer

namespace tessolo::ui {
class TKanaButtons;
class TMemoEdit;
class TPostalMaskEdit;
} // namespace tessolo::ui

class TfrmAddress : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAddress(QWidget* parent = nullptr);

    QMenuBar* MainMenu1 = nullptr;
    QAction* U1 = nullptr;
    QAction* CSV1 = nullptr;
    QAction* actExportCsv = nullptr;
    QAction* actAtena = nullptr;
    // The chosen customers (or all shown) as marks on the map.
    QAction* mnuMap = nullptr;
    QAction* X1 = nullptr;
    QAction* N3 = nullptr;
    // ファイル → バックアップ: restore, copy now, write out, read in.
    QAction* actRestore = nullptr;
    QAction* actBackupNow = nullptr;
    QAction* actExportData = nullptr;
    QAction* actImportData = nullptr;
    tessolo::ui::TKanaButtons* KanaButtons = nullptr;
    QLineEdit* EditCnt = nullptr;
    // Narrows the list to the customers holding the typed text anywhere.
    QLineEdit* EditSearch = nullptr;
    // What narrows the list and how many it shows: "カ行・「工務店」 12 件".
    QLabel* LabFilter = nullptr;
    QTreeView* ListViewNm = nullptr;
    // The group filter (cmbGroup) above the list, and the groups, 連名 and
    // 敬称 beside the memo.
    TGroupFilter* GroupFilter = nullptr;
    TMemoFieldsBox* MemoFields = nullptr;
    tessolo::customer::TCustomerListModel* ListModel = nullptr;
    tessolo::customer::TCustomerFilter* ListFilter = nullptr;

    QLineEdit* EditName = nullptr;
    QLineEdit* EditNmKana = nullptr;
    QLineEdit* EditCompany = nullptr;
    QLineEdit* EditCokana = nullptr;
    QLineEdit* EditDepar = nullptr;
    QLineEdit* EditPosision = nullptr;
    QLineEdit* EditTel = nullptr;
    QLineEdit* EditFax = nullptr;
    tessolo::ui::TPostalMaskEdit* MaskEditPostal = nullptr;
    QLineEdit* EditPref = nullptr;
    QLineEdit* EditCity = nullptr;
    QLineEdit* EditAddr = nullptr;
    QLineEdit* EditBuild = nullptr;
    QLineEdit* EditEmail1 = nullptr;
    QLineEdit* EditEmail2 = nullptr;
    QLineEdit* EditUrl = nullptr;
    tessolo::ui::TMemoEdit* Memo1 = nullptr;
    QMenu* PopupMenu_mail1 = nullptr;
    QMenu* PopupMenu_mail2 = nullptr;
    QMenu* PopupMenu_url = nullptr;
    QAction* N4 = nullptr;
    QAction* N5 = nullptr;
    QAction* N6 = nullptr;

    QPushButton* btnadd = nullptr;
    QPushButton* btnup = nullptr;
    QPushButton* btndel = nullptr;
    QPushButton* btnClear = nullptr;
    QFileDialog* OpenTextFileDialog1 = nullptr;
    // The export's save dialog, with its choice of encoding (EncodingBox:
    // 0 code page 932, 1 UTF-8 with a byte-order mark).
    QFileDialog* SaveTextFileDialog1 = nullptr;
    QComboBox* EncodingBox = nullptr;

    // rowid of the customer loaded by a list click; empty when none.
    QString strRow;
    static inline const QString kDuplicateQuestion = QStringLiteral("同じ内容の顧客がすでにあります。追加しますか？");
    // What the fields held when a customer was loaded or last stored: 追加
    // with the fields still holding it would store a second copy.
    QStringList loadedFields;
    // The loaded customer's row as read (or as last stored): 更新 and 削除
    // change the row only while it still holds this.
    tessolo::customer::Record loadedRow;
    // On a server, the loaded customer as the server gave it (with its
    // version): 更新 and 削除 are checked against it there.
    std::optional<tessolo::store::CustomerRow> m_serverRow;

    // Reads every customer again; the kana row, the search, the sort and the
    // chosen rows stay as they were.
    void loadList();
    // Writes these customers, in this order, to a CSV file the user names
    // (the save dialog offers the encoding).
    void exportCustomers(const QList<qint64>& rowids);
    void listByKana(int kanaCode);
    // The customers as the list shows them, in its order.
    QList<qint64> shownRowids() const;
    // The rows chosen in the list, in the list's order; when none is chosen,
    // every row the list shows. What the export, 宛名印刷 and the map take.
    QList<qint64> chosenRowids() const;
    // Whether the form holds what was not stored (or loaded) yet.
    bool hasUnsavedChanges() const;

    // Every mail and web hand-off goes through here to the desktop's default
    // handler; tests listen to TAppEvents::openRequested to see what would be
    // handed over.
    static void shellOpen(const QString& address);

signals:
    // "地図に表示": these customers, in this order, as marks on the map.
    void showOnMap(const QList<qint64>& rowids);

public slots:
    void U1Click();
    // Brings the roster up on one customer: the list chosen and scrolled to
    // it, the form loaded with it (unless the form holds unsaved changes).
    // Shows the window modally when it is hidden.
    void showCustomer(qint64 rowid);

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    // Coming back to the window looks for changes another program made.
    void changeEvent(QEvent* e) override;

private:
    // Reads the list again when another program changed the file.
    void reloadIfChangedElsewhere();
    std::unique_ptr<tessolo::customer::TDataWatch> m_dataWatch;
    void applyGroupFilter();
    void groupsChosen(const QString& group, bool add);
    QList<qint64> selectedRowids() const;
    // Chooses a customer's row, scrolls to it and makes it current.
    void chooseRow(qint64 rowid);
    void showFilter();
    QStringList groupsListed() const;
    // Clears the search and the kana row.
    void showEveryone();
    // The fields as they are now become what "unsaved" is measured from.
    void markStored();
    // Asks what becomes of unsaved changes; false when the user stays.
    bool settleUnsaved();
    void loadCustomer(qint64 rowid);
    void saveListLayout() const;
    void restoreListLayout();
    void buildSearch();
    void buildMenu();
    void buildFileDialogs();
    void buildList();
    void buildInputs();
    void buildButtons();
    void wire();

    QLineEdit* addEdit(const char* name, const char* labelName, int x, int y, int w);

    void FormShow();
    void btnaddClick();
    void btnupClick();
    void btndelClick();
    void btnClearClick();
    void ListViewNmClick();
    void N4Click();
    void N5Click();
    void N6Click();
    void N3Click();
    void CSV1Click();
    void CSV2Click();
    void mnuAtenaClick();
    void mnuMapClick();
    void R1Click();
    void L1Click();
    void EditNameChange();
    void EditNameDblClick();
    void EditCompanyChange();
    void EditCompanyDblClick();
    void appendReading(QLineEdit* readingField, const QString& reading);
    void completeCompany();

    // The customer's seventeen controls, as the field table names them.
    std::optional<tessolo::ui::TFieldForm> m_form;
    QStringList m_stored;          // the fields as last loaded, stored or cleared
    qint64 m_pendingCustomer = -1; // showCustomer's, until the window stands
    // The controls' places at the window's smallest size, which resizing
    // moves from.
    QHash<QWidget*, QRect> m_baseGeometry;
    QSize m_baseSize;
};
