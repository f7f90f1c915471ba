// The dialog manager lays a dialog out from the metrics of its font at the
// monitor's DPI, which round differently at each size (a 9-point face is 13
// pixels high at 96 DPI but 25, not 26, at 192): the window would grow less
// than the scale and the layout would drift from the one the template draws.
// Here a dialog unit is the 96-DPI base unit times DPI/96 instead, widened
// where the font the controls really get at that size needs more room (a
// substitute face is not metrically the template's), and the font is made
// smaller, measured anew at each size, until the window fits the work area.

#include "ui/win32/Win32DialogLayout.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

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

// Pixels per dialog unit, across and down.
struct Scale {
    double x, y;
};

int Pixels(int units, double perUnit)
{
    return static_cast<int>(std::lround(units * perUnit));
}

// The dialog's children that the template made, in its order; a window that
// is not the template's ends the list, and is left as the dialog manager made it.
std::vector<HWND> TemplateControls(HWND dialog, const DialogTemplate& layout)
{
    std::vector<HWND> controls;
    for (HWND control = ::GetWindow(dialog, GW_CHILD); control != nullptr && controls.size() < layout.controls.size();
         control = ::GetWindow(control, GW_HWNDNEXT)) {
        // A classic template keeps 16-bit identifiers: IDC_STATIC comes back as 0xFFFF.
        if (static_cast<short>(::GetDlgCtrlID(control)) != layout.controls[controls.size()].id)
            break;
        controls.push_back(control);
    }
    return controls;
}

bool IsLabel(const ControlTemplate& c)
{
    return std::string_view(c.windowClass) == "static" && (c.style & ws::kSsTypeMask) != ws::kSsIcon;
}

// The room each control's text takes in `font`, its border (and a button's
// edge and focus rectangle) included; none for one without text or whose
// text a user types and scrolls.
std::vector<SIZE> TextRoom(const DialogTemplate& layout, const std::vector<HWND>& controls, HFONT font)
{
    std::vector<SIZE> room(controls.size(), SIZE{0, 0});
    const HDC screen = ::GetDC(nullptr);
    const HGDIOBJ before = ::SelectObject(screen, font);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlTemplate& c = layout.controls[i];
        const bool button = std::string_view(c.windowClass) == "button";
        wchar_t text[256] = {};
        const int length = ::GetWindowTextW(controls[i], text, 256);
        if ((!button && !IsLabel(c)) || length == 0)
            continue;
        SIZE extent{};
        ::GetTextExtentPoint32W(screen, text, length, &extent);
        RECT outside{}, inside{};
        ::GetWindowRect(controls[i], &outside);
        ::GetClientRect(controls[i], &inside);
        const int margin = button ? 8 : 0;
        room[i] = SIZE{extent.cx + outside.right - outside.left - inside.right + margin,
                       extent.cy + outside.bottom - outside.top - inside.bottom};
    }
    ::SelectObject(screen, before);
    ::ReleaseDC(nullptr, screen);
    return room;
}

// Where the controls go, in the dialog's client area.
struct Placement {
    SIZE client;
    std::vector<RECT> boxes;
};

bool OverlapsAnother(const std::vector<RECT>& boxes, std::size_t self, const RECT& box)
{
    for (std::size_t j = 0; j < boxes.size(); ++j) {
        RECT common{};
        if (j != self && ::IntersectRect(&common, &boxes[j], &box))
            return true;
    }
    return false;
}

// The 96-DPI base units times at/96. A control whose text, in the font it
// gets, needs more room: a label grows right or down where nothing is in the
// way; otherwise every dialog unit grows until that text fits.
Placement Place(const DialogTemplate& layout, const std::vector<SIZE>& room, SIZE base, UINT at)
{
    Scale scale{base.cx * static_cast<double>(at) / (4 * 96), base.cy * static_cast<double>(at) / (8 * 96)};
    Placement p{};
    for (bool grown = true; grown;) {  // ends: a grown unit holds the text that grew it
        grown = false;
        p.client = SIZE{Pixels(layout.cx, scale.x), Pixels(layout.cy, scale.y)};
        p.boxes.clear();
        for (std::size_t i = 0; i < room.size(); ++i) {
            const ControlTemplate& c = layout.controls[i];
            const int x = Pixels(c.x, scale.x), y = Pixels(c.y, scale.y);
            p.boxes.push_back(RECT{x, y, x + Pixels(c.cx, scale.x), y + Pixels(c.cy, scale.y)});
        }
        for (std::size_t i = 0; i < room.size() && !grown; ++i) {
            const ControlTemplate& c = layout.controls[i];
            RECT wanted = p.boxes[i];
            wanted.right = std::max(wanted.right, wanted.left + room[i].cx);
            wanted.bottom = std::max(wanted.bottom, wanted.top + room[i].cy);
            if (::EqualRect(&wanted, &p.boxes[i]))
                continue;
            if (IsLabel(c) && wanted.right <= p.client.cx && wanted.bottom <= p.client.cy &&
                !OverlapsAnother(p.boxes, i, wanted)) {
                p.boxes[i] = wanted;
                continue;
            }
            scale.x = std::max(scale.x, static_cast<double>(room[i].cx) / std::max(c.cx, 1));
            scale.y = std::max(scale.y, static_cast<double>(room[i].cy) / std::max(c.cy, 1));
            grown = true;
        }
    }
    return p;
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

    const std::vector<HWND> controls = TemplateControls(dialog, layout);
    for (HWND control : controls) {
        if (controlBehavior != nullptr)
            controlBehavior(control, kControlDisableAll, kControlDisableAll);
    }
    const HFONT font96 = DialogFont(layout, 96);
    const SIZE base = BaseUnits(font96);
    ::DeleteObject(font96);

    // The frame follows the monitor's DPI; below the size that does not fit
    // the work area, the font is made smaller, with no floor but legibility.
    const RECT work = WorkArea(place != nullptr ? ::MonitorFromRect(place, MONITOR_DEFAULTTONEAREST)
                                                : ::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST));
    constexpr UINT kSmallest = 48;  // a 9-point face at 6 pixels
    UINT at = dpi;
    HFONT font = nullptr;
    Placement placed{};
    SIZE outer{};
    for (;;) {
        font = DialogFont(layout, at);
        placed = Place(layout, TextRoom(layout, controls, font), base, at);
        outer = WindowSize(dialog, placed.client, dpi);
        const bool fits = outer.cx <= work.right - work.left && outer.cy <= work.bottom - work.top;
        if (fits || at <= kSmallest)
            break;
        ::DeleteObject(font);
        --at;
    }

    for (std::size_t i = 0; i < controls.size(); ++i) {
        const RECT& box = placed.boxes[i];
        ::SetWindowPos(controls[i], nullptr, box.left, box.top, box.right - box.left, box.bottom - box.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
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
