// The Qt start-up: one QApplication for the program's life, given only the
// program's path, so that no command-line option of Qt's (-reverse, -style,
// ...) reaches the window.

#include <QApplication>
#include <QLibraryInfo>
#include <QThread>
#include <QTranslator>

#include "ui/Dialog.h"
#include "ui/WindowApp.h"
#include "ui/qt/AppIcon.h"
#include "ui/qt/QtDialogWindow.h"

namespace wnd {

namespace {

class UpdaterQtApplication final : public QApplication {
public:
    UpdaterQtApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    // An error that leaves an event handler is shown in a stop box, and the
    // event loop carries on.
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            // Windows belong to the UI thread; elsewhere there is nobody to tell.
            if (QThread::currentThread() != thread())
                throw;
            QWidget* owner = activeModalWidget();
            if (owner == nullptr)
                owner = activeWindow();
            CDialog::ReportCurrentException(qt::ToHandle(owner));
            return false;
        }
    }
};

}  // namespace

struct Application::Impl {
    Impl(int argc, char** argv) : m_argc(argc > 0 ? 1 : 0), m_argv{argc > 0 ? argv[0] : nullptr, nullptr}, m_app(m_argc, m_argv)
    {
        // Lets the desktop match the window with es.tolvanex.updater.desktop.
        QGuiApplication::setDesktopFileName(QStringLiteral("es.tolvanex.updater"));
        QGuiApplication::setWindowIcon(AppIcon());
        // Qt's own texts (the file dialog, the buttons of a box, the edit
        // box's menu) in Spanish, as the program's own are, whatever the locale.
        if (m_qtSpanish.load(QStringLiteral("qtbase_es"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&m_qtSpanish);
    }

    int m_argc;
    char* m_argv[2];
    UpdaterQtApplication m_app;
    QTranslator m_qtSpanish;
};

Application::Application(int argc, char** argv) : m_impl(std::make_unique<Impl>(argc, argv)) {}

Application::~Application() = default;

int Application::Run()
{
    return QApplication::exec();
}

}  // namespace wnd
