#include "atena/frmatena.h"

#include "atena/atenadata.h"
#include "atena/atenarender.h"
#include "data/errors.h"
#include "ui/errordisplay.h"
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
#include <QLabel>
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
        names << list.at(i).displayName();
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
    wire();
    layoutChanged();
}

TfrmAtena::~TfrmAtena() = default;

void TfrmAtena::buildControls()
{
    cmbLayout = new QComboBox(this);
    cmbLayout->setObjectName(QStringLiteral("cmbLayout"));
    cmbLayout->addItems({QStringLiteral("はがき（縦書き）"), QStringLiteral("ラベル 12面"), QStringLiteral("ラベル 24面"),
                         QStringLiteral("ラベル（ユーザー設定）")});
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

    lblMissing = new QLabel(this);
    lblMissing->setObjectName(QStringLiteral("lblMissing"));
    lblMissing->setWordWrap(true);
    chkKeepMissing = new QCheckBox(QStringLiteral("住所のない顧客も印刷する"), this);
    chkKeepMissing->setObjectName(QStringLiteral("chkKeepMissing"));
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
    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(grpUser);
    left->addWidget(lblMissing);
    left->addWidget(chkKeepMissing);
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
    auto* user = new QGridLayout(grpUser);
    const std::pair<QString, QWidget*> cells[] = {
        {QStringLiteral("列"), spnColumns},          {QStringLiteral("行"), spnRows},
        {QStringLiteral("幅"), dspWidth},            {QStringLiteral("高さ"), dspHeight},
        {QStringLiteral("横の間隔（ピッチ）"), dspPitchX}, {QStringLiteral("縦の間隔（ピッチ）"), dspPitchY},
        {QStringLiteral("上余白"), dspTop},          {QStringLiteral("左余白"), dspLeft}};
    for (int i = 0; i < 8; ++i) {
        user->addWidget(new QLabel(cells[i].first, grpUser), i / 2, (i % 2) * 2);
        user->addWidget(cells[i].second, i / 2, (i % 2) * 2 + 1);
    }
}

void TfrmAtena::wire()
{
    connect(cmbLayout, &QComboBox::currentIndexChanged, this, guarded([this] { layoutChanged(); }));
    for (QComboBox* c : {cmbHonorific, cmbSender})
        connect(c, &QComboBox::currentIndexChanged, this, guarded([this] { refresh(); }));
    connect(cmbFont, &QFontComboBox::currentFontChanged, this, guarded([this] { refresh(); }));
    for (QSpinBox* s : {spnStart, spnColumns, spnRows})
        connect(s, &QSpinBox::valueChanged, this, guarded([this] { refresh(); }));
    for (QDoubleSpinBox* s : {dspWidth, dspHeight, dspPitchX, dspPitchY, dspTop, dspLeft})
        connect(s, &QDoubleSpinBox::valueChanged, this, guarded([this] { refresh(); }));
    for (QCheckBox* c : {chkCombine, chkKeepMissing})
        connect(c, &QCheckBox::toggled, this, guarded([this] { refresh(); }));
    connect(btnPreview, &QPushButton::clicked, this, guarded([this] { btnPreviewClick(); }));
    connect(btnPrint, &QPushButton::clicked, this, guarded([this] { btnPrintClick(); }));
    connect(btnPdf, &QPushButton::clicked, this, guarded([this] { btnPdfClick(); }));
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmAtena::setCustomers(const QList<qint64>& rowids)
{
    m_rowids = rowids;
    m_recipients = at::loadRecipients(rowids);
    loadSenders();
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
    const QVariant chosen = cmbSender->currentData();
    const QSignalBlocker block(cmbSender);
    cmbSender->clear();
    cmbSender->addItem(QStringLiteral("なし"), QVariant());
    for (const at::SenderChoice& s : at::senderChoices())
        cmbSender->addItem(s.name.isEmpty() ? QStringLiteral("（名称なし）") : s.name, s.rowid);
    const int again = cmbSender->findData(chosen);
    cmbSender->setCurrentIndex(again < 0 ? 0 : again);
}

QList<at::Recipient> TfrmAtena::printed() const
{
    QList<at::Recipient> out;
    for (const at::Recipient& r : m_recipients) {
        if (r.hasAddress() || chkKeepMissing->isChecked())
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
    if (cmbSender->currentData().isValid())
        o.sender = at::loadSender(cmbSender->currentData().toLongLong());
    return o;
}

QList<at::Page> TfrmAtena::pages(QList<qint64>* tooSmall)
{
    const QList<at::Recipient> list = printed();
    if (cmbLayout->currentIndex() == Postcard)
        return at::postcardPages(list, options(), tooSmall);
    const at::LabelSheet s = sheet();
    if (!s.isValid())
        throw tessolo::TessoloError(QStringLiteral("ラベルの寸法が用紙に収まりません。列・行・幅・高さ・間隔・余白を確かめてください。"));
    at::TAtenaRender render(cmbFont->currentFont().family());
    return at::labelPages(list, s, options(), render.measure(), tooSmall);
}

void TfrmAtena::layoutChanged()
{
    const bool postcard = cmbLayout->currentIndex() == Postcard;
    grpUser->setEnabled(cmbLayout->currentIndex() == LabelsUser);
    spnStart->setEnabled(!postcard);
    chkCombine->setEnabled(postcard);
    {
        const QSignalBlocker block(cmbFont);
        cmbFont->setCurrentFont(QFont(at::defaultFamily(postcard)));
    }
    refresh();
}

// The count, the customers left out and the first page, after every change.
void TfrmAtena::refresh()
{
    const bool postcard = cmbLayout->currentIndex() == Postcard;
    const at::LabelSheet s = sheet();
    spnStart->setMaximum(std::max(1, s.perSheet()));
    if (cmbLayout->currentIndex() == LabelsUser)
        saveUserSheet();

    QList<at::Recipient> missing;
    for (const at::Recipient& r : m_recipients) {
        if (!r.hasAddress())
            missing << r;
    }
    lblMissing->setVisible(!missing.isEmpty());
    chkKeepMissing->setVisible(!missing.isEmpty());
    lblMissing->setText(QStringLiteral("住所のない顧客 %1 件: %2").arg(missing.size()).arg(namesOf(missing)));

    const QList<at::Recipient> list = printed();
    const int count = at::pageCount(int(list.size()), postcard, s, spnStart->value());
    lblCount->setText(QStringLiteral("%1 件、%2 枚").arg(list.size()).arg(count));
    const bool ok = postcard || s.isValid();
    for (QPushButton* b : {btnPreview, btnPrint, btnPdf})
        b->setEnabled(count > 0 && ok);
    if (!ok) {
        lblPreview->setText(QStringLiteral("ラベルの寸法が用紙に収まりません"));
        return;
    }
    const qsizetype first = postcard ? 1 : s.perSheet() - spnStart->value() + 1;
    at::Options o = options();
    at::TAtenaRender render(cmbFont->currentFont().family());
    const QList<at::Page> page = postcard ? at::postcardPages(list.mid(0, first), o, nullptr)
                                          : at::labelPages(list.mid(0, first), s, o, render.measure(), nullptr);
    at::Page shown = page.isEmpty() ? at::Page{postcard ? at::kPostcard : s.paper, {}, {}} : page.first();
    if (page.isEmpty() && !postcard) {
        for (int i = 0; i < s.perSheet(); ++i)
            shown.guides << s.labelRect(i);
    }
    const QSize room = lblPreview->minimumSize();
    const double scale = std::min(room.width() / shown.paper.width(), room.height() / shown.paper.height());
    lblPreview->setPixmap(QPixmap::fromImage(render.image(shown, std::max(1.0, scale))));
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
    QList<at::Recipient> named;
    for (const at::Recipient& r : m_recipients) {
        if (tooSmall.contains(r.rowid))
            named << r;
    }
    const QString text = QStringLiteral("次の %1 件は住所か名前が長く、読みやすい大きさでは収まりません。"
                                        "小さな文字で印刷します。\n\n%2\n\nこのまま続けますか？")
                             .arg(named.size())
                             .arg(namesOf(named));
    return QMessageBox::question(this, QStringLiteral("宛名印刷"), text) == QMessageBox::Yes;
}

QList<at::Page> TfrmAtena::pagesToPrint()
{
    QList<qint64> tooSmall;
    QList<at::Page> out = pages(&tooSmall);
    if (out.isEmpty() || !confirmSmall(tooSmall))
        throw tessolo::EAbort();
    return out;
}

void TfrmAtena::btnPreviewClick()
{
    const QList<at::Page> list = pagesToPrint();
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    at::TAtenaRender render(cmbFont->currentFont().family());
    QPrintPreviewDialog dialog(m_printer.get(), this);
    dialog.setWindowTitle(QStringLiteral("宛名印刷 - プレビュー"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [&render, &list](QPrinter* printer) {
        tessolo::ui::runHandler([&] { render.print(printer, list); });
    });
    dialog.exec();
}

void TfrmAtena::btnPrintClick()
{
    const QList<at::Page> list = pagesToPrint();
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setWindowTitle(QStringLiteral("印刷"));
    if (dialog.exec() != QDialog::Accepted)
        throw tessolo::EAbort();
    at::TAtenaRender(cmbFont->currentFont().family()).print(m_printer.get(), list);
}

void TfrmAtena::btnPdfClick()
{
    const QList<at::Page> list = pagesToPrint();
    const QString file = m_pdfChooser ? m_pdfChooser()
                                      : QFileDialog::getSaveFileName(this, QStringLiteral("PDFに保存"), tessolo::ui::startFolder(),
                                                                     QStringLiteral("PDF (*.pdf)"));
    if (file.isEmpty())
        throw tessolo::EAbort();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    at::TAtenaRender(cmbFont->currentFont().family()).writePdf(file, list);
}
