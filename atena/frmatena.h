#pragma once
// The address printing window: the customers handed over (from the roster's
// list, the picker or the map's area circle) on postcards written vertically,
// envelopes or label sheets, with a live preview of the first page, Qt's
// print preview, the print dialog and a PDF. Members of 送付しない groups are
// left out and counted; recipients whose address would print wrongly are
// listed to open in the roster or leave out before anything is printed.

#include "atena/atenacheck.h"
#include "atena/atenalayout.h"

#include <QDialog>
#include <QList>
#include <QSet>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFontComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPrinter;
class QPushButton;
class QSpinBox;

class TfrmAtena : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAtena(QWidget* parent = nullptr);
    ~TfrmAtena() override;

    enum Layout { Postcard, Labels12, Labels24, LabelsUser, Nagagata3, Kakugata2 };

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
    QCheckBox* chkSenderTel = nullptr;
    // Blank between the sheet's edge and a label's text.
    QDoubleSpinBox* dspMargin = nullptr;
    QLabel* lblHeld = nullptr;
    QPushButton* btnHeld = nullptr;
    // The recipients that need a look; ticked ones are printed.
    QListWidget* lstProblems = nullptr;
    QPushButton* btnOpenProblem = nullptr;
    QLabel* lblCount = nullptr;
    QLabel* lblPreview = nullptr;
    QPushButton* btnPreview = nullptr;
    QPushButton* btnPrint = nullptr;
    QPushButton* btnPdf = nullptr;
    QPushButton* btnClose = nullptr;

    // The customer whose problem the user chose to mend in the roster (0:
    // none); the window closes, and its opener reads this.
    qint64 openRowid = 0;

    // The customers to print, by rowid, in order; values come from the database.
    void setCustomers(const QList<qint64>& rowids);
    QList<qint64> customerRowids() const;
    // Those that will be printed: neither held back by a group nor left out.
    QList<tessolo::atena::Recipient> printed() const;
    const tessolo::atena::Held& held() const { return m_held; }
    const QList<tessolo::atena::Problem>& problems() const { return m_problems; }
    // Leaves a listed recipient out of the print, or takes it back.
    void setLeftOut(qint64 rowid, bool out);

    tessolo::atena::LabelSheet sheet() const;
    tessolo::atena::Options options() const;
    // Every page as it would print; `tooSmall` as the layout tells it.
    QList<tessolo::atena::Page> pages(QList<qint64>* tooSmall = nullptr);

    void btnPdfClick();
    void btnPreviewClick();
    void btnPrintClick();
    void btnOpenProblemClick();
    void btnHeldClick();

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
    void saveChoices() const;
    void loadChoices();
    void findHeldAndProblems();
    void showProblems();
    bool ask(const QString& question);
    bool confirmSmall(const QList<qint64>& tooSmall);
    bool confirmProblems();
    // The job as it will print: its page count and each page on demand.
    int pageCountNow() const;
    tessolo::atena::Page pageAt(const QList<tessolo::atena::Recipient>& list, int index,
                                const tessolo::atena::Options& o, const tessolo::atena::MeasureFn& measure,
                                QList<qint64>* tooSmall) const;
    // Checks the job (problems, type too small) and gives the recipients.
    QList<tessolo::atena::Recipient> checkedForPrinting();
    void paintJob(const std::function<void(int count, const std::function<tessolo::atena::Page(int)>& pageAt,
                                           const std::function<bool(int, int)>& progress)>& sink,
                  const QList<tessolo::atena::Recipient>& list, const QString& label);

    QList<qint64> m_rowids;
    QList<tessolo::atena::Recipient> m_recipients;
    tessolo::atena::Held m_held;
    QList<tessolo::atena::Problem> m_problems;
    QSet<qint64> m_leftOut;
    bool m_loadingChoices = false;
    std::unique_ptr<QPrinter> m_printer;
};
