// The window services on Windows: the system's dialog manager, common
// controls and common dialogs, through the W functions so that every text and
// file name shows right whatever the system's code page.

#include "ui/WindowPlatform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <process.h>

#include <memory>
#include <new>

#include "sys/Utf16.h"
#include "ui/Dialog.h"
#include "ui/DialogTemplate.h"
#include "ui/win32/Win32DialogLayout.h"

namespace wnd {

namespace {

// Runs a std::function handed over by SendCall.
constexpr UINT kCallMessage = WM_APP + 1;

HINSTANCE Instance()
{
    return ::GetModuleHandleW(nullptr);
}

HWND Hwnd(Handle handle)
{
    return static_cast<HWND>(handle);
}

bool IsListBox(HWND control)
{
    wchar_t name[16] = {};
    ::GetClassNameW(control, name, 16);
    return ::lstrcmpiW(name, L"ListBox") == 0;
}

std::wstring Wide(const std::string& text)
{
    const std::u16string wide = Utf8ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const wchar_t* text, std::size_t length)
{
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

CDialog* DialogOf(HWND window)
{
    return reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        if (const DialogTemplate* layout = FindDialogTemplate(dialog->TemplateId()))
            LayOutForDpi(window, *layout, WindowDpi(window), nullptr);
        RECT before{};
        ::GetWindowRect(window, &before);
        const BOOL focusDefault = dialog->HandleInitDialog(window) ? TRUE : FALSE;
        RECT after{};
        ::GetWindowRect(window, &after);
        // What the framework did before a dialog was first shown: one that
        // initialisation neither moved nor showed is centred, here kept
        // inside the work area.
        if (!::IsWindowVisible(window) && before.left == after.left && before.top == after.top)
            CenterInWorkArea(window);
        return focusDefault;
    }
    CDialog* dialog = DialogOf(window);
    if (dialog == nullptr)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        // A list box's choice (LBN_DBLCLK) and none of its other notifications.
        if (lParam != 0 && IsListBox(reinterpret_cast<HWND>(lParam))) {
            if (HIWORD(wParam) == LBN_DBLCLK)
                dialog->HandleCommand(LOWORD(wParam));
            return TRUE;
        }
        // Buttons, Enter (IDOK), Escape and the close box (IDCANCEL); not the
        // edit box's notifications.
        if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 1) {
            dialog->HandleCommand(LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_TIMER:
        dialog->HandleTimer(static_cast<std::uintptr_t>(wParam));
        return TRUE;
    case WM_SYSCOMMAND:
        if (!dialog->HandleSysCommand(static_cast<unsigned>(wParam), static_cast<std::intptr_t>(lParam)))
            return FALSE;
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_PAINT:
        return dialog->HandlePaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(dialog->HandleQueryDragIcon());
    case kCallMessage:
        try {
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
        } catch (...) {
            CDialog::ReportCurrentException(window);
        }
        return TRUE;
    case WM_DPICHANGED:
        // Moved to a monitor of another DPI, or the user changed the scale.
        if (const DialogTemplate* layout = FindDialogTemplate(dialog->TemplateId()))
            LayOutForDpi(window, *layout, LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_NCDESTROY:
        ForgetLayout(window);
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        dialog->HandleDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

struct EnumContext {
    bool (*callback)(Handle, void*);
    void* param;
};

BOOL CALLBACK EnumChildProc(HWND window, LPARAM lParam)
{
    const auto* context = reinterpret_cast<const EnumContext*>(lParam);
    return context->callback(window, context->param) ? TRUE : FALSE;
}

struct ThreadStart {
    unsigned (*proc)(void*);
    void* param;
};

unsigned __stdcall ThreadEntry(void* start)
{
    const ThreadStart s = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    return s.proc(s.param);
}

}  // namespace

std::intptr_t RunModal(CDialog& dialog, Handle owner)
{
    return ::DialogBoxParamW(Instance(), MAKEINTRESOURCEW(dialog.TemplateId()), Hwnd(owner), DialogProc,
                             reinterpret_cast<LPARAM>(&dialog));
}

Handle CreateModeless(CDialog& dialog, Handle owner)
{
    return ::CreateDialogParamW(Instance(), MAKEINTRESOURCEW(dialog.TemplateId()), Hwnd(owner), DialogProc,
                                reinterpret_cast<LPARAM>(&dialog));
}

void EndModal(Handle dialog, std::intptr_t result)
{
    ::EndDialog(Hwnd(dialog), result);
}

void DestroyDialogWindow(Handle dialog)
{
    ::DestroyWindow(Hwnd(dialog));
}

Handle GetDlgItem(Handle dialog, int id)
{
    return ::GetDlgItem(Hwnd(dialog), id);
}

void SetText(Handle window, const std::string& text)
{
    ::SetWindowTextW(Hwnd(window), Wide(text).c_str());
}

std::string GetText(Handle window)
{
    const int length = ::GetWindowTextLengthW(Hwnd(window));
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(Hwnd(window), text.data(), length + 1);
    return Narrow(text.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

void EnumChildWindows(Handle parent, bool (*callback)(Handle, void*), void* param)
{
    EnumContext context{callback, param};
    ::EnumChildWindows(Hwnd(parent), EnumChildProc, reinterpret_cast<LPARAM>(&context));
}

bool IsWindowEnabled(Handle window)
{
    return ::IsWindowEnabled(Hwnd(window)) != FALSE;
}

void EnableWindow(Handle window, bool enable)
{
    ::EnableWindow(Hwnd(window), enable ? TRUE : FALSE);
}

void SendProgressRange(Handle bar, int low, int high)
{
    ::SendMessageW(Hwnd(bar), PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void SendProgressPos(Handle bar, int position)
{
    ::SendMessageW(Hwnd(bar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

// A timer belongs to the thread of its window: the worker's calls are made
// there.
bool SetTimer(Handle window, std::uintptr_t id, unsigned elapseMs)
{
    bool started = false;
    SendCall(window, [&] { started = ::SetTimer(Hwnd(window), id, elapseMs, nullptr) != 0; });
    return started;
}

bool KillTimer(Handle window, std::uintptr_t id)
{
    bool stopped = false;
    SendCall(window, [&] { stopped = ::KillTimer(Hwnd(window), id) != FALSE; });
    return stopped;
}

int ShowMessageBox(Handle owner, const std::string& text, const std::string& caption, unsigned type)
{
    return ::MessageBoxW(Hwnd(owner), Wide(text).c_str(), Wide(caption).c_str(), type);
}

Menu GetSystemMenu(Handle window, bool revert)
{
    return ::GetSystemMenu(Hwnd(window), revert ? TRUE : FALSE);
}

bool AppendMenuItem(Menu menu, unsigned flags, std::uintptr_t id, const std::string& text)
{
    if (flags & kMfSeparator)
        return ::AppendMenuW(static_cast<HMENU>(menu), flags, id, nullptr) != FALSE;
    return ::AppendMenuW(static_cast<HMENU>(menu), flags, id, Wide(text).c_str()) != FALSE;
}

std::string LoadStringResource(unsigned id)
{
    // With no buffer, the system hands out the resource's own read-only text.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(Instance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Narrow(text, static_cast<std::size_t>(length)) : std::string();
}

Icon LoadAppIcon()
{
    return ::LoadIconW(Instance(), MAKEINTRESOURCEW(128));  // IDR_MAINFRAME
}

void SetIcon(Handle window, Icon icon, bool big)
{
    ::SendMessageW(Hwnd(window), WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void ListSetItems(Handle list, const std::vector<ListItem>& items)
{
    ::SendMessageW(Hwnd(list), LB_RESETCONTENT, 0, 0);
    for (const ListItem& item : items) {
        const std::wstring line = Wide(ListItemLine(item));
        ::SendMessageW(Hwnd(list), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
}

int ListCurSel(Handle list)
{
    return static_cast<int>(::SendMessageW(Hwnd(list), LB_GETCURSEL, 0, 0));  // LB_ERR is -1
}

void ShowWindow(Handle window, bool show)
{
    ::ShowWindow(Hwnd(window), show ? SW_SHOW : SW_HIDE);
}

bool IsIconic(Handle window)
{
    return ::IsIconic(Hwnd(window)) != FALSE;
}

void ClientSize(Handle window, int* width, int* height)
{
    RECT client{};
    ::GetClientRect(Hwnd(window), &client);
    *width = client.right - client.left;
    *height = client.bottom - client.top;
}

void IconMetrics(int* width, int* height)
{
    *width = ::GetSystemMetrics(SM_CXICON);
    *height = ::GetSystemMetrics(SM_CYICON);
}

void PaintIconAt(Handle window, Icon icon, int x, int y)
{
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(Hwnd(window), &paint);
    ::SendMessageW(Hwnd(window), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ::DrawIcon(dc, x, y, static_cast<HICON>(icon));
    ::EndPaint(Hwnd(window), &paint);
}

bool RunOpenFileDialog(OpenFileName& ofn)
{
    // "description\0pattern\0...\0\0"
    std::wstring filter;
    for (const auto& [description, pattern] : ofn.filters) {
        filter += Wide(description) + L'\0';
        filter += Wide(pattern) + L'\0';
    }
    filter += L'\0';
    const std::wstring defaultExtension = Wide(ofn.defaultExtension);
    const std::wstring title = Wide(ofn.title);
    wchar_t file[MAX_PATH] = {};
    const std::wstring initial = Wide(ofn.fileName);
    initial.copy(file, MAX_PATH - 1);

    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = Hwnd(ofn.owner);
    request.lpstrFilter = filter.c_str();
    request.nFilterIndex = 1;
    request.lpstrFile = file;
    request.nMaxFile = MAX_PATH;
    request.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    request.lpstrTitle = title.empty() ? nullptr : title.c_str();
    request.Flags = ofn.flags;
    if (!::GetOpenFileNameW(&request))
        return false;
    ofn.fileName = Narrow(file, wcsnlen(file, MAX_PATH));
    return true;
}

bool BeginThread(unsigned (*proc)(void*), void* param)
{
    auto* start = new (std::nothrow) ThreadStart{proc, param};
    if (start == nullptr)
        return false;
    const std::uintptr_t thread = ::_beginthreadex(nullptr, 0, ThreadEntry, start, 0, nullptr);
    if (thread == 0) {
        delete start;
        return false;
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));  // nobody waits for it
    return true;
}

void SendCall(Handle window, const std::function<void()>& call)
{
    if (::GetWindowThreadProcessId(Hwnd(window), nullptr) == ::GetCurrentThreadId()) {
        call();
        return;
    }
    ::SendMessageW(Hwnd(window), kCallMessage, 0, reinterpret_cast<LPARAM>(&call));
}

std::string ModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size())
            return Narrow(path.data(), length);
        path.resize(path.size() * 2);
    }
}

std::string StartPath()
{
    return ModulePath();
}

namespace {
int g_waitDepth = 0;
HCURSOR g_cursorBeforeWait = nullptr;
}  // namespace

void BeginWaitCursor()
{
    // IDC_WAIT, in its wide form whatever UNICODE says.
    HCURSOR before = ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));
    if (g_waitDepth++ == 0)
        g_cursorBeforeWait = before;
}

void EndWaitCursor()
{
    if (g_waitDepth > 0 && --g_waitDepth == 0)
        ::SetCursor(g_cursorBeforeWait);
}

}  // namespace wnd
