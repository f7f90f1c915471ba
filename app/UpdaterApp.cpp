#include "app/UpdaterApp.h"

#include <QThread>
#include <QWidget>

#include <exception>
#include <new>

#include "app/AboutDlg.h"
#include "app/AppIcon.h"
#include "app/AppName.h"
#include "app/SystemMenu.h"
#include "firmware/FileException.h"
#include "ui/MessageBox.h"
#include "ui/Resource.h"
#include "ui/UpdaterDlg.h"

namespace {

// System commands with a default meaning on every platform.
constexpr quint32 SC_MINIMIZE = 0xF020;
constexpr quint32 SC_CLOSE = 0xF060;

// The framework's text when memory runs out.
const char* const kOutOfMemory = "内存不足。";
const char* const kUnknownError = "Error inesperado.";

}  // namespace

namespace detail {

ProgramPathOnly::ProgramPathOnly(int argc, char** argv)
    : m_argc(argc > 0 ? 1 : 0), m_argv{argc > 0 ? argv[0] : nullptr, nullptr}
{
}

}  // namespace detail

CUpdaterApp::CUpdaterApp(int argc, char** argv) : ProgramPathOnly(argc, argv), QApplication(m_argc, m_argv)
{
    setApplicationName(QString::fromStdString(AppNameFromModulePath(applicationFilePath().toStdString())));
    // Lets the desktop match the window with tolvanex-updater.desktop.
    setDesktopFileName(QStringLiteral("tolvanex-updater"));
    setWindowIcon(AppIcon());
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
    InstallSystemMenu(dlg);
    (void)dlg.exec();
    m_pMainWnd = nullptr;
    return 0;
}

bool CUpdaterApp::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // Windows belong to the UI thread; elsewhere there is nobody to tell.
        if (QThread::currentThread() != thread())
            throw;
        QWidget* owner = activeModalWidget();
        if (!owner)
            owner = m_pMainWnd;
        ShowStopBox(owner, CurrentExceptionText());
        return false;
    }
}

QString CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return QString::fromUtf8(kOutOfMemory);
    } catch (const CFileException& error) {
        return QString::fromUtf8(error.what());
    } catch (const std::exception& error) {
        const QString text = QString::fromUtf8(error.what());
        return text.isEmpty() ? QString::fromUtf8(kUnknownError) : text;
    } catch (...) {
        return QString::fromUtf8(kUnknownError);
    }
}

void AppSysCommand(CUpdaterDlg& dialog, quint32 nID, qintptr lParam)
{
    (void)lParam;
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(&dialog);
        (void)dlgAbout.exec();
        return;
    }
    switch (nID & 0xFFF0) {
    case SC_CLOSE:
        dialog.close();
        break;
    case SC_MINIMIZE:
        dialog.showMinimized();
        break;
    default:
        break;
    }
}
