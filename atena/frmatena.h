#pragma once
// The address printing window: the customers handed over (from the roster's
// list, the picker or the map's area circle) on postcards written vertically
// or on label sheets, with a live preview of the first page, Qt's print
// preview, the print dialog and a PDF.

#include "atena/atenalayout.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFontComboBox;
class QGroupBox;
class QLabel;
class QPrinter;
class QPushButton;
class QSpinBox;

class TfrmAtena : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAtena(QWidget* parent = nullptr);
    ~TfrmAtena() override;

    enum Layout { Postcard, Labels12, Labels24, LabelsUser };

    QComboBox* cmbLayout = nullptr;
    QComboBox* cmbHonorific = nullptr;
    QComboBox* cmbSender = nullptr;
    QSpinBox* spnStart = nullptr;
    QCheckBox* chkCombine = nullptr;
    QFontComboBox* cmbFont = nullptr;
    QGroupBox* grpUser = nullptr;
    QSpinBox* spnColumns = nullptr;
    QSpinBox* spnRows = nullptr;
    QDoubleSpinBox* dspWidth = nullptr;
    QDoubleSpinBox* dspHeight = nullptr;
    QDoubleSpinBox* dspPitchX = nullptr;
    QDoubleSpinBox* dspPitchY = nullptr;
    QDoubleSpinBox* dspTop = nullptr;
    QDoubleSpinBox* dspLeft = nullptr;
    QLabel* lblMissing = nullptr;
    QCheckBox* chkKeepMissing = nullptr;
    QLabel* lblCount = nullptr;
    QLabel* lblPreview = nullptr;
    QPushButton* btnPreview = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnPdf = nullptr;
    QPushButton* btnClose = nullptr;

    // The customers to print, by rowid, in order; values come from the database.
    void setCustomers(const QList<qint64>& rowids);
    QList<qint64> customerRowids() const;
    // Those that will be printed (without an address only when kept).
    QList<tessolo::atena::Recipient> printed() const;

    tessolo::atena::LabelSheet sheet() const;
    tessolo::atena::Options options() const;
    // Every page as it would print; `tooSmall` as the layout tells it.
    QList<tessolo::atena::Page> pages(QList<qint64>* tooSmall = nullptr);

    // Tests answer the save dialog and the question before printing.
    using FileChooser = std::function<QString()>;
    void setPdfChooserForTesting(FileChooser chooser) { m_pdfChooser = std::move(chooser); }
    void btnPdfClick();
    void btnPreviewClick();
    void btnPrintClick();

private:
    void buildControls();
    void buildUserGroup();
    void layOut();
    void wire();
    void loadSenders();
    void loadUserSheet();
    void saveUserSheet() const;
    void layoutChanged();
    void refresh();
    bool confirmSmall(const QList<qint64>& tooSmall);
    QList<tessolo::atena::Page> pagesToPrint();

    QList<qint64> m_rowids;
    QList<tessolo::atena::Recipient> m_recipients;
    FileChooser m_pdfChooser;
    std::unique_ptr<QPrinter> m_printer;
};
