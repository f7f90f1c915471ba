#include "app/UpdaterApp.h"

#include "app/AboutDlg.h"
#include "app/AppName.h"
#include "ui/UpdaterDlg.h"

CUpdaterApp::CUpdaterApp()
{
    AfxSetAppName(AppNameFromModulePath(wnd::StartPath()));
    CUpdaterDlg::SetSysCommandHandler(&AppSysCommand);
}

CUpdaterApp::~CUpdaterApp()
{
    CUpdaterDlg::SetSysCommandHandler(nullptr);
}

int CUpdaterApp::InitInstance()
{
    CUpdaterDlg dlg;
    m_pMainWnd = &dlg;
    (void)dlg.DoModal();
    m_pMainWnd = nullptr;
    return 0;
}

bool AppSysCommand(CUpdaterDlg& dialog, unsigned nID, std::intptr_t)
{
    if ((nID & 0xFFF0) != IDM_ABOUTBOX)
        return false;
    CAboutDlg dlgAbout(&dialog);
    (void)dlgAbout.DoModal();
    return true;
}
