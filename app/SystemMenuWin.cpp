// Windows only: the About item in the dialog's real system menu.
#include "app/SystemMenu.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QObject>

#include "ui/Resource.h"
#include "ui/UpdaterDlg.h"

// After our identifiers: windows.h defines IDOK and IDCANCEL as macros.
#include <windows.h>

namespace {

// A child of the dialog, so it stops filtering when the dialog goes.
class SysCommandFilter final : public QObject, public QAbstractNativeEventFilter {
public:
    explicit SysCommandFilter(CUpdaterDlg& dialog)
        : QObject(&dialog), m_dialog(dialog), m_hWnd(reinterpret_cast<HWND>(dialog.winId()))
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->hwnd != m_hWnd || msg->message != WM_SYSCOMMAND)
            return false;
        // Only our item; moving, closing and the rest stay with DefWindowProc.
        if ((static_cast<UINT>(msg->wParam) & 0xFFF0) != IDM_ABOUTBOX)
            return false;
        m_dialog.OnSysCommand(static_cast<quint32>(msg->wParam), static_cast<qintptr>(msg->lParam));
        *result = 0;
        return true;
    }

private:
    CUpdaterDlg& m_dialog;
    HWND m_hWnd;
};

}  // namespace

void InstallSystemMenu(CUpdaterDlg& dialog)
{
    const QString text = LoadStringResource(IDS_ABOUTBOX);
    if (text.isEmpty())
        return;
    HMENU sysMenu = GetSystemMenu(reinterpret_cast<HWND>(dialog.winId()), FALSE);
    if (!sysMenu)
        return;
    AppendMenuW(sysMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(sysMenu, MF_STRING, IDM_ABOUTBOX, reinterpret_cast<const wchar_t*>(text.utf16()));
    new SysCommandFilter(dialog);
}
