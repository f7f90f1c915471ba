#pragma once
// Dialog templates in dialog units, turned into Qt widgets the way Windows
// lays them out, so that the dialogs come out at the size their templates give.

#include <QFont>
#include <QRect>
#include <QSize>

#include <vector>

#include "ui/DialogTemplate.h"

class QWidget;

// Windows' MulDiv: number * numerator / denominator in 64 bits, rounded half
// away from zero; -1 for a zero denominator or a result beyond 32 bits.
int MulDiv(int number, int numerator, int denominator);

// The template's font. Debian has no "宋体" (SimSun); "AR PL UMing CN", which
// has the same metrics, stands in for it.
QFont DialogFont(const DialogTemplate& dialog);

// Horizontal base = (width of "A..Za..z" / 26 + 1) / 2, vertical base = the
// font's height, both in pixels.
QSize DialogBaseUnits(const QFont& font);

// x and widths: MulDiv(dlu, base.width(), 4); y and heights: MulDiv(dlu, base.height(), 8).
QRect DialogUnitsToPixels(const QRect& dialogUnits, QSize base);
QSize DialogUnitsToPixels(QSize dialogUnits, QSize base);

// The property that carries a control's template identifier.
inline constexpr const char* kControlIdProperty = "controlId";

// The control of `dialog` with this template identifier (the first, for
// IDC_STATIC); null when there is none.
QWidget* FindDlgItem(const QWidget* dialog, int id);

// Sizes `dialog` and creates its controls as children, in template order
// (which is the tab order), placed and sized in pixels. Push buttons are never
// "auto default": Enter anywhere presses the one BS_DEFPUSHBUTTON.
std::vector<QWidget*> CreateFromTemplate(QWidget* dialog, const DialogTemplate& tpl);
