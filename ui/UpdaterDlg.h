#pragma once
// The program's one main window: choose a HEX file, see its checksum, send the
// image to the controller on a worker thread while a 5 ms timer moves the bar.
//
// For the app shell:
// - Construct it with no parent and exec() it; it ends only through OnCancel
//   ("Salir", Escape, the close box).
// - The window icon (m_hIcon) is QGuiApplication::windowIcon() at the time
//   the dialog is constructed: set the application icon first.
// - Message boxes take their caption from QCoreApplication::applicationName().
// - The system menu: Qt cannot reach the window manager's menu, so the dialog
//   keeps its own (GetSystemMenu), opened by a right click on the dialog or
//   Alt+Space. OnInitDialog appends the About item (IDM_ABOUTBOX). A chosen
//   item reaches OnSysCommand, which hands it to the handler the app shell
//   installs with SetSysCommandHandler; without one it does nothing.

#include <QDialog>
#include <QIcon>
#include <QPoint>
#include <QSize>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "firmware/FirmwareUpdater.h"

class QMenu;
class QProgressBar;

// One record of the control lock-out.
struct SavedWindowState {
    std::int32_t bEnabled;  // the window's own enabled flag before the lock-out (not its parent's)
    QWidget* hWnd;
};

class CUpdaterDlg : public QDialog {
    Q_OBJECT

public:
    explicit CUpdaterDlg(QWidget* parent = nullptr);
    ~CUpdaterDlg() override;

    using SysCommandHandler = void (*)(CUpdaterDlg& dialog, quint32 nID, qintptr lParam);
    static SysCommandHandler SetSysCommandHandler(SysCommandHandler handler);

    // The control with this template identifier (the first, for IDC_STATIC);
    // null before the window is created.
    QWidget* GetDlgItem(int id) const;
    QMenu* GetSystemMenu() const { return m_sysMenu; }

    // Timers on the dialog, by identifier, ticking on the UI thread into OnTimer.
    void SetTimer(quintptr nIDEvent, int elapseMs);
    void KillTimer(quintptr nIDEvent);
    bool IsTimerRunning(quintptr nIDEvent) const { return m_timers.count(nIDEvent) != 0; }

    // Where the icon goes in a minimized client area of `client` pixels.
    static QPoint IconOrigin(QSize client, QSize icon);

    // True from an OnOK that starts a worker until that worker's RunUpdate has ended.
    bool IsUpdateRunning() const { return m_updateRunning; }

    // Message handlers.
    virtual void OnSysCommand(quint32 nID, qintptr lParam);
    void OnOpenHex();
    void OnTimer(quintptr nIDEvent);
    QIcon OnQueryDragIcon() const { return m_hIcon; }

    virtual void OnOK();
    virtual void OnCancel();

    // The update worker and the control lock-out.
    void RunUpdate();
    void LockControls();
    void SaveAndDisable(QWidget* hWnd);
    void UnlockControls();
    void ClearSavedStates();
    const std::vector<std::unique_ptr<SavedWindowState>>& SavedStates() const { return m_savedStates; }

    CFirmwareUpdater& Updater() { return m_updater; }

    void setVisible(bool visible) override;
    void accept() override;
    void reject() override;

protected:
    // Members to controls when `saveAndValidate` is false, the other way when true.
    virtual void DoDataExchange(bool saveAndValidate);
    bool UpdateData(bool saveAndValidate);
    virtual bool OnInitDialog();

    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateFromTemplate();
    void CenterOnScreen();
    // From the worker: a box owned by the dialog, shown on the UI thread.
    void ShowResultBox(const QString& text);
    // Runs `handler` the way the framework runs a message handler: an error
    // that escapes it is shown in a stop box and the dialog runs on.
    template <class Handler>
    void RunHandler(Handler handler);

    std::vector<std::unique_ptr<SavedWindowState>> m_savedStates;
    QProgressBar* m_progress;  // attached to IDC_PROGRESS by the first data exchange
    QString m_strPercent;
    QString m_strFilePath;
    QString m_strChecksum;
    QIcon m_hIcon;
    CFirmwareUpdater m_updater;

    // What Qt needs beside the Windows members.
    bool m_created = false;
    bool m_updateRunning = false;  // UI thread only
    QMenu* m_sysMenu = nullptr;
    std::map<quintptr, int> m_timers;  // our identifier -> Qt's timer id

    friend quint32 UpdateThreadProc(void* param);
};

// The worker's thread procedure: `param` is the dialog.
quint32 UpdateThreadProc(void* param);
// The lock-out's enumeration callback: `param` is the dialog.
bool LockControlProc(QWidget* hWnd, void* param);
