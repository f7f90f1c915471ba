#pragma once
// The Qt window of a CDialog: built from the dialog's template, it hands each
// event to the dialog the way the Windows dialog manager would. Tests reach
// it through the dialog's handle (see WindowOf).

#include <QDialog>
#include <QIcon>

#include <cstdint>
#include <map>

#include "ui/WindowPlatform.h"

class CDialog;
class QMenu;

namespace wnd::qt {

class QtDialogWindow final : public QDialog {
    Q_OBJECT

public:
    QtDialogWindow(CDialog& dialog, QWidget* owner);
    ~QtDialogWindow() override;

    CDialog& Dialog() const { return m_dialog; }
    // False when the template is missing.
    bool Build();

    // The window's system menu, made on first use. Its items reach SysCommand.
    QMenu* SystemMenu();
    // WM_SYSCOMMAND: the dialog's handler, then the default handling.
    void SysCommand(unsigned id);

    bool StartTimer(std::uintptr_t id, unsigned elapseMs);
    bool StopTimer(std::uintptr_t id);
    bool IsTimerRunning(std::uintptr_t id) const { return m_timers.count(id) != 0; }

    // WM_SETICON; until the window has painted, the window system gets the
    // early sizes (see EarlyIcon).
    void SetIcon(const QIcon& icon);

    // Ends a modal run (or hides a modeless window) with `result`.
    void EndModal(int result);

    void setVisible(bool visible) override;
    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CenterWindow();
    // After the first paint: this window's icon and the application's whole.
    void CompleteIcons();
    void OpenSystemMenu(const QPoint& at);

    CDialog& m_dialog;
    bool m_initialised = false;
    bool m_painted = false;
    QIcon m_icon;
    QMenu* m_systemMenu = nullptr;
    std::map<std::uintptr_t, int> m_timers;  // our identifier -> Qt's timer id
};

// The window and the widget behind a handle.
inline QWidget* Widget(Handle handle)
{
    return static_cast<QWidget*>(handle);
}
inline Handle ToHandle(QWidget* widget)
{
    return static_cast<void*>(widget);
}
// The window of a dialog that has one; null otherwise.
QtDialogWindow* WindowOf(const CDialog& dialog);

}  // namespace wnd::qt
