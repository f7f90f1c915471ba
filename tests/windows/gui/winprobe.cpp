// Looks at the updater window from another process, the way a test needs
// to, while xdotool plays the user. One line per observation on stdout.
//
//   winprobe wait [SECONDS]      waits for the dialog: where it is on the screen
//   winprobe size EXE            the dialog's class, its client size, its
//                                monitor's work area, and what MapDialogRect
//                                makes of its template (395 x 99) here
//   winprobe box [SECONDS]       waits for a message box owned by the dialog:
//                                its caption, texts, buttons and edit boxes, and
//                                the controls' state then
//   winprobe watch [SECONDS]     samples the controls and the bar every few ms
//                                until a box appears (SECONDS after the bar's
//                                last move at most): were the controls locked
//                                while the bar moved, and how far did it go
//   winprobe busy [SECONDS]      waits until an update has locked the controls
//                                or a box is up
//   winprobe state               the dialog's controls and the keyboard focus now
//   winprobe close               asks the dialog to close, as its close box does
//   winprobe menu ID             chooses the item ID of the dialog's system menu
//   winprobe gone [SECONDS]      waits until the dialog has gone
//   winprobe about [SECONDS]     waits for the About box: caption and texts
//
// Windows and buttons are given with their place on the screen (x y w h, or
// the centre x y), so that xdotool can click them.
// Exit status 0 when what was waited for came, 1 otherwise.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sys/Utf16.h"
#include "tests/support/Stall.h"

namespace {

const wchar_t kCaption[] = L"Tolvanex Updater para SWITCH Controllers v1.0";

std::string Utf8(const std::wstring& text)
{
    return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

std::wstring TextOf(HWND window)
{
    // WM_GETTEXT crosses processes; GetWindowText would not ask the control.
    wchar_t text[512] = {};
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

HWND Dialog()
{
    return FindWindowW(L"#32770", kCaption);
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

struct Controls {
    int count = 0;
    int enabled = 0;
    int barPos = -1, barLow = 0, barHigh = 0;
};

Controls Sample(HWND dialog)
{
    Controls c;
    for (HWND child : Children(dialog)) {
        ++c.count;
        c.enabled += IsWindowEnabled(child) ? 1 : 0;
        if (GetDlgCtrlID(child) == 1002) {  // IDC_PROGRESS
            // No PBRANGE: a pointer would not cross to the other process.
            c.barPos = static_cast<int>(SendMessageW(child, PBM_GETPOS, 0, 0));
            c.barLow = static_cast<int>(SendMessageW(child, PBM_GETRANGE, TRUE, 0));
            c.barHigh = static_cast<int>(SendMessageW(child, PBM_GETRANGE, FALSE, 0));
        }
    }
    return c;
}

void PrintPlace(const char* what, HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    std::printf("%s %ld %ld %ld %ld\n", what, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// "x y" of the window's centre on the screen.
std::string Centre(HWND window)
{
    RECT r{};
    GetWindowRect(window, &r);
    return std::to_string((r.left + r.right) / 2) + " " + std::to_string((r.top + r.bottom) / 2);
}

void PrintState(const char* prefix, HWND dialog)
{
    const Controls c = Sample(dialog);
    std::printf("%s_CONTROLS %d ENABLED %d BAR %d RANGE %d %d\n", prefix, c.count, c.enabled, c.barPos, c.barLow,
                c.barHigh);
    // The keyboard focus of the dialog's thread: the control's ID, 0 for none.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    const bool known = GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) && gui.hwndFocus;
    std::printf("%s_FOCUS %d\n", prefix, known ? GetDlgCtrlID(gui.hwndFocus) : 0);
    for (HWND child : Children(dialog))
        std::printf("%s_CONTROL %d %s %s\n", prefix, GetDlgCtrlID(child), Centre(child).c_str(),
                    Utf8(TextOf(child)).c_str());
}

// A top-level dialog window of another caption, owned by the updater dialog.
HWND OwnedBox(HWND dialog, const wchar_t* caption = nullptr)
{
    struct Search {
        HWND dialog;
        const wchar_t* caption;
        HWND found;
    } search{dialog, caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) {
            auto* s = reinterpret_cast<Search*>(param);
            if (window != s->dialog && GetWindow(window, GW_OWNER) == s->dialog && IsWindowVisible(window) &&
                ClassOf(window) == L"#32770" && (!s->caption || TextOf(window) == s->caption)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits for ready() while progress() keeps changing, and `seconds` more; the
// caller tells what a wait that ends without it means.
template <class Ready, class Progress = int (*)()>
bool WaitFor(double seconds, Ready ready, Progress progress = [] { return 0; })
{
    return stall::Until(
        nullptr, ready, progress, [] { Sleep(10); },
        std::chrono::milliseconds(static_cast<long long>(seconds * 1000)));
}

void PrintBox(HWND box)
{
    std::printf("BOX_CAPTION %s\n", Utf8(TextOf(box)).c_str());
    PrintPlace("BOX_WINDOW", box);
    for (HWND child : Children(box)) {
        const std::wstring cls = ClassOf(child);
        const std::wstring text = TextOf(child);
        if (_wcsicmp(cls.c_str(), L"Static") == 0 && !text.empty() && text[0] != 0xFFFF)  // not an icon
            std::printf("BOX_TEXT %s\n", Utf8(text).c_str());
        else if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(child))
            std::printf("BOX_BUTTON %s %s\n", Centre(child).c_str(), Utf8(text).c_str());
        else if (_wcsicmp(cls.c_str(), L"Edit") == 0 && IsWindowVisible(child))
            std::printf("BOX_EDIT %s\n", Utf8(text).c_str());
    }
}

int Size(const char* exe)
{
    HWND dialog = Dialog();
    if (!dialog)
        return 1;
    RECT client{};
    GetClientRect(dialog, &client);
    std::printf("CLASS %s\nCLIENT %ld %ld\n", Utf8(ClassOf(dialog)).c_str(), client.right, client.bottom);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    std::printf("WORKAREA %ld %ld %ld %ld\n", work.left, work.top, work.right, work.bottom);

    // The same template in this process, without WS_VISIBLE, measured by the
    // dialog manager itself.
    const std::wstring path = [&] {
        const std::u16string wide = Utf8ToUtf16(exe);
        return std::wstring(wide.begin(), wide.end());
    }();
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(102), MAKEINTRESOURCEW(5)) : nullptr;
    if (!found)
        return 1;
    const DWORD size = SizeofResource(module, found);
    std::vector<BYTE> copy(size);
    std::memcpy(copy.data(), LockResource(LoadResource(module, found)), size);
    DWORD style = 0;
    std::memcpy(&style, copy.data() + 12, sizeof style);  // DLGTEMPLATEEX: after version, signature, help id, exStyle
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    std::memcpy(copy.data() + 12, &style, sizeof style);
    HWND twin = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                           reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), nullptr,
                                           [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    if (!twin)
        return 1;
    RECT units{0, 0, 395, 99};
    MapDialogRect(twin, &units);
    RECT four{0, 0, 4, 8};
    MapDialogRect(twin, &four);
    std::printf("MAPPED %ld %ld\nBASE %ld %ld\n", units.right, units.bottom, four.right, four.bottom);
    DestroyWindow(twin);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    const std::string command = argc > 1 ? argv[1] : "";
    const double seconds = argc > 2 ? std::atof(argv[2]) : 20.0;
    int status = 1;

    if (command == "wait") {
        if (WaitFor(seconds, [] { return Dialog() != nullptr && IsWindowVisible(Dialog()); })) {
            PrintPlace("WINDOW", Dialog());
            status = 0;
        }
    } else if (command == "size" && argc > 2) {
        status = Size(argv[2]);
    } else if (command == "box") {
        HWND box = nullptr;
        if (WaitFor(seconds, [&] { return Dialog() && (box = OwnedBox(Dialog())) != nullptr; })) {
            PrintBox(box);
            PrintState("AT_BOX", Dialog());
            status = 0;
        }
    } else if (command == "watch") {
        HWND dialog = Dialog();
        // The bar's highest value short of full: the download sets 10000 when it
        // ends, whatever the outcome, and a last tick may copy it.
        int samples = 0, movingSamples = 0, movingLocked = 0, barMax = -1;
        int last = -1;
        std::printf("WATCHING\n");  // the caller may start the update now
        std::fflush(stdout);
        const bool boxCame = dialog && WaitFor(seconds, [&] {
            if (OwnedBox(dialog))
                return true;
            const Controls c = Sample(dialog);
            ++samples;
            if (last >= 0 && c.barPos != last) {
                ++movingSamples;
                movingLocked += c.enabled == 0 ? 1 : 0;
            }
            last = c.barPos;
            if (c.barPos < c.barHigh && c.barPos > barMax)
                barMax = c.barPos;
            return false;
        }, [&] { return last; });
        std::printf("SAMPLES %d\nMOVING %d\nMOVING_LOCKED %d\nBAR_BELOW_FULL %d\n", samples, movingSamples,
                    movingLocked, barMax);
        if (boxCame) {
            PrintBox(OwnedBox(dialog));
            PrintState("AT_BOX", dialog);
            status = 0;
        }
    } else if (command == "busy") {
        status = WaitFor(seconds, [] { return Dialog() && (Sample(Dialog()).enabled == 0 || OwnedBox(Dialog())); })
                     ? 0
                     : 1;
    } else if (command == "state") {
        if (HWND dialog = Dialog()) {
            PrintState("NOW", dialog);
            status = 0;
        }
    } else if (command == "close") {
        if (HWND dialog = Dialog()) {
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            status = 0;
        }
    } else if (command == "menu" && argc > 2) {
        if (HWND dialog = Dialog()) {
            PostMessageW(dialog, WM_SYSCOMMAND, static_cast<WPARAM>(std::strtoul(argv[2], nullptr, 0)), 0);
            status = 0;
        }
    } else if (command == "gone") {
        status = WaitFor(seconds, [] { return Dialog() == nullptr; }) ? 0 : 1;
    } else if (command == "about") {
        HWND about = nullptr;
        if (WaitFor(seconds, [&] { return Dialog() && (about = OwnedBox(Dialog(), L"Sobre el Updater")); })) {
            PrintBox(about);
            status = 0;
        }
    } else {
        std::fprintf(stderr, "uso: winprobe wait | size EXE | box | busy | watch | state | close | menu ID | gone | about [SEGUNDOS]\n");
        return 2;
    }
    std::fflush(stdout);
    return status;
}
