#pragma once
// The application object: names the program after its executable, shows the
// main dialog modally and ends when it closes. It reads no arguments and
// writes no settings. The toolkit's own start-up (wnd::Application) comes
// before it.

#include <cstdint>

class CUpdaterDlg;

class CUpdaterApp {
public:
    CUpdaterApp();
    virtual ~CUpdaterApp();
    CUpdaterApp(const CUpdaterApp&) = delete;
    CUpdaterApp& operator=(const CUpdaterApp&) = delete;

    // Shows the main dialog modally; returns FALSE (0): there is no message
    // loop after it.
    virtual int InitInstance();

    CUpdaterDlg* MainWindow() const { return m_pMainWnd; }

private:
    CUpdaterDlg* m_pMainWnd = nullptr;
};

// WM_SYSCOMMAND of the main dialog: IDM_ABOUTBOX in the high twelve bits opens
// the About box; false for everything else, which gets the window's default
// handling.
bool AppSysCommand(CUpdaterDlg& dialog, unsigned nID, std::intptr_t lParam);
