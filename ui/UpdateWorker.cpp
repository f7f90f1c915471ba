// "ACTUALIZAR": one update on a worker thread, and the lock-out that keeps the
// user away from the controls while the image is sent.

#include <algorithm>
#include <string>

#include "device/DownloadProtocol.h"
#include "device/OutcomeTexts.h"
#include "sys/File.h"
#include "ui/Resource.h"
#include "ui/UpdaterDlg.h"

void CUpdaterDlg::OnOK()
{
    // One update at a time: the lock-out only starts once the worker has
    // opened the controller, so a second press could slip in before it.
    if (m_updateRunning)
        return;
    // What the window shows is what it sends: a path typed into the box is
    // loaded first, as Abrir HEX loads one, and only the next press sends it.
    // One without its folder would depend on where the program was started.
    const std::string shown = wnd::GetText(GetDlgItem(IDC_FILE_PATH));
    if (shown != m_strFilePath) {
        if (SysIsAbsolutePath(shown.c_str()))
            OpenHexFile(shown, shown);
        else
            TellCannotOpen("escriba la ruta completa");
        return;
    }
    m_updateRunning = true;
    if (!wnd::BeginThread(UpdateThreadProc, this))
        m_updateRunning = false;  // no thread, no update, nothing to report
}

void CUpdaterDlg::OnCancel()
{
    // The worker uses the dialog and the updater until it ends.
    if (m_updateRunning)
        return;
    CDialog::OnCancel();
}

unsigned UpdateThreadProc(void* param)
{
    auto* dialog = static_cast<CUpdaterDlg*>(param);
    dialog->RunUpdate();
    // Only now may the dialog close or start another update.
    wnd::SendCall(dialog->GetSafeHwnd(), [dialog] { dialog->m_updateRunning = false; });
    return 0;
}

void CUpdaterDlg::ShowResultBox(const std::string& text)
{
    AfxMessageBox(m_hWnd, text);
}

void CUpdaterDlg::RunUpdate()
{
    if (!m_updater.IsHexLoaded()) {
        ShowResultBox("Debes elegir un archivo");
        return;
    }
    // An image that no record wrote is all 0xFF: sending it would erase the controller.
    if (!m_updater.HasData()) {
        ShowResultBox("El archivo no contiene datos para el mando");
        return;
    }
    m_updater.OpenController();
    if (!m_updater.IsControllerOpen()) {
        ShowResultBox(kNotConnected);
        return;
    }
    LockControls();
    m_progress.SetRange(0, kProgressScale);
    m_progress.SetPos(0);
    wnd::SetTimer(m_hWnd, 0, 5);
    const int succeeded = m_updater.Download();
    wnd::KillTimer(m_hWnd, 0);
    // The counter ends at 10000 whatever the outcome, and the last tick is a
    // matter of chance: the bar is set once, full only after a success.
    m_progress.SetPos(succeeded ? kProgressScale : m_updater.GetProgressReached());
    UnlockControls();
    if (succeeded) {
        ShowResultBox(kUpdated);
        m_updater.CloseController();
    } else {
        ShowResultBox(std::string(kFailed) + "\n" + DownloadFailureText(m_updater.WriteError()));
    }
}

void CUpdaterDlg::LockControls()
{
    ClearSavedStates();
    wnd::EnumChildWindows(m_hWnd, LockControlProc, this);
    for (wnd::Handle window : m_lockedWith)
        wnd::EnumChildWindows(window, LockControlProc, this);
}

void CUpdaterDlg::LockWith(wnd::Handle window)
{
    if (window != nullptr && std::find(m_lockedWith.begin(), m_lockedWith.end(), window) == m_lockedWith.end())
        m_lockedWith.push_back(window);
}

void CUpdaterDlg::UnlockWith(wnd::Handle window)
{
    std::erase(m_lockedWith, window);
}

bool LockControlProc(wnd::Handle hWnd, void* param)
{
    static_cast<CUpdaterDlg*>(param)->SaveAndDisable(hWnd);
    return true;
}

void CUpdaterDlg::SaveAndDisable(wnd::Handle hWnd)
{
    auto state = std::make_unique<SavedWindowState>();
    state->bEnabled = wnd::IsWindowEnabled(hWnd) ? 1 : 0;
    state->hWnd = hWnd;
    m_savedStates.push_back(std::move(state));
    wnd::EnableWindow(hWnd, false);
}

void CUpdaterDlg::UnlockControls()
{
    for (const auto& state : m_savedStates)
        wnd::EnableWindow(state->hWnd, state->bEnabled != 0);
    ClearSavedStates();
}

void CUpdaterDlg::ClearSavedStates()
{
    for (auto& state : m_savedStates)
        state.reset();
    m_savedStates.clear();
    m_savedStates.shrink_to_fit();
}
