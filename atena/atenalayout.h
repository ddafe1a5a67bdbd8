#pragma once
// Where every character of a postcard or a label sheet goes, in millimetres
// from the paper's top-left edge. The same pages feed the preview, the
// printer and the PDF; only the painting needs fonts, and the one thing a
// horizontal line needs of them (how wide a text is) is asked through a
// function, so this unit runs without a window.

#include "atena/atenatext.h"
#include "customer/memofields.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <functional>

namespace tessolo::atena {

struct Recipient {
    qint64 rowid = 0;
    QString postal;      // as cleaned for printing: seven digits when it is a code
    QString postalTyped; // as stored, to name in the check before printing
    QString prefecture, city, town, building;
    QString company, department, person;
    // From the memo: the groups, the joint given names printed beside the
    // person's (the first kMaxJoint), and the customer's own honorific.
    QStringList groups;
    QList<customer::memo::Joint> joint;
    QString honorific;

    bool hasAddress() const;
    QString address() const { return prefecture + city + town; }
    // The line the honorific follows: the person, or the company alone.
    QString nameLine() const;
    // The customer's own honorific, or else the window's choice.
    QString honorificWith(Honorific choice) const;
    QString displayName() const;
};

struct Sender {
    QString name, postal, address, building, tel;
    bool isEmpty() const { return name.isEmpty() && address.isEmpty(); }
};

// A sheet of labels, in millimetres.
struct LabelSheet {
    QSizeF paper{210.0, 297.0};
    int columns = 1;
    int rows = 1;
    QSizeF label{0, 0};
    double pitchX = 0;
    double pitchY = 0;
    double top = 0;
    double left = 0;

    int perSheet() const { return columns * rows; }
    QRectF labelRect(int index) const;
    bool isValid() const;

    // Labels side by side without gaps, on A4.
    static LabelSheet grid(int columns, int rows, QSizeF label, double left, double top);
    static LabelSheet twelve();     // 2 × 6 of 86.4 × 42.3, no gaps, centred
    static LabelSheet twentyFour(); // 3 × 8 of 70.0 × 33.9, no side margins
};

inline const QSizeF kPostcard{100.0, 148.0};
// Centres of the seven postal code boxes printed on a postcard.
QList<QPointF> postalBoxCentres();
inline const QSizeF kPostalBox{5.7, 8.0};

inline constexpr double kDefaultLabelMarginMm = 5.0;

struct Options {
    Honorific honorific = Honorific::Auto;
    bool combineTwoDigits = false; // 縦中横 for two-digit numbers
    Sender sender;
    int firstLabel = 1;     // 1-based, on the first sheet
    bool senderTel = false; // the sender's telephone under the sender
    // Blank kept between a label's edge and its text, where many printers
    // cannot print.
    double labelMarginMm = kDefaultLabelMarginMm;
};

// One thing to paint. Vertical cells are placed by their centre, horizontal
// lines by the left end of their baseline box's top; size is the em in mm.
struct Glyph {
    enum Kind { Upright, Rotated, Combined, Line };
    QString text;
    QPointF pos;
    double size = 0;
    Kind kind = Upright;
    bool sender = false; // set in the sender's smaller type
};

struct Page {
    QSizeF paper;
    QList<Glyph> glyphs;
    QList<QRectF> guides; // postal boxes, label edges: drawn in the preview only
};

// Width of `text` set at an em of 1 mm.
using MeasureFn = std::function<double(const QString& text)>;

// Legible minimum sizes: text that needs smaller is still set whole, and
// named by `tooSmall`.
inline constexpr double kMinVerticalMm = 3.2;
inline constexpr double kMinNameMm = 5.0;
inline constexpr double kMinLabelMm = 2.1;

// Recipients on postcards, one a page. `tooSmall` collects those set below
// the legible minimum (its rowids, once each).
QList<Page> postcardPages(const QList<Recipient>& recipients, const Options& options, QList<qint64>* tooSmall);

// Where a label's text may go: inside its padding and at least `marginMm`
// from the paper's edge.
QRectF textBox(const LabelSheet& sheet, int index, double marginMm);

// Envelopes, one recipient a page: 長形3号 (120 × 235) written vertically
// with the postal boxes where the envelope has them, and 角形2号 (240 × 332)
// written across.
inline const QSizeF kKakugata2{240.0, 332.0};
QList<Page> nagagata3Pages(const QList<Recipient>& recipients, const Options& options, QList<qint64>* tooSmall);
QList<Page> kakugata2Pages(const QList<Recipient>& recipients, const Options& options, const MeasureFn& measure,
                           QList<qint64>* tooSmall);

// Recipients on label sheets, from label `options.firstLabel` of the first.
QList<Page> labelPages(const QList<Recipient>& recipients, const LabelSheet& sheet, const Options& options,
                       const MeasureFn& measure, QList<qint64>* tooSmall);

// How many pages, without laying them out.
int pageCount(int recipients, bool postcards, const LabelSheet& sheet, int firstLabel);

} // namespace tessolo::atena
