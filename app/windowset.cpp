#include "ui/windowset.h"

#include "app/aboutbox.h"
#include "app/frmmapbrows.h"
#include "ui/errordisplay.h"
#include "ui/okrightdlg2.h"

#include "atena/frmatena.h"
#include "company/frmourcompany.h"
#include "csvimport/frmcsvin.h"
#include "picker/frmclntsrc.h"
#include "roster/frmaddress.h"

namespace tessolo::app {

void createWindowSet()
{
    frmMapbrows = new TfrmMapbrows;
    frmAddress = new TfrmAddress;
    OKRightDlg2 = new TOKRightDlg2;
    frmOurcompany = new TfrmOurcompany;
    frmCsvin = new TfrmCsvin;
    frmClntsrc = new TfrmClntsrc;
    AboutBox = new TAboutBox;
    frmAtena = new TfrmAtena;
    // 名簿で開く in a map popup brings the roster up on that customer.
    QObject::connect(frmMapbrows, &TfrmMapbrows::customerOpenRequested, frmAddress,
                     [](qint64 rowid) { tessolo::ui::runHandler([rowid] { frmAddress->showCustomer(rowid); }); });
    // The roster's "地図に表示" marks its chosen customers on the map.
    QObject::connect(frmAddress, &TfrmAddress::showOnMap, frmMapbrows, &TfrmMapbrows::showCustomers);
}

namespace {
template <class T> void destroy(T*& w)
{
    delete w;
    w = nullptr;
}
} // namespace

void destroyWindowSet()
{
    destroy(frmAtena);
    destroy(AboutBox);
    destroy(frmClntsrc);
    destroy(frmCsvin);
    destroy(frmOurcompany);
    destroy(OKRightDlg2);
    destroy(frmAddress);
    destroy(frmMapbrows);
}

} // namespace tessolo::app
