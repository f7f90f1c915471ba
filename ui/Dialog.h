#pragma once
// A dialog built from a template, in the manner of the application framework:
// the window comes and goes with a modal run, its events reach the virtual
// handlers below, and data exchange moves texts between members and controls.
// The window itself belongs to the backend of the window layer.

#include <cstdint>
#include <string>

#include "ui/WindowPlatform.h"

class CDialog;

// The context of one data exchange.
struct CDataExchange {
    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;  // controls to members when true
};

// A progress bar (msctls_progress32), reached through its window.
class CProgressCtrl {
public:
    wnd::Handle m_hWnd = nullptr;
    void SetRange(int lower, int upper) { wnd::SendProgressRange(m_hWnd, lower, upper); }
    void SetPos(int position) { wnd::SendProgressPos(m_hWnd, position); }
};

void DDX_Text(CDataExchange* pDX, int id, std::string& value);
// Attaches `control` to the control `id` on the first exchange.
void DDX_Control(CDataExchange* pDX, int id, CProgressCtrl& control);

class CDialog {
public:
    explicit CDialog(int templateId, CDialog* parent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    int TemplateId() const { return m_nIDTemplate; }
    wnd::Handle GetSafeHwnd() const { return m_hWnd; }
    wnd::Handle GetDlgItem(int id) const { return wnd::GetDlgItem(m_hWnd, id); }

    // Runs the dialog modally over its parent; EndDialog's result, or -1 when
    // the window could not be created.
    std::intptr_t DoModal();
    // The same window, shown without a modal run.
    bool Create();
    void EndDialog(std::intptr_t result);
    bool UpdateData(bool saveAndValidate);

    // The backend's calls, on the UI thread. Each runs its handler the way the
    // framework's window procedure does: an error that escapes the handler is
    // shown in a stop box, and the dialog runs on.
    bool HandleInitDialog(wnd::Handle window);  // OnInitDialog's result
    void HandleCommand(int id);
    void HandleTimer(std::uintptr_t id);
    bool HandleSysCommand(unsigned id, std::intptr_t lParam);  // false: default handling
    bool HandlePaint();                                        // false: default painting
    wnd::Icon HandleQueryDragIcon();
    void HandleDestroy();

    // The stop box for the error being handled; call from inside a catch block.
    static void ReportCurrentException(wnd::Handle owner);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual bool OnInitDialog();
    // The message map for WM_COMMAND: IDOK and IDCANCEL here; false for an
    // identifier that nobody handles.
    virtual bool OnCommand(int id);
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnTimer(std::uintptr_t nIDEvent);
    virtual bool OnSysCommand(unsigned nID, std::intptr_t lParam);
    virtual bool OnPaint();
    virtual wnd::Icon OnQueryDragIcon() const;

    wnd::Handle m_hWnd = nullptr;

private:
    int m_nIDTemplate;
    CDialog* m_pParentWnd;
};

// The wait cursor for the life of the object.
class CWaitCursor {
public:
    CWaitCursor() { wnd::BeginWaitCursor(); }
    ~CWaitCursor() { wnd::EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// The application's name, every message box's caption. The app shell sets it
// at start-up.
void AfxSetAppName(std::string name);
std::string AfxGetAppName();
// A box owned by `owner`, captioned with the application's name.
int AfxMessageBox(wnd::Handle owner, const std::string& text, unsigned type = wnd::kMbOk);
