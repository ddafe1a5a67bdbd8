#include "ui/shippedpostaloffer.h"

#include "postal/shippedpostal.h"
#include "ui/postalupdatedialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace tessolo::ui {

namespace {

const QString kAskKey = QStringLiteral("postal/offerShippedList");

struct OfferState {
    ShippedPostalOffer offer;
    bool enabled = false;
    bool asked = false;
};

OfferState& state()
{
    static OfferState s;
    return s;
}

} // namespace

void enableShippedPostalOffer(const ShippedPostalOffer& offer) { state() = OfferState{offer, true, false}; }

QString shippedPostalQuestion(int year, int month)
{
    return QStringLiteral("郵便番号データが登録されていません。同梱のデータ（%1年%2月）を読み込みますか？")
        .arg(year)
        .arg(month);
}

bool offerShippedPostalList(QWidget* parent)
{
    OfferState& s = state();
    if (!s.enabled || s.asked)
        return false;
    s.asked = true;
    QSettings settings(s.offer.settingsFile, QSettings::IniFormat);
    if (!settings.value(kAskKey, true).toBool())
        return false;
    const auto list = shippedpostal::find(s.offer.folder);
    if (!list || !shippedpostal::postalTableIsEmpty())
        return false;

    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(),
                    shippedPostalQuestion(list->year, list->month), QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("ShippedPostalOffer"));
    QPushButton* load = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
    box.setDefaultButton(load);
    auto* never = new QCheckBox(QStringLiteral("今後表示しない"), &box);
    box.setCheckBox(never);
    box.exec();
    if (never->isChecked()) {
        settings.setValue(kAskKey, false);
        settings.sync();
    }
    if (box.clickedButton() != load)
        return false;
    return runPostalUpdateFile(parent, list->file);
}

} // namespace tessolo::ui
