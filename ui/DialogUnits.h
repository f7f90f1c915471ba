#pragma once
// Dialog templates in dialog units, converted to pixels the way Windows does
// it, so that the dialogs come out at the size their templates give.
//
// For the app shell (About box) as well as the main dialog:
//   QFont font = DialogFont();            // "宋体" 9 pt, mapped to a face we ship
//   dialog->setFont(font);
//   QSize base = DialogBaseUnits(font);   // 6 x 12 with the mapped face
//   dialog->setFixedSize(DialogUnitsToPixels(QSize(235, 55), base));
//   auto widgets = CreateControls(dialog, kMyTable, base);

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

#include <span>
#include <vector>

class QWidget;

// Windows' MulDiv: number * numerator / denominator in 64 bits, rounded half
// away from zero; -1 for a zero denominator or a result beyond 32 bits.
int MulDiv(int number, int numerator, int denominator);

// The dialog font: "宋体" (SimSun) at 9 points. Debian has no SimSun; the face
// is substituted by "AR PL UMing CN", which has the same metrics.
QFont DialogFont();

// Horizontal base = (width of "A..Za..z" / 26 + 1) / 2, vertical base = the
// font's height, both in pixels.
QSize DialogBaseUnits(const QFont& font);

// x and widths: MulDiv(dlu, base.width(), 4); y and heights: MulDiv(dlu, base.height(), 8).
QRect DialogUnitsToPixels(const QRect& dialogUnits, QSize base);
QSize DialogUnitsToPixels(QSize dialogUnits, QSize base);

enum class ControlKind {
    PushButton,     // BS_PUSHBUTTON
    DefPushButton,  // BS_DEFPUSHBUTTON: the dialog's default button
    Static,         // SS_LEFT
    SunkenStatic,   // SS_LEFT | SS_SUNKEN
    Edit,           // ES_LEFT | ES_AUTOHSCROLL with a border
    Progress,       // a progress bar with a border and no text
    Icon,           // SS_ICON: a label; the caller puts the pixmap in
};

// One line of a dialog template. Texts are UTF-8.
struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;  // dialog units
};

// The property that carries a control's template identifier.
inline constexpr const char* kControlIdProperty = "controlId";

// The control of `dialog` with this template identifier (the first, for
// IDC_STATIC); null when there is none.
QWidget* FindDlgItem(const QWidget* dialog, int id);

// Creates the controls as children of `dialog`, in table order (which is the
// tab order), placed and sized in pixels. Push buttons are never "auto
// default": Enter anywhere presses the one DefPushButton.
std::vector<QWidget*> CreateControls(QWidget* dialog, std::span<const ControlTemplate> controls, QSize base);
