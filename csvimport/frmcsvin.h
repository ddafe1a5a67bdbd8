#pragma once
// The CSV import window: the first line of the chosen file as numbered column
// entries, the seventeen customer fields with up to two columns each, and the
// run ("実行"). A run that fails keeps the window open with its assignments;
// nothing of it stays in the table, so it can simply be run again.

#include "csvimport/csvimportrun.h"

#include <QDialog>
#include <QSet>
#include <QStringList>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QTableWidget;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;

class TfrmCsvin : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCsvin(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QTreeWidget* ListViewCsv = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* btnadd = nullptr;
    QPushButton* btndel = nullptr;
    QLabel* Label2 = nullptr;
    QListWidget* ListBoxCsv = nullptr;
    // Off on every showing: then every line is imported, the first too.
    QCheckBox* CheckHeader = nullptr;
    // The encoding the file is read in (detected on showing, the user's
    // choice after), what it was detected as and whether it reads cleanly,
    // and the first lines as they will be stored.
    QComboBox* ComboEncoding = nullptr;
    QLabel* LabelEncoding = nullptr;
    QTableWidget* TablePreview = nullptr;
    QPushButton* btngo = nullptr;
    QPushButton* btncancel = nullptr;

    QString strCSV;
    QStringList allBuf;
    int i_pos = 0;

    void setCsvFile(const QString& strFL);
    // The answers to the question about duplicates, and to the offer to
    // write the lines left out.
    static const QString kSkipDuplicates, kSkipFlagged, kImportAll, kCancelImport, kWriteSkipped, kDontWriteSkipped;

    // The columns assigned in the list, as the run reads them.
    tessolo::csvimport::ColumnMap columnMap() const;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void buildControls();
    void layOut();
    void wire();
    void FormShow();
    void btnaddClick();
    void btndelClick();
    void btngoClick();
    void btncancelClick();
    void CheckHeaderClick();
    void ComboEncodingChange();
    void loadPreview();
    void offerSkippedLines(const QString& summary, const std::vector<tessolo::customer::Record>& records);

    std::optional<tessolo::TextEncoding> m_encoding;                      // the user's choice, if any
    tessolo::TextEncoding m_shownEncoding = tessolo::TextEncoding::Cp932; // what the preview read
    QList<QStringList> m_rows;                                            // the preview's lines
};
