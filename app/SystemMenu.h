#pragma once
// On Windows the About item goes into the window's real system menu, and
// WM_SYSCOMMAND with it reaches CUpdaterDlg::OnSysCommand. Elsewhere the window
// manager owns that menu and the dialog's context menu offers the item.

class CUpdaterDlg;

#ifdef _WIN32
void InstallSystemMenu(CUpdaterDlg& dialog);
#else
inline void InstallSystemMenu(CUpdaterDlg&) {}
#endif
