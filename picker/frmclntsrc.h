#pragma once
// The customer picker: lists customers by kana row, single kana or reading
// prefix; "決定" hands the map window the chosen customers (or, with none
// selected, the list on display) by rowid, in the list's order.

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tessolo::ui {
class TKanaButtons;
}

class TfrmClntsrc : public QDialog {
    Q_OBJECT
public:
    explicit TfrmClntsrc(QWidget* parent = nullptr);

    tessolo::ui::TKanaButtons* KanaButtons = nullptr;
    QLineEdit* EditCnt = nullptr;
    QTreeWidget* ListViewNm = nullptr;
    QLineEdit* EditNm = nullptr;
    QPushButton* btnNm = nullptr;
    QPushButton* btnclear = nullptr;
    QPushButton* btnok = nullptr;
    QPushButton* btncancel = nullptr;
    QPushButton* btnAtena = nullptr;

    // A statement over what getRowids hands back, kept for callers that
    // still read getSQL.
    QString strSQLZ;
    // 1 after "決定" (despite the name), 0 when cancelled or closed.
    qint32 i_cancel = 0;

    qint32 getFlg() const { return i_cancel; }
    QString getSQL() const { return strSQLZ; }
    void getSQL(QString& out) const { out = strSQLZ; }

    // What "宛名印刷" prints: the selected rows, or the whole list.
    QList<qint64> chosenRowids() const;
    // The customers "決定" chose, in the list's order.
    const QList<qint64>& getRowids() const { return m_chosen; }

    void loadList();
    void listByKana(int kanaCode);

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void buildControls();
    void layOut();
    void wire();

    QLabel* labCnt = nullptr;
    QLabel* labNm = nullptr;
    void fill(const QString& sql, const std::function<bool(const QString& reading)>& keep);
    void FormShow();
    void btnNmClick();
    void btnokClick();
    void btncancelClick();
    void btnAtenaClick();
    void btnclearClick();

    QList<qint64> m_chosen;
};
