#pragma once
// The window services that the dialogs use. Each operation stands for one
// Win32 call (named beside it): the Win32 backend makes that call, the Qt
// backend gives the same behaviour with Qt widgets. The dialogs' behaviour is
// written once above this line; only a backend knows its toolkit, and a
// program links exactly one.
//
// Texts are UTF-8. Every operation may be called from the update worker as
// well as from the UI thread, unless it says otherwise; a backend that must
// touch windows on their own thread hands the call over synchronously, as
// SendMessage does.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class CDialog;

namespace wnd {

using Handle = void*;  // HWND: a dialog or one of its controls
using Menu = void*;    // HMENU
using Icon = void*;    // HICON

// Values as Windows defines them.
constexpr unsigned kMbOk = 0x0;           // MB_OK
constexpr unsigned kMbIconStop = 0x10;    // MB_ICONSTOP
constexpr unsigned kMfString = 0x0;       // MF_STRING
constexpr unsigned kMfSeparator = 0x800;  // MF_SEPARATOR
constexpr unsigned kScMinimize = 0xF020;  // SC_MINIMIZE
constexpr unsigned kScClose = 0xF060;     // SC_CLOSE

// DialogBoxParamW: creates the dialog from the template dialog.TemplateId(),
// owned by `owner` (may be null), and runs it modally. The new window reaches
// the dialog through CDialog::HandleInitDialog. Returns EndModal's result, or
// -1 when the dialog could not be created. UI thread only.
std::intptr_t RunModal(CDialog& dialog, Handle owner);
// CreateDialogParamW and ShowWindow: the same window, shown without a modal
// run (for tools and tests). Null when it could not be created.
Handle CreateModeless(CDialog& dialog, Handle owner);
// EndDialog
void EndModal(Handle dialog, std::intptr_t result);
// DestroyWindow: a dialog's window goes before the dialog does.
void DestroyDialogWindow(Handle dialog);

// GetDlgItem: the dialog's control with this identifier (the first one, for
// IDC_STATIC); null when there is none.
Handle GetDlgItem(Handle dialog, int id);
// SetWindowTextW / GetWindowTextW
void SetText(Handle window, const std::string& text);
std::string GetText(Handle window);

// EnumChildWindows: every descendant of `parent`, children before their own
// children, until the callback returns false.
void EnumChildWindows(Handle parent, bool (*callback)(Handle window, void* param), void* param);
// IsWindowEnabled / EnableWindow: the window's own flag, not its parent's.
bool IsWindowEnabled(Handle window);
void EnableWindow(Handle window, bool enable);

// SendMessageW with PBM_SETRANGE / PBM_SETPOS to a progress bar. A position
// outside the range is clamped to it.
void SendProgressRange(Handle bar, int low, int high);
void SendProgressPos(Handle bar, int position);

// SetTimer / KillTimer on a dialog: its ticks reach CDialog::HandleTimer on
// the UI thread.
bool SetTimer(Handle window, std::uintptr_t id, unsigned elapseMs);
bool KillTimer(Handle window, std::uintptr_t id);

// MessageBoxW: modal over `owner` until the user answers; the button pressed.
int ShowMessageBox(Handle owner, const std::string& text, const std::string& caption, unsigned type);

// GetSystemMenu / AppendMenuW. A chosen item reaches CDialog::HandleSysCommand.
Menu GetSystemMenu(Handle window, bool revert);
bool AppendMenuItem(Menu menu, unsigned flags, std::uintptr_t id, const std::string& text);

// LoadStringW: the string table's text, empty when it holds none.
std::string LoadStringResource(unsigned id);
// LoadIconW of IDR_MAINFRAME at the system's icon size.
Icon LoadAppIcon();
// SendMessageW(WM_SETICON)
void SetIcon(Handle window, Icon icon, bool big);

// One item of a list box. Its line (ListItemLine) is what LB_ADDSTRING
// gets; the page shows the parts as such, and a toolkit that can shows the
// description with it.
struct ListItem {
    std::string key;          // stands for the item (the page's data-key)
    std::string name;         // "Versión 1.2"
    std::string date;         // yyyy-mm-dd, shown dd/mm/yyyy
    std::string remark;       // shown after the date, dimmed where it can be
    std::string description;  // longer text that goes with the item
};
// "name  dd/mm/yyyy  remark".
std::string ListItemLine(const ListItem& item);
// A date of the form yyyy-mm-dd as dd/mm/yyyy; any other text as it is.
std::string ShownDate(const std::string& isoDate);

// LB_RESETCONTENT, then LB_ADDSTRING of each item's line, in order.
void ListSetItems(Handle list, const std::vector<ListItem>& items);
// LB_GETCURSEL: the item the user chose last; -1 for none.
int ListCurSel(Handle list);
// A list box's choice reaches CDialog::HandleCommand with the list's
// identifier: a double click or Enter on an item (LBN_DBLCLK), a click on
// the page, whose items are buttons.

// ShowWindow with SW_SHOW or SW_HIDE.
void ShowWindow(Handle window, bool show);

// IsIconic, and what a minimized dialog's WM_PAINT does with its icon:
// BeginPaint, WM_ICONERASEBKGND, DrawIcon at (x, y), EndPaint.
bool IsIconic(Handle window);
void ClientSize(Handle window, int* width, int* height);  // GetClientRect
void IconMetrics(int* width, int* height);                // SM_CXICON, SM_CYICON
void PaintIconAt(Handle window, Icon icon, int x, int y);

// GetOpenFileNameW
struct OpenFileName {
    Handle owner = nullptr;
    std::vector<std::pair<std::string, std::string>> filters;  // (description, pattern); the first is selected
    std::string defaultExtension;                              // without "*." before it
    std::string fileName;  // the initial name; on success, the chosen file's full path
    unsigned flags = 0;    // OFN_*
    std::string title;     // empty: the system's
};
bool RunOpenFileDialog(OpenFileName& ofn);

// _beginthreadex: a detached thread that runs proc(param). False when it could not start.
bool BeginThread(unsigned (*proc)(void* param), void* param);
// SendMessageW of a private message: runs `call` on the thread that owns
// `window` and returns once it has run (at once, on that thread itself).
void SendCall(Handle window, const std::function<void()>& call);

// GetModuleFileNameW of the program.
std::string ModulePath();
// The path the program was started by, as its caller wrote it (argv[0]):
// started through a symbolic link, the link's own path. ModulePath() when
// that names no file. Windows has no such links to executables, so there it
// is ModulePath().
std::string StartPath();

// SetCursor(LoadCursorW(IDC_WAIT)) over the whole program while the UI thread
// is busy, and the cursor of before again; calls nest. UI thread only.
void BeginWaitCursor();
void EndWaitCursor();

}  // namespace wnd
