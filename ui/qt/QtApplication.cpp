// The Qt start-up: one QApplication for the program's life, given only the
// program's path, so that no command-line option of Qt's (-reverse, -style,
// ...) reaches the window.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QThread>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "ui/Dialog.h"
#include "ui/WindowApp.h"
#include "ui/qt/AppIcon.h"
#include "ui/qt/FirstPaintReport.h"
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
            const bool handled = QApplication::notify(receiver, event);
            m_firstPaint.Handled(receiver, event);
            return handled;
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

private:
    FirstPaintReport m_firstPaint;
};

// While Qt starts: a start without a display, which Qt ends with English
// words and an abort, ends with Spanish ones and status 1 instead. Qt's other
// messages of the start are held, then passed on.
class StartUpGuard {
public:
    StartUpGuard() { m_previous = qInstallMessageHandler(Hold); }
    ~StartUpGuard() { Release(); }
    StartUpGuard(const StartUpGuard&) = delete;
    StartUpGuard& operator=(const StartUpGuard&) = delete;

    void Release()
    {
        if (!m_active)
            return;
        m_active = false;
        qInstallMessageHandler(m_previous);
        for (const Message& m : Held()) {
            if (AboutRuntimeFolder(m.text))
                continue;
            const QMessageLogContext context(nullptr, 0, nullptr, m.category.constData());
            qt_message_output(m.type, context, m.text);
        }
        Held().clear();
    }

private:
    struct Message {
        QtMsgType type;
        QByteArray category;
        QString text;
    };
    static std::vector<Message>& Held()
    {
        static std::vector<Message> held;
        return held;
    }
    // Started under sudo or su, XDG_RUNTIME_DIR is unset or another user's:
    // Qt says so in English and goes on with a folder of its own, and there
    // is nothing for the user to do about it.
    static bool AboutRuntimeFolder(const QString& text)
    {
        return text.startsWith(QLatin1String("QStandardPaths: ")) &&
               (text.contains(QLatin1String("XDG_RUNTIME_DIR")) || text.contains(QLatin1String("runtime directory")));
    }
    static void Hold(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type == QtFatalMsg) {
            std::fputs("tolvanex-updater: no hay pantalla donde abrir la ventana (revise DISPLAY o "
                       "WAYLAND_DISPLAY); sin pantalla, use tolvanex-cli\n",
                       stderr);
            std::_Exit(1);
        }
        Held().push_back({type, QByteArray(context.category), text});
    }

    QtMessageHandler m_previous = nullptr;
    bool m_active = true;
};

// The words of the file dialog's type column that Qt's Spanish catalogue
// lacks; everything else is left to that catalogue.
class FileTypesInSpanish final : public QTranslator {
public:
    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* source, const char*, int) const override
    {
        static const std::pair<const char*, const char*> kWords[] = {
            {"Folder", "Carpeta"},
            {"Drive", "Unidad"},
            {"Unknown", "Desconocido"},
        };
        if (context == nullptr || source == nullptr || std::strcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        for (const auto& [english, spanish] : kWords)
            if (std::strcmp(source, english) == 0)
                return QString::fromUtf8(spanish);
        return {};
    }
};

}  // namespace

struct Application::Impl {
    Impl(int argc, char** argv)
        : m_argc(argc > 0 ? 1 : 0), m_argv{argc > 0 ? argv[0] : nullptr, nullptr}, m_app(m_argc, m_argv)
    {
        m_startUp.Release();
        // Lets the desktop match the window with es.tolvanex.updater.desktop.
        QGuiApplication::setDesktopFileName(QStringLiteral("es.tolvanex.updater"));
        // The rest once the first window has painted (QtDialogWindow).
        QGuiApplication::setWindowIcon(EarlyIcon(AppIcon()));
        // Qt's own texts (the file dialog, the buttons of a box, the edit
        // box's menu) in Spanish, as the program's own are, whatever the locale.
        if (m_qtSpanish.load(QStringLiteral("qtbase_es"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&m_qtSpanish);
        QCoreApplication::installTranslator(&m_fileTypes);  // asked first
        // And its numbers, dates and file types (the file dialog's columns).
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    }

    int m_argc;
    char* m_argv[2];
    StartUpGuard m_startUp;
    UpdaterQtApplication m_app;
    QTranslator m_qtSpanish;
    FileTypesInSpanish m_fileTypes;
};

Application::Application(int argc, char** argv) : m_impl(std::make_unique<Impl>(argc, argv))
{
}

Application::~Application() = default;

int Application::Run()
{
    return QApplication::exec();
}

}  // namespace wnd
