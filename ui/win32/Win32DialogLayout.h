#pragma once
// The dialogs at the DPI of their monitor, inside its work area.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

struct DialogTemplate;

namespace wnd {

// Lays the dialog and its controls out for `dpi` (the monitor's): a dialog
// unit is the template font's base unit at 96 DPI times dpi/96, so the window
// grows in proportion, and the controls get the font at that size; a text
// that would not fit its control in that font gets room. A window that would
// not fit the work area is laid out in a smaller font, below the 96-DPI size
// too, until it fits.
// `place`, when given, is where the window should go (WM_DPICHANGED's
// suggestion); it is then moved into the work area.
void LayOutForDpi(HWND dialog, const DialogTemplate& layout, UINT dpi, const RECT* place);

// The DPI of the window's monitor as the window sees it (96 for a program
// that is not DPI aware, and on Windows before 10).
UINT WindowDpi(HWND window);

// Centres the window over its owner, or in its monitor's work area when it
// has none, and moves it into that work area where centring put it past an
// edge (the top left corner, with the caption, first).
void CenterInWorkArea(HWND window);

// Releases the font LayOutForDpi made for the dialog.
void ForgetLayout(HWND dialog);

}  // namespace wnd
