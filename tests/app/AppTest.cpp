// The application shell with the real main dialog, headless: the name in the
// captions, arguments, the modal run, the About box and its command, and the
// catch-all for exceptions that leave a handler.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeHidPlatform.h"
#include "UiTestSupport.h"
#include "app/AboutDlg.h"
#include "app/UpdaterApp.h"
#include "ui/DialogTemplate.h"
#include "ui/Resource.h"
#include "ui/UpdaterDlg.h"
#include "ui/qt/DialogUnits.h"

extern CUpdaterApp* g_app;

namespace {

// The name the test binary was started by: its own, or that of a link to it
// (see CMakeLists.txt), which the captions show instead of the binary's.
const std::string kExpectedName =
    qEnvironmentVariable("TOLVANEX_STARTED_AS", QStringLiteral("tolvanex_app_tests")).toStdString();

using uitest::Item;
using uitest::PumpUntil;
using uitest::Win;
using wnd::qt::QtDialogWindow;

// The dialog behind a window of ours, if it is one.
CDialog* DialogOf(QWidget* window)
{
    auto* ours = qobject_cast<QtDialogWindow*>(window);
    return ours ? &ours->Dialog() : nullptr;
}

bool IsAboutBox(QWidget* window)
{
    const CDialog* dialog = DialogOf(window);
    return dialog && dialog->TemplateId() == IDD_ABOUTBOX;
}

struct Seen {
    bool about = false;
    QString caption;
    QString text;  // message boxes only
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
};

// Hands each new popup menu or modal window to `handle`, once, from a timer
// that keeps running inside their nested event loops.
class ModalWatcher {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> handle) : m_handle(std::move(handle))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start(5);
    }
    const std::vector<Seen>& SeenWindows() const { return m_seen; }

private:
    void Poll()
    {
        QWidget* window = QApplication::activePopupWidget();
        if (!window)
            window = QApplication::activeModalWidget();
        if (!window || !window->isVisible() || window->property("watcherSeen").toBool())
            return;
        window->setProperty("watcherSeen", true);
        Seen seen{IsAboutBox(window), window->windowTitle(), {}, {}, window->parentWidget()};
        if (auto* box = qobject_cast<QMessageBox*>(window)) {
            seen.text = box->text();
            seen.icon = box->icon();
        }
        m_seen.push_back(seen);
        m_handle(window);
    }

    std::function<void(QWidget*)> m_handle;
    QTimer m_timer;
    std::vector<Seen> m_seen;
};

void PressFirstButton(QWidget* window)
{
    if (auto* box = qobject_cast<QMessageBox*>(window))
        box->buttons().front()->click();
}

int CountAboutBoxes()
{
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        count += IsAboutBox(window) && window->isVisible();
    return count;
}

QString TextOf(QWidget* control)
{
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    return {};
}

// The main dialog, shown (not run modally) so that a test can drive it.
class ShownDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dlg.Create());
        ASSERT_TRUE(PumpUntil([this] { return Win(m_dlg)->isVisible(); }));
    }
    void TearDown() override
    {
        ASSERT_FALSE(m_dlg.IsUpdateRunning());
        Win(m_dlg)->hide();
    }

    // What the user sees of the main dialog, to compare before and after.
    QStringList State()
    {
        QStringList state;
        for (int id : {IDC_FILE_PATH, IDC_CHECKSUM, IDC_PERCENT})
            state << TextOf(Item(m_dlg, id));
        state << QString::number(Win(m_dlg)->isVisible()) << QString::number(Win(m_dlg)->isEnabled())
              << QString::number(Item(m_dlg, IDOK)->isEnabled()) << Win(m_dlg)->windowTitle();
        return state;
    }

    CUpdaterDlg m_dlg;
};

TEST(AppShell, NameIsTheExecutablesFileNameEvenInADottedFolder)
{
    const QString path = QCoreApplication::applicationFilePath();
    ASSERT_TRUE(path.contains(QStringLiteral("/."))) << "the test binary should sit in a dotted folder: "
                                                     << path.toStdString();
    EXPECT_EQ(AfxGetAppName(), kExpectedName);
}

TEST(AppShell, ArgumentsReachNeitherQtNorTheWindow)
{
    EXPECT_EQ(QCoreApplication::arguments().size(), 1);
    EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);  // not "-reverse"
    EXPECT_NE(QApplication::style()->name(), QStringLiteral("windows"));

    CUpdaterDlg dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(TextOf(Item(dlg, IDC_FILE_PATH)), QString());
    EXPECT_EQ(dlg.Updater().IsHexLoaded(), 0);
    EXPECT_EQ(Win(dlg)->layoutDirection(), Qt::LeftToRight);
}

TEST(AppShell, InitInstanceRunsTheDialogModallyAndWritesNothing)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/data"));

    CUpdaterApp* app = g_app;
    bool wasMainWindow = false;
    bool hadIcon = false;
    bool hadParent = true;
    ModalWatcher watcher([&](QWidget* window) {
        auto* dlg = dynamic_cast<CUpdaterDlg*>(DialogOf(window));
        if (!dlg)
            return;
        wasMainWindow = app->MainWindow() == dlg;
        hadIcon = !window->windowIcon().isNull();
        hadParent = window->parentWidget() != nullptr;
        window->close();  // the close box
    });
    EXPECT_EQ(app->InitInstance(), 0);

    qputenv("XDG_CONFIG_HOME", oldConfig);
    qputenv("XDG_DATA_HOME", oldData);
    ASSERT_EQ(watcher.SeenWindows().size(), 1u);
    EXPECT_TRUE(wasMainWindow);
    EXPECT_TRUE(hadIcon);
    EXPECT_FALSE(hadParent);
    EXPECT_EQ(app->MainWindow(), nullptr);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        EXPECT_EQ(DialogOf(window), nullptr) << "the dialog's window outlived InitInstance";
    }
    EXPECT_TRUE(QDir(home.path()).isEmpty()) << "something was written under the user's folders";
}

TEST(AboutBox, TemplateInPixels)
{
    CAboutDlg about;
    ASSERT_TRUE(about.Create());
    QtDialogWindow* window = Win(about);
    const QSize base = DialogBaseUnits(DialogFont(*FindDialogTemplate(IDD_ABOUTBOX)));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Sobre el Updater"));
    EXPECT_EQ(window->size(), DialogUnitsToPixels(QSize(235, 55), base));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->isVisible());  // no WS_VISIBLE in its template

    const auto buttons = window->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    QPushButton* ok = buttons.front();
    EXPECT_EQ(ok, Item(about, IDOK));
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->geometry(), DialogUnitsToPixels(QRect(178, 7, 50, 14), base));

    const auto labels = window->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 2);
    QLabel* icon = labels[0];
    QLabel* text = labels[1];
    EXPECT_EQ(icon->geometry(), DialogUnitsToPixels(QRect(11, 15, 20, 20), base));
    ASSERT_FALSE(icon->pixmap().isNull());
    EXPECT_LE(icon->pixmap().width(), icon->width());
    EXPECT_GE(icon->pixmap().width(), 16);
    EXPECT_EQ(text->geometry(), DialogUnitsToPixels(QRect(42, 21, 131, 10), base));
    EXPECT_TRUE(text->text().startsWith(QStringLiteral("v1.0 "))) << text->text().toStdString();
    EXPECT_TRUE(text->text().contains(QStringLiteral("Tolvanex")));
    // One line that fits its control.
    EXPECT_LE(text->fontMetrics().horizontalAdvance(text->text()), text->width());
    EXPECT_FALSE(text->wordWrap());

    window->show();
    ASSERT_TRUE(PumpUntil([&] { return window->isVisible(); }));
    EXPECT_TRUE(window->grab().save(QString::fromUtf8(TOLVANEX_ABOUT_PNG), "PNG"));
}

TEST_F(ShownDialog, AboutBoxClosesByOkEscapeAndCloseBox)
{
    const QStringList before = State();
    const std::vector<std::function<void(QWidget*)>> routes = {
        [](QWidget* about) { about->findChild<QPushButton*>()->click(); },
        [](QWidget* about) { QTest::keyClick(about, Qt::Key_Escape); },
        [](QWidget* about) { about->close(); },
        [](QWidget* about) { QTest::keyClick(about, Qt::Key_Return); },  // the default button
    };
    for (std::size_t route = 0; route < routes.size(); ++route) {
        ModalWatcher watcher([&](QWidget* window) {
            if (IsAboutBox(window))
                routes[route](window);
        });
        m_dlg.OnSysCommand(IDM_ABOUTBOX, 0);
        ASSERT_EQ(watcher.SeenWindows().size(), 1u) << "route " << route;
        EXPECT_TRUE(watcher.SeenWindows()[0].about);
        EXPECT_EQ(watcher.SeenWindows()[0].owner, Win(m_dlg));
        EXPECT_EQ(CountAboutBoxes(), 0);
        EXPECT_EQ(State(), before) << "route " << route;
    }
}

TEST_F(ShownDialog, LowFourBitsOfTheCommandAreIgnored)
{
    for (unsigned id = 0x0010; id <= 0x001F; ++id) {
        ModalWatcher watcher([](QWidget* window) { window->close(); });
        Win(m_dlg)->SysCommand(id);
        EXPECT_EQ(watcher.SeenWindows().size(), 1u) << std::hex << id;
    }
    for (unsigned id : {0x0000u, 0x0020u, 0x0110u, 0xF010u, 0xF060u}) {
        ModalWatcher watcher([](QWidget* window) { window->close(); });
        Win(m_dlg)->SysCommand(id);
        QApplication::processEvents();
        EXPECT_TRUE(watcher.SeenWindows().empty()) << std::hex << id;
    }
    // 0xF060 is SC_CLOSE: its default handling closed the dialog.
    EXPECT_FALSE(Win(m_dlg)->isVisible());
}

TEST_F(ShownDialog, ContextMenuOffersTheAboutItem)
{
    QStringList items;
    ModalWatcher watcher([&](QWidget* window) {
        if (auto* menu = qobject_cast<QMenu*>(window)) {
            for (QAction* action : menu->actions()) {
                items << action->text();
                if (action->text() == QStringLiteral("&Sobre el Updater..."))
                    menu->setActiveAction(action);
            }
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            window->close();
        }
    });
    const QPoint pos(Win(m_dlg)->width() / 2, Win(m_dlg)->height() - 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, Win(m_dlg)->mapToGlobal(pos));
    QApplication::sendEvent(Win(m_dlg), &event);

    EXPECT_TRUE(items.contains(QStringLiteral("&Sobre el Updater...")));
    ASSERT_EQ(watcher.SeenWindows().size(), 2u);
    EXPECT_TRUE(watcher.SeenWindows()[1].about);
    EXPECT_TRUE(Win(m_dlg)->isVisible());
}

TEST_F(ShownDialog, F1DoesNothing)
{
    const QStringList before = State();
    ModalWatcher watcher([](QWidget* window) { window->close(); });
    QTest::keyClick(Win(m_dlg), Qt::Key_F1);
    uitest::PumpFor(100);
    EXPECT_TRUE(watcher.SeenWindows().empty());
    EXPECT_EQ(State(), before);
}

TEST_F(ShownDialog, ExceptionLeavingAHandlerIsShownAndTheDialogRunsOn)
{
    // A control whose handler fails, as OnOpenHex can when memory runs out.
    std::function<void()> failure;
    auto* button = new QPushButton(QStringLiteral("x"), Win(m_dlg));
    button->setGeometry(0, 0, 20, 20);
    button->show();
    QObject::connect(button, &QPushButton::clicked, [&] { failure(); });

    ModalWatcher watcher(PressFirstButton);
    failure = [] { throw std::bad_alloc(); };
    QTest::mouseClick(button, Qt::LeftButton);
    failure = [] { throw std::runtime_error("fallo de prueba"); };
    QTest::mouseClick(button, Qt::LeftButton);
    failure = [] { throw 42; };
    QTest::mouseClick(button, Qt::LeftButton);

    const auto& seen = watcher.SeenWindows();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].text, QString::fromUtf8("内存不足。"));
    EXPECT_EQ(seen[1].text, QStringLiteral("fallo de prueba"));
    EXPECT_FALSE(seen[2].text.isEmpty());
    for (const Seen& box : seen) {
        EXPECT_EQ(box.caption.toStdString(), kExpectedName);
        EXPECT_EQ(box.icon, QMessageBox::Critical);
    }
    EXPECT_TRUE(Win(m_dlg)->isVisible());
    delete button;
}

TEST_F(ShownDialog, WorkerMessagesCarryTheExecutablesName)
{
    fakehid::Platform platform;
    fakehid::ScopedPlatform scoped(platform);
    ModalWatcher watcher(PressFirstButton);
    auto runUpdate = [&](std::size_t boxes) {
        m_dlg.OnOK();
        return PumpUntil([&] { return !m_dlg.IsUpdateRunning() && watcher.SeenWindows().size() == boxes; });
    };

    ASSERT_TRUE(runUpdate(1));  // no file chosen

    QTemporaryDir dir;
    const QString hex = dir.filePath(QStringLiteral("fw.hex"));
    QFile file(hex);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(":02000000AABB99\n:00000001FF\n");
    file.close();
    ASSERT_NE(m_dlg.Updater().LoadHexFile(QFile::encodeName(hex).constData()), 0);
    ASSERT_TRUE(runUpdate(2));  // no controller

    platform.SetInterfaces({fakehid::Controller()});
    ASSERT_TRUE(runUpdate(3));

    fakehid::Interface failing = fakehid::Controller();
    failing.failWriteAt = 3;
    failing.writeError = SysErrorOf(ENODEV);  // unplugged
    platform.SetInterfaces({failing});
    ASSERT_TRUE(runUpdate(4));

    const auto& seen = watcher.SeenWindows();
    const QStringList expected = {QStringLiteral("Debes elegir un archivo"), QStringLiteral("Mando no conectado"),
                                  QString::fromUtf8("Actualización OK!!!!"),
                                  QStringLiteral("Error sucedido!\nel mando se ha desconectado")};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(seen[static_cast<std::size_t>(i)].text, expected[i]);
        EXPECT_EQ(seen[static_cast<std::size_t>(i)].caption.toStdString(), kExpectedName);
        EXPECT_EQ(seen[static_cast<std::size_t>(i)].icon, QMessageBox::NoIcon);
        EXPECT_EQ(seen[static_cast<std::size_t>(i)].owner, Win(m_dlg));
    }
}

}  // namespace
