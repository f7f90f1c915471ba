#include "ui/UpdaterDlg.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "firmware/ByteSource.h"
#include "sys/ErrorText.h"
#include "ui/FileDialog.h"
#include "ui/Resource.h"

namespace {

const char* const kHexFilter = "Archivo HEX Actualización (*.hex)  |*.hex|Todo tipo (*.*)|*.*||";
const char* const kCannotOpen = "No se puede abrir el archivo";

CUpdaterDlg::SysCommandHandler g_sysCommandHandler = nullptr;

}  // namespace

CUpdaterDlg::CUpdaterDlg(CDialog* parent) : CDialog(IDD_UPDATER_DIALOG, parent), m_hIcon(wnd::LoadAppIcon())
{
}

CUpdaterDlg::~CUpdaterDlg() = default;

CUpdaterDlg::SysCommandHandler CUpdaterDlg::SetSysCommandHandler(SysCommandHandler handler)
{
    return std::exchange(g_sysCommandHandler, handler);
}

void CUpdaterDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Text(pDX, IDC_PERCENT, m_strPercent);
    DDX_Text(pDX, IDC_FILE_PATH, m_strFilePath);
    DDX_Text(pDX, IDC_CHECKSUM, m_strChecksum);
}

bool CUpdaterDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (wnd::Menu sysMenu = wnd::GetSystemMenu(m_hWnd, false)) {
        const std::string aboutText = wnd::LoadStringResource(IDS_ABOUTBOX);
        if (!aboutText.empty()) {
            wnd::AppendMenuItem(sysMenu, wnd::kMfSeparator, 0, std::string());
            wnd::AppendMenuItem(sysMenu, wnd::kMfString, IDM_ABOUTBOX, aboutText);
        }
    }

    // One icon serves as both the big and the small one.
    wnd::SetIcon(m_hWnd, m_hIcon, true);
    wnd::SetIcon(m_hWnd, m_hIcon, false);
    return true;
}

bool CUpdaterDlg::OnCommand(int id)
{
    if (id == IDC_OPEN_HEX) {
        OnOpenHex();
        return true;
    }
    return CDialog::OnCommand(id);
}

bool CUpdaterDlg::OnSysCommand(unsigned nID, std::intptr_t lParam)
{
    return g_sysCommandHandler != nullptr && g_sysCommandHandler(*this, nID, lParam);
}

CUpdaterDlg::Point CUpdaterDlg::IconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight)
{
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

bool CUpdaterDlg::OnPaint()
{
    if (!wnd::IsIconic(m_hWnd))
        return false;
    int clientWidth = 0, clientHeight = 0, iconWidth = 0, iconHeight = 0;
    wnd::ClientSize(m_hWnd, &clientWidth, &clientHeight);
    wnd::IconMetrics(&iconWidth, &iconHeight);
    const Point at = IconOrigin(clientWidth, clientHeight, iconWidth, iconHeight);
    wnd::PaintIconAt(m_hWnd, m_hIcon, at.x, at.y);
    return true;
}

void CUpdaterDlg::OnOpenHex()
{
    // The lock-out starts only once the controller is open; until then the
    // button still works, and a file chosen then would be loaded while the
    // download reads the image.
    if (m_updateRunning)
        return;

    CFileDialog fileDialog(true, "*.hex", m_strFilePath, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kHexFilter, this);
    // In Spanish as the window is, not in the language of the system.
    fileDialog.SetTitle("Abrir HEX");
    if (fileDialog.DoModal() != IDOK)
        return;
    OpenHexFile(fileDialog.GetPathName(), fileDialog.GetPathName());
}

void CUpdaterDlg::OpenHexFile(const std::string& path, const std::string& shown)
{
    if (m_updateRunning)
        return;
    // A file that does not open or cannot be read leaves everything as it was,
    // so the screen never shows a path beside another file's checksum.
    std::optional<CWaitCursor> wait(std::in_place);  // a big file on a slow disk takes a moment
    if (!m_updater.LoadHexFile(path.c_str())) {
        wait.reset();
        TellCannotOpen(SysErrorText(m_updater.OpenError()));
        return;
    }
    ShowLoaded(shown);
}

void CUpdaterDlg::OpenHexBytes(const void* data, std::size_t size, const std::string& shown)
{
    if (m_updateRunning)
        return;
    CMemoryByteSource source(data, size);
    {
        CWaitCursor wait;
        m_updater.LoadHex(source);
    }
    ShowLoaded(shown);
}

void CUpdaterDlg::ShowLoaded(const std::string& shown)
{
    m_strFilePath = shown;
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "%.4X", static_cast<unsigned>(m_updater.ComputeChecksum()));
    m_strChecksum = checksum;
    UpdateData(false);
}

void CUpdaterDlg::TellCannotOpen(const std::string& reason)
{
    AfxMessageBox(m_hWnd, std::string(kCannotOpen) + "\n" + reason);
}

void CUpdaterDlg::OnTimer(std::uintptr_t nIDEvent)
{
    if (nIDEvent == 0 && m_progress.m_hWnd != nullptr)
        m_progress.SetPos(m_updater.GetProgress());
}
