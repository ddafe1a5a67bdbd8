#pragma once
// The own company's sites: a list on the left, the fields of one site on the
// right, and Add, Update, Delete and Clear. The postal code field completes
// the address exactly as the roster's does.

#include "customer/ourcompany.h"
#include "data/store.h"
#include "ui/fieldform.h"

#include <QDialog>
#include <optional>

class QFrame;
class QLabel;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace tessolo {
class TSQLiteTable;
}
namespace tessolo::ui {
class TMemoEdit;
class TPostalMaskEdit;
class TEnterNavigator;
} // namespace tessolo::ui

class TfrmOurcompany : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOurcompany(QWidget* parent = nullptr);

    QTreeWidget* ListViewCo = nullptr;
    QLineEdit* EditCompany = nullptr;
    QLineEdit* EditTel = nullptr;
    QLineEdit* EditFax = nullptr;
    tessolo::ui::TPostalMaskEdit* MaskEditPostal = nullptr;
    QLineEdit* EditPref = nullptr;
    QLineEdit* EditCity = nullptr;
    QLineEdit* EditAddr = nullptr;
    QLineEdit* EditBuild = nullptr;
    QLineEdit* EditEmail1 = nullptr;
    QLineEdit* EditUrl = nullptr;
    tessolo::ui::TMemoEdit* Memo1 = nullptr;
    QPushButton* btnadd = nullptr;
    QPushButton* btnup = nullptr;
    QPushButton* btndel = nullptr;
    QPushButton* btnclear = nullptr;

    // The rowid of the site in the fields; empty when none.
    QString strRow;

    void loadList();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void loadSite(const tessolo::store::SiteRow& site);
    QFrame* buildFields();
    QLayout* buildButtons();
    void wire();

    void FormShow();
    void ListViewCoClick();
    void btnaddClick();
    void btnupClick();
    void btndelClick();
    void btnclearClick();
    void MaskEditPostalExit();

    // The values to store, once the user has agreed to any substitutes (a
    // silent abort when they chose to go back to the field).
    tessolo::ourcompany::Record fields();

    tessolo::ui::TEnterNavigator* m_enter = nullptr;
    // The site's eleven controls, as the field table names them.
    std::optional<tessolo::ui::TFieldForm> m_form;
    std::optional<tessolo::store::SiteRow> m_serverSite;
};
