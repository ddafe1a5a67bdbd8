#include "csvimport/frmcsvin.h"

#include "data/store.h"
#include "ui/backupguard.h"
#include "ui/windowstyle.h"
#include "csvimport/duplicates.h"
#include "text/commatext.h"
#include "data/errors.h"
#include "customer/customerexport.h"
#include "ui/choice.h"
#include "ui/enternav.h"
#include "ui/errordisplay.h"
#include "ui/notice.h"
#include "ui/progress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTableWidget>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace tessolo;

namespace {

constexpr int kCaption = 0;
constexpr int kFirst = 1;
constexpr int kSecond = 2;

} // namespace

const QString TfrmCsvin::kSkipDuplicates = QStringLiteral("重複を除いて取り込む");
const QString TfrmCsvin::kSkipFlagged = QStringLiteral("問題の行を除いて取り込む");
const QString TfrmCsvin::kImportAll = QStringLiteral("すべて取り込む");
const QString TfrmCsvin::kCancelImport = QStringLiteral("中止");
const QString TfrmCsvin::kWriteSkipped = QStringLiteral("書き出す");
const QString TfrmCsvin::kDontWriteSkipped = QStringLiteral("書き出さない");

TfrmCsvin::TfrmCsvin(QWidget* parent)
    : QDialog(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("frmCsvin"), QStringLiteral("CSVデータ取込"), QColor(224, 234, 219));
    resize(627, 383);
    buildControls();
    layOut();
    wire();
}

void TfrmCsvin::buildControls()
{
    Label1 = new QLabel(QStringLiteral("顧客情報項目"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    ListViewCsv = new QTreeWidget(this);
    ListViewCsv->setObjectName(QStringLiteral("ListViewCsv"));
    ListViewCsv->setRootIsDecorated(false);
    ListViewCsv->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewCsv->setHeaderLabels({QStringLiteral("項目"), QStringLiteral("割り付け１"), QStringLiteral("割り付け２")});
    ListViewCsv->header()->setSectionsClickable(false);
    ListViewCsv->setColumnWidth(kCaption, 100);
    ListViewCsv->setColumnWidth(kFirst, 80);
    ListViewCsv->setColumnWidth(kSecond, 80);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    btnadd = new QPushButton(QStringLiteral("＜＜指定"), Panel1);
    btnadd->setObjectName(QStringLiteral("btnadd"));
    btndel = new QPushButton(QStringLiteral("解除＞＞"), Panel1);
    btndel->setObjectName(QStringLiteral("btndel"));
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->addStretch();
    panelLayout->addWidget(btnadd);
    panelLayout->addWidget(btndel);
    panelLayout->addStretch();

    Label2 = new QLabel(QStringLiteral("読み込みファイル"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    ListBoxCsv = new QListWidget(this);
    ListBoxCsv->setObjectName(QStringLiteral("ListBoxCsv"));
    ListBoxCsv->setSelectionMode(QAbstractItemView::SingleSelection);

    CheckHeader = new QCheckBox(QStringLiteral("1行目は見出し"), this);
    CheckHeader->setObjectName(QStringLiteral("CheckHeader"));

    ComboEncoding = new QComboBox(this);
    ComboEncoding->setObjectName(QStringLiteral("ComboEncoding"));
    for (TextEncoding e : {TextEncoding::Cp932, TextEncoding::Utf8, TextEncoding::Utf16, TextEncoding::EucJp})
        ComboEncoding->addItem(encodingName(e), int(e));
    LabelEncoding = new QLabel(this);
    LabelEncoding->setObjectName(QStringLiteral("LabelEncoding"));
    LabelEncoding->setWordWrap(true);
    TablePreview = new QTableWidget(this);
    TablePreview->setObjectName(QStringLiteral("TablePreview"));
    TablePreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TablePreview->setSelectionMode(QAbstractItemView::NoSelection);
    TablePreview->setFocusPolicy(Qt::NoFocus);

    btngo = new QPushButton(QStringLiteral("実行"), this);
    btngo->setObjectName(QStringLiteral("btngo"));
    btncancel = new QPushButton(QStringLiteral("キャンセル"), this);
    btncancel->setObjectName(QStringLiteral("btncancel"));
}

void TfrmCsvin::layOut()
{
    auto* left = new QVBoxLayout;
    left->addWidget(Label1);
    left->addWidget(ListViewCsv);
    auto* right = new QVBoxLayout;
    right->addWidget(Label2);
    right->addWidget(ListBoxCsv);
    right->addWidget(CheckHeader, 0, Qt::AlignLeft);
    auto* lists = new QHBoxLayout;
    lists->addLayout(left, 3);
    lists->addWidget(Panel1);
    lists->addLayout(right, 2);
    auto* encoding = new QHBoxLayout;
    encoding->addWidget(new QLabel(QStringLiteral("文字コード"), this));
    encoding->addWidget(ComboEncoding);
    encoding->addWidget(LabelEncoding, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btngo);
    buttons->addWidget(btncancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 3);
    layout->addLayout(encoding);
    layout->addWidget(TablePreview, 2);
    layout->addLayout(buttons);
    resize(760, 560);
    setTabOrder(ListViewCsv, btnadd);
    setTabOrder(btnadd, btndel);
    setTabOrder(btndel, ListBoxCsv);
    setTabOrder(ListBoxCsv, CheckHeader);
    setTabOrder(CheckHeader, btngo);
    setTabOrder(btngo, btncancel);
    // Only a click (or Enter on the focused button) assigns: Enter in either
    // list must not press ＜＜指定 as the dialog's default.
    ui::enterPressesFocusedButtonOnly(this);
}

void TfrmCsvin::wire()
{
    connect(btnadd, &QPushButton::clicked, this, ui::guarded([this] { btnaddClick(); }));
    connect(btndel, &QPushButton::clicked, this, ui::guarded([this] { btndelClick(); }));
    connect(btngo, &QPushButton::clicked, this, ui::guarded([this] { btngoClick(); }));
    connect(btncancel, &QPushButton::clicked, this, ui::guarded([this] { btncancelClick(); }));
    connect(CheckHeader, &QCheckBox::clicked, this, ui::guarded([this] { CheckHeaderClick(); }));
    connect(ComboEncoding, &QComboBox::activated, this, ui::guarded([this] { ComboEncodingChange(); }));
}

void TfrmCsvin::setCsvFile(const QString& strFL)
{
    strCSV = strFL;
    setWindowTitle(QStringLiteral("CSVデータ取込 読み込みファイル[") + strFL + QLatin1Char(']'));
}

void TfrmCsvin::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        ui::runHandler([this] { FormShow(); });
}

void TfrmCsvin::FormShow()
{
    // Every showing starts afresh: no column and no assignment carries over,
    // also when the file cannot be read.
    ListBoxCsv->clear();
    ListViewCsv->clear();
    for (const QString& caption : customer::kCsvCaptions)
        new QTreeWidgetItem(ListViewCsv, {caption, QString(), QString()});
    for (const QString& caption : csvimport::kExtraCaptions)
        new QTreeWidgetItem(ListViewCsv, {caption, QString(), QString()});
    CheckHeader->setChecked(false);
    TablePreview->clear();
    TablePreview->setRowCount(0);
    LabelEncoding->clear();
    allBuf.clear();
    m_rows.clear();
    m_encoding.reset();
    i_pos = 0;
    loadPreview();
}

// The first lines read in the chosen encoding; the column list follows
// them, and assignments keep their column numbers.
void TfrmCsvin::loadPreview()
{
    const csvimport::Preview p = csvimport::preview(strCSV, m_encoding);
    m_rows = p.rows;
    m_shownEncoding = p.encoding;
    allBuf.clear();
    for (const QStringList& row : m_rows)
        allBuf << row.join(QLatin1Char(','));

    ComboEncoding->setCurrentIndex(ComboEncoding->findData(int(p.encoding)));
    ComboEncoding->setEnabled(!p.spreadsheet);
    QString status = p.spreadsheet
        ? QStringLiteral("Excel のブック（最初のシート）")
        : QStringLiteral("%1 として読んでいます%2。")
              .arg(encodingName(p.encoding), m_encoding ? QString() : QStringLiteral("（自動判定）"));
    if (p.faults > 0) {
        status += p.cleanEncoding
            ? QStringLiteral("\nこの文字コードでは読めないバイトが %1 か所あります。「%2」を選ぶと正しく読めます。")
                  .arg(p.faults)
                  .arg(encodingName(*p.cleanEncoding))
            : QStringLiteral("\nこのファイルは、どの文字コードでも正しく読めません（読めないバイトが %1 か所）。"
                             "取り込むと、その文字は「?」になります。")
                  .arg(p.faults);
    }
    LabelEncoding->setText(status);

    qsizetype columns = 0;
    for (const QStringList& row : m_rows)
        columns = std::max(columns, row.size());
    TablePreview->clear();
    TablePreview->setRowCount(int(m_rows.size()));
    TablePreview->setColumnCount(int(columns));
    QStringList numbers;
    for (qsizetype c = 0; c < columns; ++c)
        numbers << QString::asprintf("%.2d", int(c));
    TablePreview->setHorizontalHeaderLabels(numbers);
    for (int r = 0; r < int(m_rows.size()); ++r) {
        for (int c = 0; c < int(m_rows[r].size()); ++c)
            TablePreview->setItem(r, c, new QTableWidgetItem(m_rows[r][c]));
    }

    ListBoxCsv->clear();
    // A file without any line has nothing to preview.
    if (i_pos < m_rows.size())
        ListBoxCsv->addItems(csvimport::columnEntries(m_rows.at(i_pos)));
    for (int k = 0; k < ListViewCsv->topLevelItemCount(); ++k) {
        QTreeWidgetItem* r = ListViewCsv->topLevelItem(k);
        for (int cell : {kFirst, kSecond}) {
            const std::optional<int> column = csvimport::entryColumn(r->text(cell));
            if (column && *column < ListBoxCsv->count())
                r->setText(cell, ListBoxCsv->item(*column)->text());
        }
    }
}

void TfrmCsvin::ComboEncodingChange()
{
    m_encoding = TextEncoding(ComboEncoding->currentData().toInt());
    loadPreview();
}

void TfrmCsvin::btnaddClick()
{
    const QList<QListWidgetItem*> entries = ListBoxCsv->selectedItems();
    const QList<QTreeWidgetItem*> rows = ListViewCsv->selectedItems();
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        for (auto r = rows.rbegin(); r != rows.rend(); ++r) {
            // A third assignment replaces the second.
            (*r)->setText((*r)->text(kFirst).isEmpty() ? kFirst : kSecond, (*e)->text());
        }
    }
}

void TfrmCsvin::btndelClick()
{
    for (QTreeWidgetItem* r : ListViewCsv->selectedItems()) {
        r->setText(kFirst, QString());
        r->setText(kSecond, QString());
    }
}

csvimport::ColumnMap TfrmCsvin::columnMap() const
{
    csvimport::ColumnMap map;
    for (int k = 0; k < int(map.size()) && k < ListViewCsv->topLevelItemCount(); ++k) {
        const QTreeWidgetItem* r = ListViewCsv->topLevelItem(k);
        map[k].first = csvimport::entryColumn(r->text(kFirst));
        map[k].second = csvimport::entryColumn(r->text(kSecond));
    }
    return map;
}

void TfrmCsvin::btngoClick()
{
    const csvimport::ColumnMap map = columnMap();
    // Without a single field there would be only empty customers.
    if (!csvimport::anyAssigned(map))
        throw TessoloError(csvimport::noAssignmentMessage());
    const bool header = CheckHeader->isChecked();
    // A wrong file that imports cleanly is still wrong: keep the roster as
    // it was before.
    // (On an office's server the copies are the administrator's.)
    if (!store::currentIsServer())
        ui::backupBeforeChange(this);
    csvimport::Result result;
    {
        ui::TBusyProgress progress(this, QStringLiteral("顧客データを取り込んでいます…"));
        // Asked once the whole file is read, before anything is stored: the
        // file is read once, and a file that fails is not asked about.
        const auto ask = [&](const csvimport::Review& found) {
            progress.finish();
            const QString leaveOut = found.check.any() ? kSkipFlagged : kSkipDuplicates;
            const int answer =
                ui::askChoice(this, csvimport::reviewQuestion(found), {leaveOut, kImportAll, kCancelImport});
            if (answer == 2)
                throw EAbort();
            return answer == 0;
        };
        csvimport::Options options;
        // The run reads what the preview showed, without detecting again.
        options.encoding = m_shownEncoding;
        result = csvimport::run(strCSV, map, progress.callback(), header, ask, options);
    }
    accept();
    if (result.leftOut.empty()) {
        ui::showNotice(this, csvimport::summary(result));
        return;
    }
    offerSkippedLines(csvimport::summary(result), result.leftOut);
}

// Lines left out are never lost without a word: the closing message offers
// to write them beside the source, in the export's format, to look at, mend
// and import after all.
void TfrmCsvin::offerSkippedLines(const QString& summary, const std::vector<customer::Record>& records)
{
    const QFileInfo source(strCSV);
    QString target = source.dir().filePath(source.completeBaseName() + QStringLiteral("_要確認.csv"));
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = source.dir().filePath(source.completeBaseName() + QStringLiteral("_要確認(%1).csv").arg(n));
    const QString text = summary +
        QStringLiteral("\n\n取り込まなかった行を「%1」に書き出しますか？").arg(QDir::toNativeSeparators(target));
    if (ui::askChoice(this, text, {kWriteSkipped, kDontWriteSkipped}) != 0)
        return;
    customerexport::writeRecords(target, records, customerexport::Encoding::Cp932);
    ui::showNotice(
        this,
        QStringLiteral("「%1」に %2 行を書き出しました。").arg(QDir::toNativeSeparators(target)).arg(records.size()));
}

void TfrmCsvin::btncancelClick() { reject(); }

// With the box ticked, every field the header names takes that column; the
// user can still change any of them. Unticking leaves the assignments be.
void TfrmCsvin::CheckHeaderClick()
{
    if (!CheckHeader->isChecked() || m_rows.isEmpty())
        return;
    const QStringList& header = m_rows.constFirst();
    const auto named = csvimport::headerColumns(header);
    std::array<std::optional<int>, std::tuple_size_v<csvimport::ColumnMap>> columns;
    std::copy(named.begin(), named.end(), columns.begin());
    // A lone 住所 beside no prefecture or city column holds the whole address.
    if (const auto whole = csvimport::wholeAddressColumn(header)) {
        columns[csvimport::kWholeAddress] = whole;
        columns[customer::col::Town].reset();
    }
    for (int k = 0; k < int(columns.size()) && k < ListViewCsv->topLevelItemCount(); ++k) {
        if (!columns[k] || *columns[k] >= ListBoxCsv->count())
            continue;
        QTreeWidgetItem* r = ListViewCsv->topLevelItem(k);
        r->setText(kFirst, ListBoxCsv->item(*columns[k])->text());
        r->setText(kSecond, QString());
    }
}
