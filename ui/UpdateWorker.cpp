// "ACTUALIZAR": one update on a worker thread, and the lock-out that keeps the
// user away from the controls while the image is sent.

#include <QProgressBar>
#include <QWidget>

#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "ui/MessageBox.h"
#include "ui/UiThread.h"
#include "ui/UpdaterDlg.h"

namespace {

// The widget's own flag, as setEnabled left it, not what its parent makes of
// it: Qt keeps that in WA_ForceDisabled (WA_Disabled follows the parent too).
bool IsWindowEnabled(QWidget* window)
{
    bool enabled = false;
    SendToWindow(window, [&] { enabled = !window->testAttribute(Qt::WA_ForceDisabled); });
    return enabled;
}

void EnableWindow(QWidget* window, bool enable)
{
    SendToWindow(window, [&] { window->setEnabled(enable); });
}

void CollectChildWindows(QWidget* parent, std::vector<QWidget*>& out)
{
    for (QObject* child : parent->children()) {
        auto* window = qobject_cast<QWidget*>(child);
        if (!window || window->isWindow())
            continue;
        out.push_back(window);
        CollectChildWindows(window, out);
    }
}

// Every descendant window, children before their own children; the list is
// taken first, then the callback runs for each until it returns false.
void EnumChildWindows(QWidget* parent, bool (*callback)(QWidget*, void*), void* param)
{
    std::vector<QWidget*> windows;
    SendToWindow(parent, [&] { CollectChildWindows(parent, windows); });
    for (QWidget* window : windows) {
        if (!callback(window, param))
            break;
    }
}

}  // namespace

void CUpdaterDlg::OnOK()
{
    // One update at a time: the lock-out only starts once the worker has
    // opened the controller, so a second press could slip in before it.
    if (m_updateRunning)
        return;
    m_updateRunning = true;
    try {
        std::thread(UpdateThreadProc, static_cast<void*>(this)).detach();
    } catch (const std::system_error&) {
        m_updateRunning = false;  // no thread, no update, nothing to report
    }
}

void CUpdaterDlg::OnCancel()
{
    // The worker uses the dialog and the updater until it ends.
    if (m_updateRunning)
        return;
    QDialog::reject();
}

void CUpdaterDlg::accept()
{
    OnOK();
}

void CUpdaterDlg::reject()
{
    OnCancel();
}

quint32 UpdateThreadProc(void* param)
{
    auto* dialog = static_cast<CUpdaterDlg*>(param);
    dialog->RunUpdate();
    // Only now may the dialog close or start another update.
    SendToWindow(dialog, [dialog] { dialog->m_updateRunning = false; });
    return 0;
}

void CUpdaterDlg::ShowResultBox(const QString& text)
{
    SendToWindow(this, [&] { ShowMessageBox(this, text); });
}

void CUpdaterDlg::RunUpdate()
{
    if (!m_updater.IsHexLoaded()) {
        ShowResultBox(QStringLiteral("Debes elegir un archivo"));
        return;
    }
    m_updater.OpenController();
    if (!m_updater.IsControllerOpen()) {
        ShowResultBox(QStringLiteral("Mando no conectado"));
        return;
    }
    LockControls();
    SendToWindow(m_progress, [this] { m_progress->setRange(0, 10000); });
    SendToWindow(m_progress, [this] { m_progress->setValue(0); });
    SendToWindow(this, [this] { SetTimer(0, 5); });
    const int succeeded = m_updater.Download();
    SendToWindow(this, [this] { KillTimer(0); });
    UnlockControls();
    if (succeeded) {
        ShowResultBox(QStringLiteral("Actualización OK!!!!"));
        m_updater.CloseController();
    } else {
        ShowResultBox(QStringLiteral("Error sucedido!"));
    }
}

void CUpdaterDlg::LockControls()
{
    ClearSavedStates();
    EnumChildWindows(this, LockControlProc, this);
}

bool LockControlProc(QWidget* hWnd, void* param)
{
    static_cast<CUpdaterDlg*>(param)->SaveAndDisable(hWnd);
    return true;
}

void CUpdaterDlg::SaveAndDisable(QWidget* hWnd)
{
    auto state = std::make_unique<SavedWindowState>();
    state->bEnabled = IsWindowEnabled(hWnd) ? 1 : 0;
    state->hWnd = hWnd;
    m_savedStates.push_back(std::move(state));
    EnableWindow(hWnd, false);
}

void CUpdaterDlg::UnlockControls()
{
    for (const auto& state : m_savedStates)
        EnableWindow(state->hWnd, state->bEnabled != 0);
    ClearSavedStates();
}

void CUpdaterDlg::ClearSavedStates()
{
    for (auto& state : m_savedStates)
        state.reset();
    m_savedStates.clear();
    m_savedStates.shrink_to_fit();
}
