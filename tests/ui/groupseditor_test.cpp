// The roster's groups, 連名 and 敬称: edited in their controls, stored as
// lines of the memo while the memo box shows only the note, and the group
// filter and the group command for the chosen customers on the list.

#include "customer/customerlist.h"
#include "customer/memofields.h"
#include "data/sqlitedo.h"
#include "roster/frmaddress.h"
#include "roster/groupseditor.h"
#include "ui/memoedit.h"
#include "ui/okrightdlg2.h"
#include "ui/windowset.h"
#include "uitest.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using uitest::Db;

namespace {

QString memoOf(const QString& person)
{
    tessolo::TSQLiteDo db;
    db.getDBpoint(tessolo::kDatabaseName);
    const auto t =
        db.query(QStringLiteral("select memo from t_customer where person_name = '") + person + QStringLiteral("'"));
    return t->MoveFirst() && !t->Eof() ? t->NamedFieldAsString(QStringLiteral("memo")) : QString();
}

} // namespace

class TestGroupsEditor : public QObject {
    Q_OBJECT

    std::unique_ptr<Db> db;
    std::unique_ptr<TfrmAddress> w;
    std::unique_ptr<TOKRightDlg2> dlg;

    void chooseRow(int row)
    {
        w->ListViewNm->selectionModel()->select(w->ListFilter->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QStringList listNames() const
    {
        QStringList out;
        for (int i = 0; i < w->ListFilter->rowCount(); ++i)
            out << w->ListFilter->index(i, 0).data().toString();
        return out;
    }

private slots:
    void init()
    {
        db = std::make_unique<Db>();
        QVERIFY(db->ok());
        Db::addCustomer({QStringLiteral("山田太郎"), QStringLiteral("ヤマダタロウ")});
        Db::addCustomer({QStringLiteral("加藤一郎"), QStringLiteral("カトウイチロウ")});
        Db::exec(QStringLiteral("update t_customer set memo = '備考の行' || char(13) || char(10) || '#年賀状' "
                                "where person_name = '加藤一郎'"));
        dlg = std::make_unique<TOKRightDlg2>();
        OKRightDlg2 = dlg.get();
        w = std::make_unique<TfrmAddress>();
        frmAddress = w.get();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    void cleanup()
    {
        w.reset();
        dlg.reset();
        OKRightDlg2 = nullptr;
        frmAddress = nullptr;
        db.reset();
    }

    void fieldsGoToTheMemoAndTheNoteStaysAlone()
    {
        QCOMPARE(listNames(), (QStringList{QStringLiteral("加藤一郎"), QStringLiteral("山田太郎")}));
        w->showCustomer(2); // 加藤
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("備考の行"));
        QCOMPARE(w->MemoFields->EditGroups->groups(), QStringList{QStringLiteral("年賀状")});
        // Stored unchanged, the memo keeps its bytes.
        w->findChild<QPushButton*>(QStringLiteral("btnup"))->click();
        QCOMPARE(memoOf(QStringLiteral("加藤一郎")), QStringLiteral("備考の行\r\n#年賀状"));

        w->showCustomer(1); // 山田
        w->MemoFields->EditHonorific->setText(QStringLiteral("先生"));
        w->MemoFields->EditJoint[0]->setText(QStringLiteral("花子"));
        w->MemoFields->EditGroups->EditNewGroup->setText(QStringLiteral("喪中・年賀状"));
        w->findChild<QPushButton*>(QStringLiteral("btnup"))->click();
        const tessolo::customer::memo::Fields f = tessolo::customer::memo::parse(memoOf(QStringLiteral("山田太郎")));
        QCOMPARE(f.honorific, QStringLiteral("先生"));
        QCOMPARE(f.joint.size(), 1);
        QCOMPARE(f.joint.first().name, QStringLiteral("花子"));
        QCOMPARE(f.groups, (QStringList{QStringLiteral("喪中"), QStringLiteral("年賀状")}));
        QVERIFY(f.note.isEmpty());

        // The filter: one group, then those in none.
        QComboBox* cmb = w->GroupFilter->cmbGroup;
        cmb->setCurrentIndex(cmb->findText(QStringLiteral("喪中")));
        QCOMPARE(listNames(), QStringList{QStringLiteral("山田太郎")});
        QCOMPARE(w->EditCnt->text(), QStringLiteral("1"));
        cmb->setCurrentIndex(cmb->findText(TGroupFilter::kNone));
        QVERIFY(listNames().isEmpty());
        cmb->setCurrentIndex(0);
        QCOMPARE(listNames().size(), 2);
    }

    void aGroupGoesToTheChosenCustomersAtOnce()
    {
        chooseRow(1); // 山田
        emit w->GroupFilter->addRequested(QStringLiteral("DM不要"));
        QCOMPARE(memoOf(QStringLiteral("山田太郎")), QStringLiteral("#DM不要"));
        QCOMPARE(memoOf(QStringLiteral("加藤一郎")), QStringLiteral("備考の行\r\n#年賀状"));
        QVERIFY(w->GroupFilter->cmbGroup->findText(QStringLiteral("DM不要")) > 0);
        chooseRow(1);
        emit w->GroupFilter->removeRequested(QStringLiteral("DM不要"));
        QCOMPARE(memoOf(QStringLiteral("山田太郎")), QString());
    }
};

QTEST_MAIN(TestGroupsEditor)
#include "groupseditor_test.moc"
