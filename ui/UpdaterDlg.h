#pragma once
// The program's one main window: choose a HEX file, see its checksum, send the
// image to the controller on a worker thread while a 5 ms timer moves the bar.
//
// For the app shell: construct it with no parent and DoModal() it; it ends
// only through OnCancel ("Salir", Escape, the close box), never during an
// update. OnInitDialog appends the About item (IDM_ABOUTBOX) to the system
// menu; a chosen item reaches OnSysCommand, which hands it to the handler the
// app shell installs with SetSysCommandHandler.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "firmware/FirmwareUpdater.h"
#include "ui/Dialog.h"

// One record of the control lock-out.
struct SavedWindowState {
    std::int32_t bEnabled;  // the window's own enabled flag before the lock-out (not its parent's)
    wnd::Handle hWnd;
};

class CUpdaterDlg : public CDialog {
public:
    explicit CUpdaterDlg(CDialog* parent = nullptr);
    ~CUpdaterDlg() override;

    // Handles WM_SYSCOMMAND when it returns true; otherwise the window's
    // default handling runs.
    using SysCommandHandler = bool (*)(CUpdaterDlg& dialog, unsigned nID, std::intptr_t lParam);
    static SysCommandHandler SetSysCommandHandler(SysCommandHandler handler);

    // Where the icon goes in a minimized client area.
    struct Point {
        int x, y;
        bool operator==(const Point&) const = default;
    };
    static Point IconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

    // True from an OnOK that starts a worker until that worker's RunUpdate has
    // ended. UI thread only.
    bool IsUpdateRunning() const { return m_updateRunning; }

    // Message handlers.
    bool OnSysCommand(unsigned nID, std::intptr_t lParam) override;
    bool OnPaint() override;
    wnd::Icon OnQueryDragIcon() const override { return m_hIcon; }
    void OnOpenHex();
    // Loads `path` as "Abrir HEX" loads the file chosen, the path box then
    // showing `shown`: for a file that came to the program another way (a
    // page's published release). Nothing happens while an update runs.
    void OpenHexFile(const std::string& path, const std::string& shown);
    // The same for a file's bytes already in memory (a release downloaded and
    // checked): read straight from there, as the command-line tool does.
    void OpenHexBytes(const void* data, std::size_t size, const std::string& shown);
    void OnTimer(std::uintptr_t nIDEvent) override;
    void OnOK() override;
    void OnCancel() override;

    // The update worker and the control lock-out. The lock-out takes in the
    // controls of the windows given to LockWith as well (the release
    // chooser beside the dialog), until they go (UnlockWith).
    void LockWith(wnd::Handle window);
    void UnlockWith(wnd::Handle window);
    void RunUpdate();
    void LockControls();
    void SaveAndDisable(wnd::Handle hWnd);
    void UnlockControls();
    void ClearSavedStates();
    const std::vector<std::unique_ptr<SavedWindowState>>& SavedStates() const { return m_savedStates; }

    CFirmwareUpdater& Updater() { return m_updater; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    bool OnCommand(int id) override;

private:
    // "No se puede abrir el archivo", and why on a second line.
    void TellCannotOpen(const std::string& reason);
    // The path box shows `shown`, the checksum box the image's sum.
    void ShowLoaded(const std::string& shown);
    // A box owned by the dialog, captioned with the application's name.
    void ShowResultBox(const std::string& text);

    std::vector<std::unique_ptr<SavedWindowState>> m_savedStates;
    std::vector<wnd::Handle> m_lockedWith;
    CProgressCtrl m_progress;  // attached to IDC_PROGRESS by the first data exchange
    std::string m_strPercent;
    std::string m_strFilePath;
    std::string m_strChecksum;
    wnd::Icon m_hIcon;
    CFirmwareUpdater m_updater;

    bool m_updateRunning = false;  // UI thread only

    friend unsigned UpdateThreadProc(void* param);
};

// The worker's thread procedure: `param` is the dialog.
unsigned UpdateThreadProc(void* param);
// The lock-out's enumeration callback: `param` is the dialog.
bool LockControlProc(wnd::Handle hWnd, void* param);
