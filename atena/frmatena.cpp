#include "atena/frmatena.h"

#include "atena/atenadata.h"
#include "atena/atenarender.h"
#include "data/errors.h"
#include "ui/errordisplay.h"
#include "ui/progress.h"
#include "ui/startfolder.h"
#include "ui/windowstyle.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace at = tessolo::atena;
using tessolo::ui::guarded;

namespace {

constexpr double kPreviewPxPerMm = 2.4;
constexpr int kNamesShown = 10;
// A name longer than this is cut in the window's lists and questions: a
// name of thousands of characters must not widen the window.
constexpr int kNameChars = 40;
const QString kSettingsGroup = QStringLiteral("atena");

QString shortName(const QString& name)
{
    return name.size() > kNameChars ? name.left(kNameChars) + QStringLiteral("…") : name;
}

QSettings settings() { return QSettings(QStringLiteral("Tessolo"), QStringLiteral("Tessolo")); }

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QDoubleSpinBox* mmBox(const char* name, double max, QWidget* parent)
{
    auto* b = new QDoubleSpinBox(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setRange(0.0, max);
    b->setDecimals(1);
    b->setSingleStep(0.1);
    b->setSuffix(QStringLiteral(" mm"));
    return b;
}

QString namesOf(const QList<at::Recipient>& list)
{
    QStringList names;
    for (qsizetype i = 0; i < list.size() && i < kNamesShown; ++i)
        names << shortName(list.at(i).displayName());
    QString text = names.join(QStringLiteral("、"));
    if (list.size() > kNamesShown)
        text += QStringLiteral(" ほか %1 件").arg(list.size() - kNamesShown);
    return text;
}

} // namespace

TfrmAtena::TfrmAtena(QWidget* parent)
    : QDialog(parent)
{
    tessolo::ui::setupWindow(this, QStringLiteral("frmAtena"), QStringLiteral("宛名印刷"), QColor(210, 234, 236));
    buildControls();
    loadUserSheet();
    loadChoices();
    wire();
    layoutChanged();
}

TfrmAtena::~TfrmAtena() = default;

void TfrmAtena::buildControls()
{
    cmbLayout = new QComboBox(this);
    cmbLayout->setObjectName(QStringLiteral("cmbLayout"));
    cmbLayout->addItems({QStringLiteral("はがき（縦書き）"), QStringLiteral("ラベル 12面"),
                         QStringLiteral("ラベル 24面"), QStringLiteral("ラベル（ユーザー設定）"),
                         QStringLiteral("封筒 長形3号（縦書き）"), QStringLiteral("封筒 角形2号（横書き）")});
    cmbHonorific = new QComboBox(this);
    cmbHonorific->setObjectName(QStringLiteral("cmbHonorific"));
    cmbHonorific->addItems({QStringLiteral("様（会社だけなら御中）"), QStringLiteral("様"), QStringLiteral("殿"),
                            QStringLiteral("御中"), QStringLiteral("なし")});
    cmbSender = new QComboBox(this);
    cmbSender->setObjectName(QStringLiteral("cmbSender"));
    spnStart = new QSpinBox(this);
    spnStart->setObjectName(QStringLiteral("spnStart"));
    spnStart->setMinimum(1);
    chkCombine = new QCheckBox(QStringLiteral("2けたの数字を横に並べる（縦中横）"), this);
    chkCombine->setObjectName(QStringLiteral("chkCombine"));
    cmbFont = new QFontComboBox(this);
    cmbFont->setObjectName(QStringLiteral("cmbFont"));
    cmbFont->setWritingSystem(QFontDatabase::Japanese);

    buildUserGroup();

    chkSenderTel = new QCheckBox(QStringLiteral("差出人の電話番号を印刷する"), this);
    chkSenderTel->setObjectName(QStringLiteral("chkSenderTel"));
    lblHeld = new QLabel(this);
    lblHeld->setObjectName(QStringLiteral("lblHeld"));
    btnHeld = button("btnHeld", QStringLiteral("送付しないグループ…"), this);
    lstProblems = new QListWidget(this);
    lstProblems->setObjectName(QStringLiteral("lstProblems"));
    lstProblems->setTextElideMode(Qt::ElideRight);
    lstProblems->setWordWrap(false);
    lstProblems->setUniformItemSizes(true);
    lstProblems->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lstProblems->setMinimumWidth(200);
    lstProblems->setMaximumHeight(160);
    btnOpenProblem = button("btnOpenProblem", QStringLiteral("名簿で開く"), this);
    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    lblPreview = new QLabel(this);
    lblPreview->setObjectName(QStringLiteral("lblPreview"));
    lblPreview->setAlignment(Qt::AlignCenter);
    lblPreview->setMinimumSize(int(210 * kPreviewPxPerMm * 0.75), int(297 * kPreviewPxPerMm * 0.75));
    btnPreview = button("btnPreview", QStringLiteral("プレビュー"), this);
    btnPrint = button("btnPrint", QStringLiteral("印刷"), this);
    btnPdf = button("btnPdf", QStringLiteral("PDFに保存"), this);
    btnClose = button("btnClose", QStringLiteral("閉じる"), this);

    layOut();
}

void TfrmAtena::layOut()
{
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("用紙"), cmbLayout);
    form->addRow(QStringLiteral("敬称"), cmbHonorific);
    form->addRow(QStringLiteral("差出人"), cmbSender);
    form->addRow(QStringLiteral("開始位置（面）"), spnStart);
    form->addRow(QStringLiteral("書体"), cmbFont);
    form->addRow(QString(), chkCombine);
    form->addRow(QString(), chkSenderTel);
    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(grpUser);
    auto* heldRow = new QHBoxLayout;
    heldRow->addWidget(lblHeld, 1);
    heldRow->addWidget(btnHeld);
    left->addLayout(heldRow);
    auto* problemsCaption = new QLabel(QStringLiteral("確認が必要な宛先（チェックしたものを印刷）"), this);
    problemsCaption->setObjectName(QStringLiteral("lblProblems"));
    left->addWidget(problemsCaption);
    left->addWidget(lstProblems);
    left->addWidget(btnOpenProblem, 0, Qt::AlignRight);
    left->addWidget(lblCount);
    left->addStretch();
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnPreview, btnPrint, btnPdf, btnClose})
        buttons->addWidget(b);
    left->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addWidget(lblPreview, 1);
}

// The sheet of a label paper the user measured: grid and margins in mm.
void TfrmAtena::buildUserGroup()
{
    grpUser = new QGroupBox(QStringLiteral("ユーザー設定のラベル"), this);
    grpUser->setObjectName(QStringLiteral("grpUser"));
    spnColumns = new QSpinBox(grpUser);
    spnColumns->setObjectName(QStringLiteral("spnColumns"));
    spnColumns->setRange(1, 10);
    spnRows = new QSpinBox(grpUser);
    spnRows->setObjectName(QStringLiteral("spnRows"));
    spnRows->setRange(1, 30);
    dspWidth = mmBox("dspWidth", 210, grpUser);
    dspHeight = mmBox("dspHeight", 297, grpUser);
    dspPitchX = mmBox("dspPitchX", 210, grpUser);
    dspPitchY = mmBox("dspPitchY", 297, grpUser);
    dspTop = mmBox("dspTop", 297, grpUser);
    dspLeft = mmBox("dspLeft", 210, grpUser);
    dspMargin = mmBox("dspMargin", 30, grpUser);
    dspMargin->setValue(tessolo::atena::kDefaultLabelMarginMm);
    dspMargin->setToolTip(QStringLiteral("どのラベル用紙でも、文字を用紙の端からこれだけ離します"));
    auto* user = new QGridLayout(grpUser);
    const std::pair<QString, QWidget*> cells[] = {{QStringLiteral("列"), spnColumns},
                                                  {QStringLiteral("行"), spnRows},
                                                  {QStringLiteral("幅"), dspWidth},
                                                  {QStringLiteral("高さ"), dspHeight},
                                                  {QStringLiteral("横の間隔（ピッチ）"), dspPitchX},
                                                  {QStringLiteral("縦の間隔（ピッチ）"), dspPitchY},
                                                  {QStringLiteral("上余白"), dspTop},
                                                  {QStringLiteral("左余白"), dspLeft}};
    for (int i = 0; i < 8; ++i) {
        user->addWidget(new QLabel(cells[i].first, grpUser), i / 2, (i % 2) * 2);
        user->addWidget(cells[i].second, i / 2, (i % 2) * 2 + 1);
    }
    user->addWidget(new QLabel(QStringLiteral("印刷しない余白（用紙の端から）"), grpUser), 4, 0, 1, 3);
    user->addWidget(dspMargin, 4, 3);
}

void TfrmAtena::wire()
{
    connect(cmbLayout, &QComboBox::currentIndexChanged, this, guarded([this] { layoutChanged(); }));
    for (QComboBox* c : {cmbHonorific, cmbSender})
        connect(c, &QComboBox::currentIndexChanged, this, guarded([this] { refresh(); }));
    connect(cmbFont, &QFontComboBox::currentFontChanged, this, guarded([this] { refresh(); }));
    for (QSpinBox* s : {spnStart, spnColumns, spnRows})
        connect(s, &QSpinBox::valueChanged, this, guarded([this] { refresh(); }));
    for (QDoubleSpinBox* s : {dspWidth, dspHeight, dspPitchX, dspPitchY, dspTop, dspLeft, dspMargin})
        connect(s, &QDoubleSpinBox::valueChanged, this, guarded([this] { refresh(); }));
    for (QCheckBox* c : {chkCombine, chkSenderTel})
        connect(c, &QCheckBox::toggled, this, guarded([this] { refresh(); }));
    connect(lstProblems, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        tessolo::ui::runHandler([this, item] {
            const qint64 rowid = item->data(Qt::UserRole).toLongLong();
            const bool out = item->checkState() != Qt::Checked;
            if (m_leftOut.contains(rowid) != out)
                setLeftOut(rowid, out);
        });
    });
    connect(lstProblems, &QListWidget::itemDoubleClicked, this, guarded([this] { btnOpenProblemClick(); }));
    connect(btnOpenProblem, &QPushButton::clicked, this, guarded([this] { btnOpenProblemClick(); }));
    connect(btnHeld, &QPushButton::clicked, this, guarded([this] { btnHeldClick(); }));
    connect(btnPreview, &QPushButton::clicked, this, guarded([this] { btnPreviewClick(); }));
    connect(btnPrint, &QPushButton::clicked, this, guarded([this] { btnPrintClick(); }));
    connect(btnPdf, &QPushButton::clicked, this, guarded([this] { btnPdfClick(); }));
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmAtena::setCustomers(const QList<qint64>& rowids)
{
    const tessolo::ui::TBusyCursor busy;
    m_rowids = rowids;
    openRowid = 0;
    m_recipients = at::loadRecipients(rowids);
    m_leftOut.clear();
    loadSenders();
    findHeldAndProblems();
    refresh();
}

QList<qint64> TfrmAtena::customerRowids() const
{
    QList<qint64> out;
    for (const at::Recipient& r : m_recipients)
        out << r.rowid;
    return out;
}

void TfrmAtena::loadSenders()
{
    QVariant chosen = cmbSender->currentData();
    if (!chosen.isValid()) {
        QSettings s = settings();
        chosen = s.value(kSettingsGroup + QStringLiteral("/sender"));
    }
    const QSignalBlocker block(cmbSender);
    cmbSender->clear();
    cmbSender->addItem(QStringLiteral("なし"), QVariant());
    for (const at::SenderChoice& s : at::senderChoices())
        cmbSender->addItem(s.name.isEmpty() ? QStringLiteral("（名称なし）") : shortName(s.name), s.rowid);
    const int again = chosen.isValid() ? cmbSender->findData(chosen.toLongLong()) : -1;
    cmbSender->setCurrentIndex(again < 0 ? 0 : again);
}

// Held groups first, then the check of those still to be printed. Those
// without any address start left out, as they would print as blank cards.
void TfrmAtena::findHeldAndProblems()
{
    QSettings s = settings();
    m_held = at::leaveOutHeld(m_recipients, at::heldGroups(s));
    m_problems = at::problemsOf(m_held.kept, at::databaseLookup(m_held.kept));
    for (const at::Recipient& r : m_held.kept) {
        if (!r.hasAddress())
            m_leftOut.insert(r.rowid);
    }
    lblHeld->setText(m_held.total() > 0 ? m_held.message() : QStringLiteral("送付しないグループの顧客はいません"));
    showProblems();
}

void TfrmAtena::showProblems()
{
    const QSignalBlocker block(lstProblems);
    lstProblems->clear();
    for (const at::Problem& p : m_problems) {
        auto* item = new QListWidgetItem(
            shortName(p.name) + QStringLiteral(" — ") + p.reasons.join(QStringLiteral("、")), lstProblems);
        item->setData(Qt::UserRole, p.rowid);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(m_leftOut.contains(p.rowid) ? Qt::Unchecked : Qt::Checked);
        item->setToolTip(p.reasons.join(QLatin1Char('\n')));
    }
    lstProblems->setEnabled(!m_problems.isEmpty());
    btnOpenProblem->setEnabled(!m_problems.isEmpty());
    if (m_problems.isEmpty())
        lstProblems->addItem(QStringLiteral("ありません"));
}

void TfrmAtena::setLeftOut(qint64 rowid, bool out)
{
    if (out)
        m_leftOut.insert(rowid);
    else
        m_leftOut.remove(rowid);
    showProblems();
    refresh();
}

// Closes the window; the opener shows the customer to mend.
void TfrmAtena::btnOpenProblemClick()
{
    QListWidgetItem* item = lstProblems->currentItem();
    if (!item || !item->data(Qt::UserRole).isValid())
        throw tessolo::EAbort();
    openRowid = item->data(Qt::UserRole).toLongLong();
    accept();
}

// Which groups hold mail back: those of the recipients and those already
// marked, to tick.
void TfrmAtena::btnHeldClick()
{
    QSettings s = settings();
    const QStringList held = at::heldGroups(s);
    QStringList groups = held;
    for (const at::Recipient& r : m_recipients) {
        for (const QString& g : r.groups) {
            if (!groups.contains(g))
                groups << g;
        }
    }
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("送付しないグループ"));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lstHeldGroups"));
    list->setTextElideMode(Qt::ElideRight);
    for (const QString& g : groups) {
        auto* item = new QListWidgetItem(shortName(g), list);
        item->setData(Qt::UserRole, g);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(held.contains(g) ? Qt::Checked : Qt::Unchecked);
    }
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("チェックしたグループの顧客には印刷しません。"), &dialog));
    layout->addWidget(list);
    layout->addWidget(box);
    if (dialog.exec() != QDialog::Accepted)
        throw tessolo::EAbort();
    QStringList marked;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            marked << list->item(i)->data(Qt::UserRole).toString();
    }
    at::setHeldGroups(s, marked);
    findHeldAndProblems();
    refresh();
}

QList<at::Recipient> TfrmAtena::printed() const
{
    QList<at::Recipient> out;
    for (const at::Recipient& r : m_held.kept) {
        if (!m_leftOut.contains(r.rowid))
            out << r;
    }
    return out;
}

at::LabelSheet TfrmAtena::sheet() const
{
    switch (cmbLayout->currentIndex()) {
    case Labels12: return at::LabelSheet::twelve();
    case Labels24: return at::LabelSheet::twentyFour();
    default: break;
    }
    at::LabelSheet s;
    s.columns = spnColumns->value();
    s.rows = spnRows->value();
    s.label = QSizeF(dspWidth->value(), dspHeight->value());
    s.pitchX = dspPitchX->value();
    s.pitchY = dspPitchY->value();
    s.top = dspTop->value();
    s.left = dspLeft->value();
    return s;
}

at::Options TfrmAtena::options() const
{
    at::Options o;
    o.honorific = static_cast<at::Honorific>(cmbHonorific->currentIndex());
    o.combineTwoDigits = chkCombine->isChecked();
    o.firstLabel = spnStart->value();
    o.senderTel = chkSenderTel->isChecked();
    o.labelMarginMm = dspMargin->value();
    if (cmbSender->currentData().isValid())
        o.sender = at::loadSender(cmbSender->currentData().toLongLong());
    return o;
}

namespace {

bool isLabels(int layout)
{
    return layout == TfrmAtena::Labels12 || layout == TfrmAtena::Labels24 || layout == TfrmAtena::LabelsUser;
}

} // namespace

int TfrmAtena::pageCountNow() const
{
    const int layout = cmbLayout->currentIndex();
    return at::pageCount(int(printed().size()), !isLabels(layout), sheet(), spnStart->value());
}

// One page of the job; a label sheet takes the recipients that fall on it.
at::Page TfrmAtena::pageAt(const QList<at::Recipient>& list, int index, const at::Options& o,
                           const at::MeasureFn& measure, QList<qint64>* tooSmall) const
{
    const int layout = cmbLayout->currentIndex();
    if (!isLabels(layout)) {
        const QList<at::Recipient> one = list.mid(index, 1);
        const QList<at::Page> p = layout == Nagagata3 ? at::nagagata3Pages(one, o, tooSmall)
            : layout == Kakugata2                     ? at::kakugata2Pages(one, o, measure, tooSmall)
                                                      : at::postcardPages(one, o, tooSmall);
        return p.value(0);
    }
    const at::LabelSheet s = sheet();
    const int per = std::max(1, s.perSheet());
    const int skipped = std::clamp(o.firstLabel, 1, per) - 1;
    const int from = index == 0 ? 0 : index * per - skipped;
    const int count = index == 0 ? per - skipped : per;
    at::Options here = o;
    if (index > 0)
        here.firstLabel = 1;
    const QList<at::Page> p = at::labelPages(list.mid(from, count), s, here, measure, tooSmall);
    return p.value(0);
}

QList<at::Page> TfrmAtena::pages(QList<qint64>* tooSmall)
{
    const QList<at::Recipient> list = printed();
    if (isLabels(cmbLayout->currentIndex()) && !sheet().isValid())
        throw tessolo::TessoloError(
            QStringLiteral("ラベルの寸法が用紙に収まりません。列・行・幅・高さ・間隔・余白を確かめてください。"));
    at::TAtenaRender render(cmbFont->currentFont().family());
    const at::MeasureFn measure = render.measure();
    const at::Options o = options();
    QList<at::Page> out;
    const int n = pageCountNow();
    for (int i = 0; i < n; ++i)
        out << pageAt(list, i, o, measure, tooSmall);
    return out;
}

void TfrmAtena::layoutChanged()
{
    const int layout = cmbLayout->currentIndex();
    const bool vertical = layout == Postcard || layout == Nagagata3;
    grpUser->setEnabled(layout == LabelsUser);
    spnStart->setEnabled(isLabels(layout));
    chkCombine->setEnabled(vertical);
    {
        const QSignalBlocker block(cmbFont);
        cmbFont->setCurrentFont(QFont(at::defaultFamily(vertical)));
    }
    refresh();
}

// The count and the first page, after every change; the choices are kept
// for the next run.
void TfrmAtena::refresh()
{
    const int layout = cmbLayout->currentIndex();
    const bool labels = isLabels(layout);
    const at::LabelSheet s = sheet();
    spnStart->setMaximum(std::max(1, s.perSheet()));
    if (layout == LabelsUser)
        saveUserSheet();
    saveChoices();

    const QList<at::Recipient> list = printed();
    const int count = pageCountNow();
    lblCount->setText(QStringLiteral("%1 件、%2 枚").arg(list.size()).arg(count));
    const bool ok = !labels || s.isValid();
    for (QPushButton* b : {btnPreview, btnPrint, btnPdf})
        b->setEnabled(count > 0 && ok);
    if (!ok) {
        lblPreview->setText(QStringLiteral("ラベルの寸法が用紙に収まりません"));
        return;
    }
    at::TAtenaRender render(cmbFont->currentFont().family());
    at::Page shown = count > 0 ? pageAt(list, 0, options(), render.measure(), nullptr) : at::Page{};
    if (count == 0) {
        shown.paper = layout == Nagagata3 ? QSizeF(120.0, 235.0)
            : layout == Kakugata2         ? at::kKakugata2
            : labels                      ? s.paper
                                          : at::kPostcard;
        if (labels) {
            for (int i = 0; i < s.perSheet(); ++i)
                shown.guides << s.labelRect(i);
        }
    }
    const QSize room = lblPreview->minimumSize();
    const double scale = std::min(room.width() / shown.paper.width(), room.height() / shown.paper.height());
    lblPreview->setPixmap(QPixmap::fromImage(render.image(shown, std::max(1.0, scale))));
}

// 差出人, layout, honorific, start label and the telephone choice, kept
// between runs.
void TfrmAtena::saveChoices() const
{
    if (m_loadingChoices)
        return;
    QSettings s = settings();
    s.beginGroup(kSettingsGroup);
    s.setValue(QStringLiteral("layout"), cmbLayout->currentIndex());
    s.setValue(QStringLiteral("honorific"), cmbHonorific->currentIndex());
    s.setValue(QStringLiteral("start"), spnStart->value());
    s.setValue(QStringLiteral("senderTel"), chkSenderTel->isChecked());
    s.setValue(QStringLiteral("margin"), dspMargin->value());
    if (cmbSender->count() > 0)
        s.setValue(QStringLiteral("sender"), cmbSender->currentData());
}

void TfrmAtena::loadChoices()
{
    m_loadingChoices = true;
    const auto done = qScopeGuard([this] { m_loadingChoices = false; });
    QSettings s = settings();
    s.beginGroup(kSettingsGroup);
    const QSignalBlocker b1(cmbLayout), b2(cmbHonorific), b3(spnStart), b4(chkSenderTel), b5(dspMargin);
    cmbLayout->setCurrentIndex(std::clamp(s.value(QStringLiteral("layout"), 0).toInt(), 0, cmbLayout->count() - 1));
    cmbHonorific->setCurrentIndex(
        std::clamp(s.value(QStringLiteral("honorific"), 0).toInt(), 0, cmbHonorific->count() - 1));
    spnStart->setMaximum(std::max(1, sheet().perSheet()));
    spnStart->setValue(s.value(QStringLiteral("start"), 1).toInt());
    chkSenderTel->setChecked(s.value(QStringLiteral("senderTel"), false).toBool());
    dspMargin->setValue(s.value(QStringLiteral("margin"), at::kDefaultLabelMarginMm).toDouble());
}

void TfrmAtena::loadUserSheet()
{
    QSettings settings(QStringLiteral("Tessolo"), QStringLiteral("Tessolo"));
    settings.beginGroup(QStringLiteral("atena/userLabel"));
    const at::LabelSheet d = at::LabelSheet::twelve();
    spnColumns->setValue(settings.value(QStringLiteral("columns"), d.columns).toInt());
    spnRows->setValue(settings.value(QStringLiteral("rows"), d.rows).toInt());
    dspWidth->setValue(settings.value(QStringLiteral("width"), d.label.width()).toDouble());
    dspHeight->setValue(settings.value(QStringLiteral("height"), d.label.height()).toDouble());
    dspPitchX->setValue(settings.value(QStringLiteral("pitchX"), d.pitchX).toDouble());
    dspPitchY->setValue(settings.value(QStringLiteral("pitchY"), d.pitchY).toDouble());
    dspTop->setValue(settings.value(QStringLiteral("top"), d.top).toDouble());
    dspLeft->setValue(settings.value(QStringLiteral("left"), d.left).toDouble());
}

void TfrmAtena::saveUserSheet() const
{
    QSettings settings(QStringLiteral("Tessolo"), QStringLiteral("Tessolo"));
    settings.beginGroup(QStringLiteral("atena/userLabel"));
    settings.setValue(QStringLiteral("columns"), spnColumns->value());
    settings.setValue(QStringLiteral("rows"), spnRows->value());
    settings.setValue(QStringLiteral("width"), dspWidth->value());
    settings.setValue(QStringLiteral("height"), dspHeight->value());
    settings.setValue(QStringLiteral("pitchX"), dspPitchX->value());
    settings.setValue(QStringLiteral("pitchY"), dspPitchY->value());
    settings.setValue(QStringLiteral("top"), dspTop->value());
    settings.setValue(QStringLiteral("left"), dspLeft->value());
}

// Names those whose text needed a type below the legible minimum; the user
// may still print them (set smaller, never cut) or go back.
bool TfrmAtena::confirmSmall(const QList<qint64>& tooSmall)
{
    if (tooSmall.isEmpty())
        return true;
    const QSet<qint64> small(tooSmall.begin(), tooSmall.end());
    QList<at::Recipient> named;
    for (const at::Recipient& r : m_recipients) {
        if (small.contains(r.rowid))
            named << r;
    }
    const QString text = QStringLiteral("次の %1 件は住所か名前が長く、読みやすい大きさでは収まりません。"
                                        "小さな文字で印刷します。\n\n%2\n\nこのまま続けますか？")
                             .arg(named.size())
                             .arg(namesOf(named));
    return ask(text);
}

bool TfrmAtena::ask(const QString& question)
{
    return QMessageBox::question(this, QStringLiteral("宛名印刷"), question) == QMessageBox::Yes;
}

// Recipients still listed as needing a look and not left out print only
// when the user says so.
bool TfrmAtena::confirmProblems()
{
    int left = 0;
    for (const at::Problem& p : m_problems) {
        if (!m_leftOut.contains(p.rowid))
            ++left;
    }
    if (left == 0)
        return true;
    return ask(QStringLiteral("確認が必要な宛先が %1 件あります（「確認が必要な宛先」の一覧）。\n"
                              "チェックを外した宛先は印刷しません。このまま印刷しますか？")
                   .arg(left));
}

QList<at::Recipient> TfrmAtena::checkedForPrinting()
{
    const QList<at::Recipient> list = printed();
    if (list.isEmpty() || !confirmProblems())
        throw tessolo::EAbort();
    if (isLabels(cmbLayout->currentIndex()) && !sheet().isValid())
        throw tessolo::TessoloError(
            QStringLiteral("ラベルの寸法が用紙に収まりません。列・行・幅・高さ・間隔・余白を確かめてください。"));
    // Every page laid out once to find the text set too small; pages are
    // not kept, so even 100,000 cards take little memory.
    QList<qint64> tooSmall;
    {
        tessolo::ui::TBusyProgress progress(this, QStringLiteral("宛名を確かめています…"));
        at::TAtenaRender render(cmbFont->currentFont().family());
        const at::MeasureFn measure = render.measure();
        const at::Options o = options();
        const int n = pageCountNow();
        for (int i = 0; i < n; ++i) {
            if (i % 64 == 0 && !progress.update(i, n))
                throw tessolo::EAbort();
            pageAt(list, i, o, measure, &tooSmall);
        }
    }
    if (!confirmSmall(tooSmall))
        throw tessolo::EAbort();
    return list;
}

// Paints the job page by page into `sink` (the PDF, the printer, the
// preview) with a progress dialog whose キャンセル stops it.
void TfrmAtena::paintJob(
    const std::function<void(int, const std::function<at::Page(int)>&, const std::function<bool(int, int)>&)>& sink,
    const QList<at::Recipient>& list, const QString& label)
{
    at::TAtenaRender measurer(cmbFont->currentFont().family());
    const at::MeasureFn measure = measurer.measure();
    const at::Options o = options();
    const int n = pageCountNow();
    tessolo::ui::TBusyProgress progress(this, label);
    sink(
        n, [&](int i) { return pageAt(list, i, o, measure, nullptr); },
        [&progress](int done, int total) { return done % 16 != 0 || progress.update(done, total); });
}

void TfrmAtena::btnPreviewClick()
{
    const QList<at::Recipient> list = checkedForPrinting();
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    at::TAtenaRender render(cmbFont->currentFont().family());
    QPrintPreviewDialog dialog(m_printer.get(), this);
    dialog.setWindowTitle(QStringLiteral("宛名印刷 - プレビュー"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&](QPrinter* printer) {
        // A cancel ends the painting: the preview shows the pages so far.
        tessolo::ui::runHandler([&] {
            paintJob(
                [&](int n, const auto& pageAt, const auto& progress) { render.print(printer, n, pageAt, progress); },
                list, QStringLiteral("プレビューを作っています…"));
        });
    });
    dialog.exec();
}

void TfrmAtena::btnPrintClick()
{
    const QList<at::Recipient> list = checkedForPrinting();
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setWindowTitle(QStringLiteral("印刷"));
    if (dialog.exec() != QDialog::Accepted)
        throw tessolo::EAbort();
    at::TAtenaRender render(cmbFont->currentFont().family());
    paintJob(
        [&](int n, const auto& pageAt, const auto& progress) { render.print(m_printer.get(), n, pageAt, progress); },
        list, QStringLiteral("印刷しています…"));
}

void TfrmAtena::btnPdfClick()
{
    const QList<at::Recipient> list = checkedForPrinting();
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("PDFに保存"), tessolo::ui::startFolder(),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (file.isEmpty())
        throw tessolo::EAbort();
    at::TAtenaRender render(cmbFont->currentFont().family());
    paintJob([&](int n, const auto& pageAt, const auto& progress) { render.writePdf(file, n, pageAt, progress); }, list,
             QStringLiteral("PDF を書き出しています…"));
}
