#pragma once
// The roster window: the customer list in reading order with the kana index,
// one input control per customer column, and Add, Update, Delete and Clear.
// Created once at start-up, hidden when closed; each showing reloads the list
// and forgets the loaded customer but keeps the fields as they were.

#include "customer/customersearch.h"
#include "ui/fieldform.h"

#include "data/store.h"

#include <QDialog>
#include <QTimer>
#include <vector>
#include <functional>
#include <optional>

class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

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
    QAction* CSV2 = nullptr;
    QAction* mnuAtena = nullptr;
    QAction* X1 = nullptr;
    QAction* N3 = nullptr;
    // ファイル → バックアップ: restore, copy now, write out, read in.
    QAction* R1 = nullptr;
    QAction* B1 = nullptr;
    QAction* W1 = nullptr;
    QAction* L1 = nullptr;
    tessolo::ui::TKanaButtons* KanaButtons = nullptr;
    QLineEdit* EditCnt = nullptr;
    // Narrows the list to the customers holding the typed text anywhere.
    QLineEdit* EditSearch = nullptr;
    QTreeWidget* ListViewNm = nullptr;

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
    // The query that last filled the list: the export writes what it shows.
    QString strListSQL;

    void loadList();
    // Writes the customers of a list statement to a CSV file the user names,
    // in the statement's order (the save dialog offers the encoding).
    void exportCustomers(const QString& sql);
    void listByKana(int kanaCode);

    // Every mail and web hand-off goes through here to the desktop's default
    // handler; tests replace it to see what would be handed over.
    using ShellOpenFn = std::function<void(const QString& address)>;
    static void setShellOpenHook(ShellOpenFn fn);
    static void shellOpen(const QString& address);

public slots:
    void U1Click();

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // A customer as the list read it: the eight shown values and the key the
    // search compares. The kana filter decides which are read; the search
    // narrows them without another query.
    struct Listed {
        QStringList values;
        tessolo::customersearch::Key key;
    };
    std::vector<Listed> m_listed;
    QString m_readSQL; // the query that read m_listed
    // On a server: the kana row the list shows, the customer loaded by a
    // list click as it was read (更新 and 削除 are refused when it changed
    // since), and the watch that reloads the list on other PCs' changes.
    int m_kanaCode = 0;
    std::optional<tessolo::store::CustomerRow> m_loadedRow;
    QTimer* m_changeWatch = nullptr;
    void readStoreList();
    void watchStoreChanges();

    void readList(const QString& sql);
    void showListed();
    void buildSearch();
    void buildMenu();
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
};
