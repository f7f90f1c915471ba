#pragma once
// The application object: names the program after its executable, shows the
// main dialog modally and ends when it closes. It reads no arguments and
// writes no settings.

#include <QApplication>

class CUpdaterDlg;

namespace detail {
// Holds the argument vector that Qt gets: the program's path alone, so that no
// command-line option of Qt's (-reverse, -style, ...) reaches the window.
// A base class, so that it exists before QApplication is built on it.
struct ProgramPathOnly {
    ProgramPathOnly(int argc, char** argv);
    int m_argc;
    char* m_argv[2];
};
}  // namespace detail

// No Q_OBJECT: moc wants QObject as the first base, and nothing here needs it.
class CUpdaterApp : private detail::ProgramPathOnly, public QApplication {
public:
    CUpdaterApp(int argc, char** argv);
    ~CUpdaterApp() override;

    // Shows the main dialog modally; returns FALSE (0): there is no message
    // loop after it.
    virtual int InitInstance();

    CUpdaterDlg* MainWindow() const { return m_pMainWnd; }

    // An exception that leaves a handler is shown in a stop box captioned
    // with the application's name, and the event loop carries on.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    CUpdaterDlg* m_pMainWnd = nullptr;
};

// WM_SYSCOMMAND of the main dialog: IDM_ABOUTBOX in the high twelve bits opens
// the About box; everything else gets the window's default handling.
void AppSysCommand(CUpdaterDlg& dialog, quint32 nID, qintptr lParam);

// The text of the stop box for an exception caught at the application level;
// call from inside a catch block.
QString CurrentExceptionText();
