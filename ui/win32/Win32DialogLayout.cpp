// The dialog manager lays a dialog out from the metrics of its font at the
// monitor's DPI, which round differently at each size (a 9-point face is 13
// pixels high at 96 DPI but 25, not 26, at 192): the window would grow less
// than the scale and the layout would drift from the one the template draws.
// Here every size comes from the 96-DPI metrics times DPI/96 instead.

#include "ui/win32/Win32DialogLayout.h"

#include <algorithm>
#include <string>

#include "sys/Utf16.h"
#include "ui/DialogTemplate.h"

namespace wnd {

namespace {

// The font this code gave a dialog's controls, kept to be released.
const wchar_t kFontProperty[] = L"Tolvanex.DialogFont";

// Windows 10's per-monitor functions, looked up so that the program still
// starts where they do not exist.
template <class Function>
Function User32(const char* name)
{
    const FARPROC found = ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

HFONT DialogFont(const DialogTemplate& layout, UINT dpi)
{
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(layout.pointSize, static_cast<int>(dpi), 72);
    font.lfCharSet = DEFAULT_CHARSET;
    const std::u16string face = Utf8ToUtf16(layout.face);
    face.copy(reinterpret_cast<char16_t*>(font.lfFaceName), LF_FACESIZE - 1);
    return ::CreateFontIndirectW(&font);
}

// As the dialog manager measures a font: the average width of the 52 Latin
// letters, and the height.
SIZE BaseUnits(HFONT font)
{
    const HDC screen = ::GetDC(nullptr);
    const HGDIOBJ before = ::SelectObject(screen, font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(screen, &metrics);
    SIZE letters{};
    ::GetTextExtentPoint32W(screen, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
    ::SelectObject(screen, before);
    ::ReleaseDC(nullptr, screen);
    return SIZE{(letters.cx / 26 + 1) / 2, metrics.tmHeight};
}

RECT WorkArea(HMONITOR monitor)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(monitor, &info);
    return info.rcWork;
}

// Inside `work` where it fits; the top left corner wins where it does not.
void MoveInto(const RECT& work, int width, int height, int* x, int* y)
{
    *x = std::max(static_cast<int>(work.left), std::min(*x, static_cast<int>(work.right) - width));
    *y = std::max(static_cast<int>(work.top), std::min(*y, static_cast<int>(work.bottom) - height));
}

SIZE WindowSize(HWND dialog, SIZE client, UINT dpi)
{
    static const auto adjustForDpi =
        User32<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    RECT frame{0, 0, client.cx, client.cy};
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE));
    if (adjustForDpi == nullptr || !adjustForDpi(&frame, style, FALSE, exStyle, dpi))
        ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace

UINT WindowDpi(HWND window)
{
    static const auto getDpiForWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    }
    const HDC dc = ::GetDC(window);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(window, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void LayOutForDpi(HWND dialog, const DialogTemplate& layout, UINT dpi, const RECT* place)
{
    // Windows 10 would scale the dialog again on a DPI change, on its own.
    static const auto dialogBehavior = User32<BOOL(WINAPI*)(HWND, int, int)>("SetDialogDpiChangeBehavior");
    static const auto controlBehavior = User32<BOOL(WINAPI*)(HWND, int, int)>("SetDialogControlDpiChangeBehavior");
    constexpr int kDialogDisableAll = 7;   // DDC_DISABLE_ALL
    constexpr int kControlDisableAll = 3;  // DCDC_DISABLE_FONTUPDATE | DCDC_DISABLE_RELAYOUT
    if (dialogBehavior != nullptr)
        dialogBehavior(dialog, kDialogDisableAll, kDialogDisableAll);

    const HFONT font96 = DialogFont(layout, 96);
    const SIZE base = BaseUnits(font96);
    ::DeleteObject(font96);
    const auto scaled = [&](int units, LONG baseUnit, int perBase, UINT at) {
        return ::MulDiv(units * static_cast<int>(baseUnit), static_cast<int>(at), perBase * 96);
    };
    const auto clientAt = [&](UINT at) {
        return SIZE{scaled(layout.cx, base.cx, 4, at), scaled(layout.cy, base.cy, 8, at)};
    };

    // The frame follows the monitor's DPI; the contents shrink until the
    // window fits the work area.
    const RECT work = WorkArea(place != nullptr ? ::MonitorFromRect(place, MONITOR_DEFAULTTONEAREST)
                                                : ::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST));
    UINT at = dpi;
    SIZE outer = WindowSize(dialog, clientAt(at), dpi);
    while (at > 96 && (outer.cx > work.right - work.left || outer.cy > work.bottom - work.top))
        outer = WindowSize(dialog, clientAt(--at), dpi);

    const HFONT font = DialogFont(layout, at);
    std::size_t i = 0;
    for (HWND control = ::GetWindow(dialog, GW_CHILD); control != nullptr && i < layout.controls.size();
         control = ::GetWindow(control, GW_HWNDNEXT), ++i) {
        const ControlTemplate& c = layout.controls[i];
        // A classic template keeps 16-bit identifiers: IDC_STATIC comes back as 0xFFFF.
        if (static_cast<short>(::GetDlgCtrlID(control)) != c.id)
            break;  // not the template's window: leave the rest as the dialog manager made it
        if (controlBehavior != nullptr)
            controlBehavior(control, kControlDisableAll, kControlDisableAll);
        ::SetWindowPos(control, nullptr, scaled(c.x, base.cx, 4, at), scaled(c.y, base.cy, 8, at),
                       scaled(c.cx, base.cx, 4, at), scaled(c.cy, base.cy, 8, at), SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    ForgetLayout(dialog);
    ::SetPropW(dialog, kFontProperty, font);

    RECT now{};
    ::GetWindowRect(dialog, &now);
    int x = place != nullptr ? place->left : now.left;
    int y = place != nullptr ? place->top : now.top;
    if (place != nullptr)
        MoveInto(work, outer.cx, outer.cy, &x, &y);
    ::SetWindowPos(dialog, nullptr, x, y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CenterInWorkArea(HWND window)
{
    RECT self{};
    ::GetWindowRect(window, &self);
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    const HWND owner = ::GetWindow(window, GW_OWNER);
    const bool overOwner = owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner);
    const RECT work = WorkArea(::MonitorFromWindow(overOwner ? owner : window, MONITOR_DEFAULTTOPRIMARY));
    RECT area = work;
    if (overOwner)
        ::GetWindowRect(owner, &area);
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    MoveInto(work, width, height, &x, &y);
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ForgetLayout(HWND dialog)
{
    if (const HANDLE font = ::RemovePropW(dialog, kFontProperty))
        ::DeleteObject(font);
}

}  // namespace wnd
