#pragma once
// The program-wide references to the windows, created once at start-up
// in this order and living until the program ends. Windows reach each other
// only through these.

class TfrmMapbrows;
class TfrmAddress;
class TOKRightDlg2;
class TfrmOurcompany;
class TfrmCsvin;
class TfrmClntsrc;
class TAboutBox;
class TfrmAtena;

inline TfrmMapbrows* frmMapbrows = nullptr;
inline TfrmAddress* frmAddress = nullptr;
inline TOKRightDlg2* OKRightDlg2 = nullptr;
inline TfrmOurcompany* frmOurcompany = nullptr;
inline TfrmCsvin* frmCsvin = nullptr;
inline TfrmClntsrc* frmClntsrc = nullptr;
inline TAboutBox* AboutBox = nullptr;
inline TfrmAtena* frmAtena = nullptr;

namespace tessolo::app {

// Creates the seven windows in their order and fills the references above.
// The map window is created first, so the database exists before any other
// window is built. Defined by the program's start-up (app/windowset.cpp).
void createWindowSet();
// Frees them in reverse order and clears the references.
void destroyWindowSet();

} // namespace tessolo::app
