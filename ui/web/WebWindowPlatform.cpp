// The window services in a web page: each dialog is built from its template
// as HTML (WebWindowPlatform.js), its events come back through the tvx_wnd_*
// exports below. A page has one thread: the update "thread" is a call that
// waits for each report (Asyncify), modal runs and message boxes wait for
// their answer the same way, and what the page does meanwhile still runs.

#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/Dialog.h"
#include "ui/DialogTemplate.h"
#include "ui/Resource.h"
#include "ui/WindowPlatform.h"
#include "ui/web/WebContract.h"
#include "ui/web/WebWindow.h"

extern "C" {
int tvx_wnd_new_window(const char* name, const char* caption, int cx, int cy, int modal, int sysMenu);
int tvx_wnd_add_control(int window, int kind, int id, const char* name, const char* text, int x, int y, int cx, int cy,
                        int flags);
void tvx_wnd_show(int window);
int tvx_wnd_wait_end(int window);
void tvx_wnd_end_modal(int window, int result);
void tvx_wnd_destroy(int window);
int tvx_wnd_item(int window, int id);
void tvx_wnd_set_text(int handle, const char* text);
char* tvx_wnd_get_text(int handle);
int tvx_wnd_children(int window, int* out, int room);
int tvx_wnd_is_enabled(int handle);
void tvx_wnd_enable(int handle, int enable);
void tvx_wnd_show_window(int handle, int show);
void tvx_wnd_list_clear(int handle);
void tvx_wnd_list_add(int handle, const char* key, const char* name, const char* date, const char* shownDate,
                      const char* remark, const char* description);
int tvx_wnd_list_cursel(int handle);
void tvx_wnd_progress(int handle, int low, int high, int position);
int tvx_wnd_progress_range(int handle, int* low, int* high, int* position);
int tvx_wnd_set_timer(int window, int id, unsigned ms);
int tvx_wnd_kill_timer(int window, int id);
int tvx_wnd_message_box(const char* text, const char* caption, int stop);
int tvx_wnd_menu_add(int window, int separator, int id, const char* name, const char* text);
void tvx_wnd_set_icon(int window, const char* url);
void tvx_wnd_set_image(int handle, const char* url);
void tvx_wnd_client_size(int window, int* width, int* height);
char* tvx_wnd_choose_file(const char* accept, const char* folder);
void tvx_wnd_accept_drops(int window, int id);
void tvx_wnd_set_box_caption(const char* caption);
int tvx_wnd_begin_thread(unsigned (*proc)(void*), void* param);
char* tvx_wnd_module_path();
}

namespace wnd {

namespace {

constexpr const char* kIconUrl = "tolvanex-updater.svg";

using namespace web;

// The names the page gives the controls, as the resource header has them.
const char* NameOf(int id, int templateId)
{
    if (templateId != IDD_UPDATER_DIALOG && templateId != IDD_RELEASES)
        return "";
    switch (id) {
    case IDOK:
        return "IDOK";
    case IDCANCEL:
        return "IDCANCEL";
    case IDC_FILE_PATH:
        return "IDC_FILE_PATH";
    case IDC_OPEN_HEX:
        return "IDC_OPEN_HEX";
    case IDC_PROGRESS:
        return "IDC_PROGRESS";
    case IDC_PERCENT:
        return "IDC_PERCENT";
    case IDC_CHECKSUM:
        return "IDC_CHECKSUM";
    case IDC_RELEASE_STATUS:
        return "IDC_RELEASE_STATUS";
    case IDC_RELEASE_LIST:
        return "IDC_RELEASE_LIST";
    default:
        return "";
    }
}

const char* TemplateName(int templateId)
{
    switch (templateId) {
    case IDD_UPDATER_DIALOG:
        return "IDD_UPDATER_DIALOG";
    case IDD_ABOUTBOX:
        return "IDD_ABOUTBOX";
    case IDD_RELEASES:
        return "IDD_RELEASES";
    default:
        return "";
    }
}

int Id(Handle handle)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

Handle ToHandle(int id)
{
    return reinterpret_cast<Handle>(static_cast<std::intptr_t>(id));
}

std::map<int, CDialog*>& Dialogs()
{
    static std::map<int, CDialog*> dialogs;
    return dialogs;
}

CDialog* DialogOf(int window)
{
    const auto found = Dialogs().find(window);
    return found == Dialogs().end() ? nullptr : found->second;
}

ModelessEndHandler& EndHandler()
{
    static ModelessEndHandler handler;
    return handler;
}

std::string TakeString(char* text)
{
    std::string value = text != nullptr ? text : "";
    std::free(text);
    return value;
}

// Builds the window of `dialog` from its template and lets the dialog
// initialise it; 0 when there is no template.
int BuildWindow(CDialog& dialog, bool modal)
{
    const DialogTemplate* tmpl = FindDialogTemplate(dialog.TemplateId());
    if (tmpl == nullptr)
        return 0;
    const int window = tvx_wnd_new_window(TemplateName(tmpl->id), tmpl->caption, tmpl->cx, tmpl->cy, modal ? 1 : 0,
                                          (tmpl->style & ws::kSysMenu) ? 1 : 0);
    for (const ControlTemplate& c : tmpl->controls) {
        const std::string cls = c.windowClass;
        int kind = kText;
        int flags = 0;
        if (cls == "button") {
            kind = kButton;
            if ((c.style & ws::kBsTypeMask) == ws::kBsDefPushButton)
                flags |= kDefault;
        } else if (cls == "edit") {
            kind = kEdit;
        } else if (cls == "msctls_progress32") {
            kind = kProgress;
        } else if (cls == "listbox") {
            kind = kList;
        } else if ((c.style & ws::kSsTypeMask) == ws::kSsIcon) {
            kind = kIcon;
        } else if (c.style & ws::kSsSunken) {
            flags |= kSunken;
        }
        if (c.style & ws::kTabStop)
            flags |= kTabStop;
        if (c.style & ws::kVisible)
            flags |= kShown;
        const int control =
            tvx_wnd_add_control(window, kind, c.id, NameOf(c.id, tmpl->id), c.text, c.x, c.y, c.cx, c.cy, flags);
        if (kind == kIcon)
            tvx_wnd_set_image(control, kIconUrl);
    }
    tvx_wnd_set_icon(window, kIconUrl);
    // A HEX file dropped on the page is what "Abrir HEX" would have chosen.
    if (tmpl->id == IDD_UPDATER_DIALOG)
        tvx_wnd_accept_drops(window, IDC_OPEN_HEX);
    Dialogs()[window] = &dialog;
    dialog.HandleInitDialog(ToHandle(window));
    return window;
}

void Forget(int window)
{
    Dialogs().erase(window);
}

}  // namespace

void SetPageBoxCaption(const std::string& caption)
{
    tvx_wnd_set_box_caption(caption.c_str());
}

ModelessEndHandler SetModelessEndHandler(ModelessEndHandler handler)
{
    ModelessEndHandler previous = std::move(EndHandler());
    EndHandler() = std::move(handler);
    return previous;
}

std::intptr_t RunModal(CDialog& dialog, Handle)
{
    const int window = BuildWindow(dialog, true);
    if (window == 0)
        return -1;
    tvx_wnd_show(window);
    const int result = tvx_wnd_wait_end(window);
    Forget(window);
    dialog.HandleDestroy();
    if (result == -1) {
        // Nothing may wait now (an update is sending): the box stays up and
        // ends itself, without the dialog object.
        return IDOK;
    }
    tvx_wnd_destroy(window);
    return result;
}

Handle CreateModeless(CDialog& dialog, Handle)
{
    const int window = BuildWindow(dialog, false);
    if (window == 0)
        return nullptr;
    if (FindDialogTemplate(dialog.TemplateId())->style & ws::kVisible)
        tvx_wnd_show(window);
    return ToHandle(window);
}

void EndModal(Handle dialog, std::intptr_t result)
{
    tvx_wnd_end_modal(Id(dialog), static_cast<int>(result));
}

void DestroyDialogWindow(Handle dialog)
{
    if (CDialog* owner = DialogOf(Id(dialog)))
        owner->HandleDestroy();
    Forget(Id(dialog));
    tvx_wnd_destroy(Id(dialog));
}

Handle GetDlgItem(Handle dialog, int id)
{
    return ToHandle(tvx_wnd_item(Id(dialog), id));
}

void SetText(Handle window, const std::string& text)
{
    tvx_wnd_set_text(Id(window), text.c_str());
}

std::string GetText(Handle window)
{
    return TakeString(tvx_wnd_get_text(Id(window)));
}

void EnumChildWindows(Handle parent, bool (*callback)(Handle window, void* param), void* param)
{
    std::vector<int> children(16);
    const int count = tvx_wnd_children(Id(parent), children.data(), static_cast<int>(children.size()));
    if (count > static_cast<int>(children.size())) {
        children.resize(static_cast<std::size_t>(count));
        tvx_wnd_children(Id(parent), children.data(), count);
    }
    children.resize(static_cast<std::size_t>(count));
    for (int child : children) {
        if (!callback(ToHandle(child), param))
            break;
    }
}

bool IsWindowEnabled(Handle window)
{
    return tvx_wnd_is_enabled(Id(window)) != 0;
}

void EnableWindow(Handle window, bool enable)
{
    tvx_wnd_enable(Id(window), enable ? 1 : 0);
}

void SendProgressRange(Handle bar, int low, int high)
{
    int oldLow = 0, oldHigh = 0, position = 0;
    tvx_wnd_progress_range(Id(bar), &oldLow, &oldHigh, &position);
    tvx_wnd_progress(Id(bar), low, high, position);
}

void SendProgressPos(Handle bar, int position)
{
    int low = 0, high = 0, old = 0;
    if (tvx_wnd_progress_range(Id(bar), &low, &high, &old))
        tvx_wnd_progress(Id(bar), low, high, position);
}

bool SetTimer(Handle window, std::uintptr_t id, unsigned elapseMs)
{
    return tvx_wnd_set_timer(Id(window), static_cast<int>(id), elapseMs) != 0;
}

bool KillTimer(Handle window, std::uintptr_t id)
{
    return tvx_wnd_kill_timer(Id(window), static_cast<int>(id)) != 0;
}

int ShowMessageBox(Handle, const std::string& text, const std::string& caption, unsigned type)
{
    return tvx_wnd_message_box(text.c_str(), caption.c_str(), (type & kMbIconStop) ? 1 : 0);
}

Menu GetSystemMenu(Handle window, bool)
{
    return window;  // one menu per window, kept by the window
}

bool AppendMenuItem(Menu menu, unsigned flags, std::uintptr_t id, const std::string& text)
{
    const char* name = id == IDM_ABOUTBOX ? "IDM_ABOUTBOX" : "";
    return tvx_wnd_menu_add(Id(menu), (flags & kMfSeparator) ? 1 : 0, static_cast<int>(id), name, text.c_str()) != 0;
}

std::string LoadStringResource(unsigned id)
{
    return FindStringResource(id);
}

Icon LoadAppIcon()
{
    return const_cast<char*>(kIconUrl);
}

void SetIcon(Handle window, Icon icon, bool)
{
    tvx_wnd_set_icon(Id(window), static_cast<const char*>(icon));
}

void ListSetItems(Handle list, const std::vector<ListItem>& items)
{
    tvx_wnd_list_clear(Id(list));
    for (const ListItem& item : items) {
        tvx_wnd_list_add(Id(list), item.key.c_str(), item.name.c_str(), item.date.c_str(), ShownDate(item.date).c_str(),
                         item.remark.c_str(), item.description.c_str());
    }
}

int ListCurSel(Handle list)
{
    return tvx_wnd_list_cursel(Id(list));
}

void ShowWindow(Handle window, bool show)
{
    tvx_wnd_show_window(Id(window), show ? 1 : 0);
}

// A page is never minimized: no icon to paint in its place.
bool IsIconic(Handle)
{
    return false;
}

void ClientSize(Handle window, int* width, int* height)
{
    tvx_wnd_client_size(Id(window), width, height);
}

void IconMetrics(int* width, int* height)
{
    *width = *height = 32;
}

void PaintIconAt(Handle, Icon, int, int)
{
}

bool RunOpenFileDialog(OpenFileName& ofn)
{
    // The browser's own chooser: the patterns become the input's accept list.
    std::string accept;
    for (const auto& filter : ofn.filters) {
        const std::string& pattern = filter.second;
        if (pattern == "*.*" || pattern == "*") {
            accept.clear();
            break;
        }
        if (pattern.starts_with("*.")) {
            if (!accept.empty())
                accept += ',';
            accept += pattern.substr(1);
        }
    }
    const std::string chosen = TakeString(tvx_wnd_choose_file(accept.c_str(), kChosenFileFolder));
    if (chosen.empty())
        return false;
    ofn.fileName = chosen;
    return true;
}

bool BeginThread(unsigned (*proc)(void* param), void* param)
{
    return tvx_wnd_begin_thread(proc, param) != 0;
}

void SendCall(Handle, const std::function<void()>& call)
{
    call();  // the page's one thread is the UI thread
}

std::string ModulePath()
{
    return TakeString(tvx_wnd_module_path());
}

std::string StartPath()
{
    return ModulePath();
}

// The load runs without handing the page back to the browser, which draws no
// cursor meanwhile: nothing to set.
void BeginWaitCursor()
{
}

void EndWaitCursor()
{
}

}  // namespace wnd

// The page's events.
extern "C" {

EMSCRIPTEN_KEEPALIVE void tvx_wnd_command(int window, int id)
{
    if (CDialog* dialog = wnd::DialogOf(window))
        dialog->HandleCommand(id);
    else if (id == IDOK || id == IDCANCEL)
        tvx_wnd_destroy(window);  // a box left to end itself (see RunModal)
}

EMSCRIPTEN_KEEPALIVE void tvx_wnd_timer(int window, int id)
{
    if (CDialog* dialog = wnd::DialogOf(window))
        dialog->HandleTimer(static_cast<std::uintptr_t>(id));
}

EMSCRIPTEN_KEEPALIVE void tvx_wnd_syscommand(int window, int id)
{
    CDialog* dialog = wnd::DialogOf(window);
    if (dialog != nullptr && dialog->HandleSysCommand(static_cast<unsigned>(id), 0))
        return;
    // The default handling: the close box is the cancel command.
    if ((static_cast<unsigned>(id) & 0xFFF0u) == wnd::kScClose) {
        if (dialog != nullptr)
            dialog->HandleCommand(IDCANCEL);
        else
            tvx_wnd_destroy(window);
    }
}

EMSCRIPTEN_KEEPALIVE void tvx_wnd_run_thread(unsigned (*proc)(void*), void* param)
{
    proc(param);
}

EMSCRIPTEN_KEEPALIVE void tvx_wnd_ended(int window, int result)
{
    if (wnd::EndHandler())
        wnd::EndHandler()(wnd::ToHandle(window), result);
}

// A box left to end itself (see RunModal) has no dialog behind it any more.
EMSCRIPTEN_KEEPALIVE void tvx_wnd_destroy_detached(int window)
{
    tvx_wnd_destroy(window);
}
}
