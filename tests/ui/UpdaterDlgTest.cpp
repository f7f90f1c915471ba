// The main dialog: layout in pixels, texts, the file choice and the timer.

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QListView>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <optional>

#include <sys/stat.h>

#include "UiTestSupport.h"
#include "firmware/FirmwareImage.h"
#include "tests/support/FakeHidPlatform.h"
#include "tests/support/ReadsDenied.h"
#include "ui/DialogTemplate.h"
#include "ui/FileDialog.h"
#include "ui/Resource.h"
#include "ui/UpdaterDlg.h"
#include "ui/WindowPlatform.h"
#include "ui/qt/AppIcon.h"
#include "ui/qt/DialogUnits.h"

using uitest::BoxAnswerer;
using uitest::DataRecord;
using uitest::EndRecord;
using uitest::Item;
using uitest::Win;

namespace {

// Answers every file dialog with `path` (IDOK) or IDCANCEL when empty, and
// remembers the last dialog's settings.
struct FileChoice {
    struct Seen {
        bool open;
        std::string defaultExtension, fileName;
        unsigned flags;
        std::vector<std::pair<std::string, std::string>> filters;
        CDialog* owner;
        std::string title;
    };
    std::optional<QString> answer;
    std::vector<Seen> seen;

    FileChoice()
    {
        CFileDialog::SetRunner([this](CFileDialog& d) {
            seen.push_back(
                {d.IsOpenDialog(), d.DefaultExtension(), d.FileName(), d.Flags(), d.Filters(), d.Owner(), d.Title()});
            if (!answer)
                return IDCANCEL;
            d.SetPathName(answer->toStdString());
            return IDOK;
        });
    }
    ~FileChoice() { CFileDialog::SetRunner({}); }
};

QString Text(QWidget* w)
{
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    return {};
}

std::vector<std::uint8_t> ImageOf(CFirmwareUpdater& u)
{
    return std::vector<std::uint8_t>(u.Image(), u.Image() + kImageSize);
}

class UpdaterDlgTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dlg.Create());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Win(dlg)));
    }
    QString PathText() { return Text(Item(dlg, IDC_FILE_PATH)); }
    QString ChecksumText() { return Text(Item(dlg, IDC_CHECKSUM)); }
    QString PercentText() { return Text(Item(dlg, IDC_PERCENT)); }
    QProgressBar* Bar() { return qobject_cast<QProgressBar*>(Item(dlg, IDC_PROGRESS)); }
    void ClickOpenHex() { static_cast<QPushButton*>(Item(dlg, IDC_OPEN_HEX))->click(); }

    QTemporaryDir dir;
    CUpdaterDlg dlg;
};

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(MulDiv(395, 6, 4), 593);   // 592.5
    EXPECT_EQ(MulDiv(99, 12, 8), 149);   // 148.5
    EXPECT_EQ(MulDiv(7, 6, 4), 11);      // 10.5
    EXPECT_EQ(MulDiv(5, 5, 4), 6);       // 6.25
    EXPECT_EQ(MulDiv(-3, 3, 2), -5);     // -4.5
    EXPECT_EQ(MulDiv(3, -3, 2), -5);
    EXPECT_EQ(MulDiv(-3, -3, 2), 5);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(0x40000000, 4, 1), -1);  // beyond 32 bits
}

TEST(DialogUnits, MappedFontGivesTheSimSunBase)
{
    const QFont font = DialogFont(*FindDialogTemplate(IDD_UPDATER_DIALOG));
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("AR PL UMing CN"));
    EXPECT_EQ(QFontInfo(font).pointSize(), 9);
    EXPECT_EQ(DialogBaseUnits(font), QSize(6, 12));
}

TEST(AppIconTest, EachSizeIsWhatQtsOwnIconOfTheImagesGives)
{
    QIcon eager;
    for (int edge : {16, 20, 24, 32, 40, 48, 64, 128, 256})
        eager.addFile(QStringLiteral(":/icons/tolvanex-updater-%1.png").arg(edge), QSize(edge, edge));
    for (int asked : {16, 30, 48, 100, 300}) {
        SCOPED_TRACE(asked);
        const QSize size(asked, asked);
        EXPECT_EQ(AppIcon().actualSize(size), eager.actualSize(size));
        EXPECT_EQ(AppIcon().pixmap(size).toImage(), eager.pixmap(size).toImage());
    }
    EXPECT_EQ(EarlyIcon(AppIcon()).availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32)}));
}

TEST_F(UpdaterDlgTest, StartsWithEmptyTextsAndNoTemplatePlaceholders)
{
    EXPECT_EQ(PathText(), QString());
    EXPECT_EQ(ChecksumText(), QString());
    EXPECT_EQ(PercentText(), QString());
    for (QWidget* w : Win(dlg)->findChildren<QWidget*>()) {
        EXPECT_NE(Text(w), QStringLiteral("Static"));
        EXPECT_NE(Text(w), QStringLiteral("0%"));
    }
    ASSERT_NE(Bar(), nullptr);
    EXPECT_EQ(Bar()->value(), 0);
    EXPECT_FALSE(Bar()->isTextVisible());
    EXPECT_EQ(Win(dlg)->windowTitle(), QStringLiteral("Tolvanex Updater para SWITCH Controllers v1.0"));
    EXPECT_EQ(Text(Item(dlg, IDOK)), QStringLiteral("ACTUALIZAR"));
    EXPECT_EQ(Text(Item(dlg, IDCANCEL)), QStringLiteral("Salir"));
    EXPECT_EQ(Text(Item(dlg, IDC_OPEN_HEX)), QStringLiteral("Abrir HEX"));
    EXPECT_EQ(dlg.Updater().IsHexLoaded(), 0);
    // The dialog's font stays its own: Qt's dialogs keep the application's.
    EXPECT_NE(QApplication::font().family(), Win(dlg)->font().family());
    // Once painted, the window and the application have every size of the icon.
    EXPECT_TRUE(uitest::PumpUntil([&] { return Win(dlg)->windowIcon().availableSizes().size() == 9; }));
    EXPECT_EQ(QGuiApplication::windowIcon().availableSizes().size(), 9);
    // From then on an icon goes whole at once.
    QIcon one;
    one.addPixmap(AppIcon().pixmap(QSize(20, 20)));
    wnd::SetIcon(dlg.GetSafeHwnd(), &one, true);
    EXPECT_EQ(Win(dlg)->windowIcon().cacheKey(), one.cacheKey());
}

TEST_F(UpdaterDlgTest, ControlsSitAtTheirPixelRectangles)
{
    EXPECT_EQ(Win(dlg)->size(), QSize(593, 149));
    EXPECT_EQ(Win(dlg)->minimumSize(), Win(dlg)->maximumSize());
    const Qt::WindowFlags flags = Win(dlg)->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);

    struct Expected {
        const char* text;
        QRect rect;
    };
    // Template order; base units 6 x 12, halves rounded up.
    const Expected expected[] = {
        {"ACTUALIZAR", {354, 53, 99, 29}}, {"Salir", {467, 53, 104, 29}},  {"Archivo:", {11, 24, 63, 12}},
        {"", {75, 20, 380, 20}},           {"Abrir HEX", {467, 18, 102, 21}}, {"Checksum:", {11, 57, 57, 12}},
        {"", {77, 57, 137, 18}},           {"Progreso:", {14, 105, 57, 12}}, {"", {75, 102, 380, 21}},
        {"", {464, 102, 99, 18}},
    };
    std::vector<QWidget*> controls;
    for (QObject* child : Win(dlg)->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && !w->isWindow())
            controls.push_back(w);
    ASSERT_EQ(controls.size(), std::size(expected));
    for (std::size_t i = 0; i < controls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(controls[i]->geometry(), expected[i].rect);
        EXPECT_EQ(Text(controls[i]), QString::fromUtf8(expected[i].text));
        EXPECT_TRUE(controls[i]->isVisible());
    }
    auto* sunken = qobject_cast<QLabel*>(Item(dlg, IDC_CHECKSUM));
    ASSERT_NE(sunken, nullptr);
    EXPECT_EQ(sunken->frameShadow(), QFrame::Sunken);
}

TEST_F(UpdaterDlgTest, IsCentredOnTheScreen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(Win(dlg)->frameGeometry().center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(Win(dlg)->frameGeometry().center().y() - area.center().y()), 1);
}

TEST_F(UpdaterDlgTest, TabOrderFollowsTheTemplateFromActualizar)
{
    Win(dlg)->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Win(dlg)));
    EXPECT_EQ(QApplication::focusWidget(), Item(dlg, IDOK));
    const int order[] = {IDCANCEL, IDC_FILE_PATH, IDC_OPEN_HEX, IDOK};
    for (int id : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), Item(dlg, id)) << id;
    }
}

TEST(UpdaterDlgEnter, PressesTheFocusedButtonElseActualizar)
{
    // As the Windows dialog manager does: only "Salir" closes.
    enum class Does { Update, FileDialog, Close };
    struct Case {
        std::vector<int> focusPath;  // the controls that take the focus, in turn
        int key;
        Does does;
    };
    const Case cases[] = {
        {{IDOK}, Qt::Key_Return, Does::Update},
        {{IDC_FILE_PATH}, Qt::Key_Return, Does::Update},
        {{IDC_OPEN_HEX}, Qt::Key_Return, Does::FileDialog},
        {{IDCANCEL}, Qt::Key_Return, Does::Close},
        {{IDCANCEL}, Qt::Key_Enter, Does::Close},
        {{IDC_OPEN_HEX, IDC_FILE_PATH}, Qt::Key_Return, Does::Update},  // the default goes back to ACTUALIZAR
        {{IDCANCEL, IDOK}, Qt::Key_Enter, Does::Update},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "focus " << testing::PrintToString(c.focusPath)
                                        << (c.key == Qt::Key_Enter ? ", keypad Enter" : ", Return"));
        CUpdaterDlg dlg;
        ASSERT_TRUE(dlg.Create());
        Win(dlg)->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Win(dlg)));
        for (int id : c.focusPath)
            Item(dlg, id)->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), Item(dlg, c.focusPath.back()));
        EXPECT_TRUE(static_cast<QPushButton*>(Item(dlg, IDOK))->isDefault() == (c.does == Does::Update));

        FileChoice noFile;
        BoxAnswerer boxes;
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(c.key),
                        c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        // Nothing is loaded, so an update says so.
        if (c.does == Does::Update)
            ASSERT_TRUE(uitest::PumpUntil([&] { return !boxes.Seen().empty() && !dlg.IsUpdateRunning(); }));
        else
            uitest::PumpFor(20);
        QStringList texts;
        for (const QString& text : boxes.Texts())
            texts << text;
        EXPECT_EQ(texts.join(u'|').toStdString(), c.does == Does::Update ? "Debes elegir un archivo" : "");
        EXPECT_EQ(noFile.seen.size(), c.does == Does::FileDialog ? 1u : 0u);
        EXPECT_EQ(Win(dlg)->isVisible(), c.does != Does::Close);
        if (c.does == Does::Close) {
            EXPECT_EQ(Win(dlg)->result(), IDCANCEL);
        }
    }
}

TEST_F(UpdaterDlgTest, EscapeAndTheCloseBoxEndTheDialog)
{
    QTest::keyClick(Win(dlg), Qt::Key_Escape);
    EXPECT_FALSE(Win(dlg)->isVisible());
    EXPECT_EQ(Win(dlg)->result(), IDCANCEL);
    Win(dlg)->show();
    EXPECT_TRUE(Win(dlg)->close());
    EXPECT_FALSE(Win(dlg)->isVisible());
}

TEST_F(UpdaterDlgTest, ChoosingAFileShowsItsPathAndChecksum)
{
    // 193 bytes changed from 0xFF: 192 zeros and one 0xEA sum to 0x00AB in all.
    std::vector<std::uint8_t> bytes(193, 0x00);
    bytes[5] = 0xEA;
    std::string hex;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const auto end = std::min(at + 16, bytes.size());
        hex += DataRecord(static_cast<std::uint16_t>(0x100 + at), {bytes.begin() + static_cast<long>(at),
                                                                   bytes.begin() + static_cast<long>(end)});
    }
    const QString path = uitest::WriteFile(dir, QStringLiteral("firmware.hex"), hex + EndRecord());

    FileChoice choice;
    choice.answer = path;
    ClickOpenHex();
    ASSERT_EQ(choice.seen.size(), 1u);
    const auto& seen = choice.seen[0];
    EXPECT_TRUE(seen.open);
    EXPECT_EQ(seen.defaultExtension, "*.hex");
    EXPECT_EQ(seen.fileName, "");
    EXPECT_EQ(seen.flags, 6u);
    EXPECT_EQ(seen.owner, &dlg);
    EXPECT_EQ(seen.title, "Abrir HEX");
    const std::vector<std::pair<std::string, std::string>> filters{
        {"Archivo HEX Actualización (*.hex)  ", "*.hex"}, {"Todo tipo (*.*)", "*.*"}};
    EXPECT_EQ(seen.filters, filters);

    EXPECT_EQ(PathText(), path);
    EXPECT_EQ(ChecksumText(), QStringLiteral("00AB"));
    EXPECT_EQ(PercentText(), QString());
    EXPECT_EQ(dlg.Updater().IsHexLoaded(), 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor of the load is gone
}

TEST_F(UpdaterDlgTest, TheRealFileDialogCompletesATypedNameWithHex)
{
    const QString path = uitest::WriteFile(dir, QStringLiteral("fw.hex"), EndRecord());
    CFileDialog::SetRunner({});
    CFileDialog fileDialog(true, "*.hex", QDir(dir.path()).filePath(QStringLiteral("fw")).toStdString(), 6,
                           "HEX (*.hex)|*.hex||", &dlg);
    // Accepts the dialog; a complaint from it (no such file) ends it instead.
    QPointer<QFileDialog> shown;
    QTimer accepter;
    QObject::connect(&accepter, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* qt = qobject_cast<QFileDialog*>(modal)) {
            shown = qt;
            QMetaObject::invokeMethod(qt, "accept", Qt::QueuedConnection);
        } else if (modal != nullptr && shown) {
            modal->close();
            QMetaObject::invokeMethod(shown, "reject", Qt::QueuedConnection);
        }
    });
    accepter.start(10);
    EXPECT_EQ(fileDialog.DoModal(), IDOK);
    EXPECT_EQ(fileDialog.GetPathName(), path.toStdString());
}

TEST_F(UpdaterDlgTest, CancelChangesNothingAndTheFileDialogStartsFromTheLoadedFile)
{
    const QString path = uitest::WriteFile(dir, QStringLiteral("a.hex"), DataRecord(0, {0x01}) + EndRecord());
    FileChoice choice;
    choice.answer = path;
    ClickOpenHex();
    const auto image = ImageOf(dlg.Updater());
    static_cast<QLineEdit*>(Item(dlg, IDC_FILE_PATH))->setText(QStringLiteral("tecleado.hex"));

    choice.answer.reset();
    ClickOpenHex();
    ASSERT_EQ(choice.seen.size(), 2u);
    EXPECT_EQ(choice.seen[1].fileName, path.toStdString());  // the chosen path, not what was typed
    EXPECT_EQ(PathText(), QStringLiteral("tecleado.hex"));
    EXPECT_EQ(ChecksumText(), QStringLiteral("BF02"));
    EXPECT_EQ(ImageOf(dlg.Updater()), image);
}

TEST_F(UpdaterDlgTest, ChoosingAgainReloadsEvenTheSameFile)
{
    const QString path = uitest::WriteFile(dir, QStringLiteral("b.hex"), DataRecord(0, {0x00}) + EndRecord());
    FileChoice choice;
    choice.answer = path;
    ClickOpenHex();
    EXPECT_EQ(ChecksumText(), QStringLiteral("BF01"));
    uitest::WriteFile(dir, QStringLiteral("b.hex"), DataRecord(0x3FFF, {0x10}) + EndRecord());
    ClickOpenHex();
    EXPECT_EQ(ChecksumText(), QStringLiteral("BF11"));
    EXPECT_EQ(dlg.Updater().Image()[0], 0xFF);  // the first file's byte is gone
}

TEST_F(UpdaterDlgTest, InitialFileNameIsCutTo259Characters)
{
    QString deep = dir.path();
    while (deep.size() < 300)
        deep += QStringLiteral("/carpeta_bastante_larga");
    ASSERT_TRUE(QDir().mkpath(deep));
    const QString path = uitest::WriteFile(deep, QStringLiteral("x.hex"), EndRecord());
    FileChoice choice;
    choice.answer = path;
    ClickOpenHex();
    ASSERT_EQ(PathText(), path);
    ClickOpenHex();
    ASSERT_EQ(choice.seen.size(), 2u);
    EXPECT_EQ(choice.seen[1].fileName, path.left(259).toStdString());
}

TEST_F(UpdaterDlgTest, AFileThatDoesNotOpenSaysSoAndChangesNothing)
{
    for (bool loadedBefore : {false, true}) {
        SCOPED_TRACE(loadedBefore);
        FileChoice choice;
        if (loadedBefore) {
            choice.answer = uitest::WriteFile(dir, QStringLiteral("ok.hex"), DataRecord(2, {0x00}) + EndRecord());
            ClickOpenHex();
        }
        const QString pathBefore = PathText();
        const QString sumBefore = ChecksumText();
        const auto image = ImageOf(dlg.Updater());
        const int loaded = dlg.Updater().IsHexLoaded();

        // A FIFO with no writer and /dev/zero would hang the window; they are no firmware.
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        ASSERT_TRUE(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QString bad[] = {dir.filePath(QStringLiteral("no-existe.hex")), dir.path(), fifo,
                               QStringLiteral("/dev/zero"), QStringLiteral("/proc/self/status")};
        const char* const reasons[] = {"no existe", "es una carpeta",
                                       "no es un archivo normal (es un dispositivo, una tubería o un socket)",
                                       "no es un archivo normal (es un dispositivo, una tubería o un socket)",
                                       "es un archivo del sistema (/proc, /sys), no un firmware"};
        // The box comes with the ordinary cursor again, to press its button with.
        std::vector<bool> waitCursorAtBox;
        BoxAnswerer boxes([&](const uitest::SeenBox&) { waitCursorAtBox.push_back(QApplication::overrideCursor()); });
        for (const QString& path : bad) {
            choice.answer = path;
            ClickOpenHex();
        }
        ASSERT_EQ(boxes.Seen().size(), std::size(bad));
        for (std::size_t i = 0; i < std::size(bad); ++i) {
            const uitest::SeenBox& box = boxes.Seen()[i];
            // The reason on a second line.
            EXPECT_EQ(box.text.toStdString(), std::string("No se puede abrir el archivo\n") + reasons[i]);
            EXPECT_EQ(box.icon, QMessageBox::NoIcon);
            EXPECT_EQ(box.buttons, std::vector<QString>{QStringLiteral("Aceptar")});
            EXPECT_EQ(box.caption, QString::fromStdString(AfxGetAppName()));
            EXPECT_EQ(box.owner, Win(dlg));
        }
        EXPECT_EQ(PathText(), pathBefore);
        EXPECT_EQ(ChecksumText(), sumBefore);
        EXPECT_EQ(ImageOf(dlg.Updater()), image);
        EXPECT_EQ(dlg.Updater().IsHexLoaded(), loaded);
        EXPECT_EQ(waitCursorAtBox, std::vector<bool>(std::size(bad), false));
        // The next dialog starts from the path that is still in force.
        ClickOpenHex();
        EXPECT_EQ(choice.seen.back().fileName, pathBefore.toStdString());
    }
}

TEST_F(UpdaterDlgTest, AReadErrorShowsTheStopBoxAndChangesNothing)
{
    FileChoice choice;
    choice.answer = uitest::WriteFile(dir, QStringLiteral("ok.hex"), DataRecord(2, {0x00}) + EndRecord());
    ClickOpenHex();
    const QString pathBefore = PathText();
    const auto image = ImageOf(dlg.Updater());

    // Opens, but the kernel refuses every read.
    const QString denied = uitest::WriteFile(dir, QStringLiteral("denied.hex"), DataRecord(0, {0x11}));
    // The UI thread waits in read() meanwhile, so the cursor can be looked at.
    std::atomic<int> shapeDuringRead{-1};
    testsupport::ReadsDenied reads(QFile::encodeName(denied).toStdString(), [&] {
        const QCursor* cursor = QApplication::overrideCursor();
        shapeDuringRead = cursor != nullptr ? cursor->shape() : Qt::ArrowCursor;
    });
    if (!reads.Active())
        GTEST_SKIP() << "fanotify permission events are not available here";
    bool waitCursorAtBox = true;
    BoxAnswerer boxes([&](const uitest::SeenBox&) { waitCursorAtBox = QApplication::overrideCursor() != nullptr; });
    choice.answer = denied;
    ClickOpenHex();
    EXPECT_EQ(shapeDuringRead, Qt::WaitCursor);
    EXPECT_FALSE(waitCursorAtBox);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("在对 %1 进行访问时发生了一个不明错误。").arg(denied));
    EXPECT_EQ(boxes.Seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.Seen()[0].caption, QString::fromStdString(AfxGetAppName()));
    EXPECT_EQ(boxes.Seen()[0].owner, Win(dlg));
    EXPECT_EQ(PathText(), pathBefore);
    EXPECT_EQ(ChecksumText(), QStringLiteral("BF01"));
    EXPECT_EQ(ImageOf(dlg.Updater()), image);
    ClickOpenHex();
    EXPECT_EQ(choice.seen.back().fileName, pathBefore.toStdString());
    EXPECT_TRUE(Win(dlg)->isVisible());
}

TEST_F(UpdaterDlgTest, OnlyTimerZeroCopiesTheCounterIntoTheBar)
{
    fakehid::Platform platform({fakehid::Controller()});
    fakehid::ScopedPlatform installed(platform);
    Bar()->setRange(0, 10000);
    std::vector<std::pair<int, int>> copied;  // (counter, bar) at a tick
    platform.SetWriteHook([&](std::size_t index) {
        if (index == 700) {
            dlg.OnTimer(3);
            copied.emplace_back(dlg.Updater().GetProgress(), Bar()->value());
            dlg.OnTimer(0);
            copied.emplace_back(dlg.Updater().GetProgress(), Bar()->value());
        }
    });
    ASSERT_EQ(dlg.Updater().OpenController(), 1);
    ASSERT_EQ(dlg.Updater().Download(), 1);
    ASSERT_EQ(copied.size(), 2u);
    EXPECT_EQ(copied[0].second, 0);
    EXPECT_GT(copied[1].first, 0);
    EXPECT_EQ(copied[1].second, copied[1].first);
    EXPECT_EQ(PercentText(), QString());

    // The real timer ticks on its own.
    wnd::SetTimer(dlg.GetSafeHwnd(), 0, 5);
    ASSERT_TRUE(uitest::PumpUntil([&] { return Bar()->value() == 10000; }));
    wnd::KillTimer(dlg.GetSafeHwnd(), 0);
    EXPECT_FALSE(Win(dlg)->IsTimerRunning(0));
}

TEST(UpdaterDlgIcon, MinimizedIconIsCentredWithTruncatingArithmetic)
{
    using P = CUpdaterDlg::Point;
    EXPECT_EQ(CUpdaterDlg::IconOrigin(36, 36, 32, 32), (P{2, 2}));
    EXPECT_EQ(CUpdaterDlg::IconOrigin(0, 0, 32, 32), (P{-15, -15}));
    EXPECT_EQ(CUpdaterDlg::IconOrigin(37, 100, 32, 32), (P{3, 34}));
}

TEST_F(UpdaterDlgTest, SystemMenuCarriesTheAboutItemToTheHandler)
{
    const QList<QAction*> actions = Win(dlg)->SystemMenu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_TRUE(actions[0]->isSeparator());
    EXPECT_EQ(actions[1]->text(), QStringLiteral("&Sobre el Updater..."));
    EXPECT_EQ(actions[1]->data().toUInt(), IDM_ABOUTBOX);

    static std::vector<unsigned> received;
    received.clear();
    const auto previous = CUpdaterDlg::SetSysCommandHandler([](CUpdaterDlg&, unsigned id, std::intptr_t) {
        received.push_back(id);
        return true;
    });
    dlg.OnSysCommand(0x0013, 0);
    CUpdaterDlg::SetSysCommandHandler(previous);
    dlg.OnSysCommand(0x0010, 0);  // no handler: nothing
    EXPECT_EQ(received, std::vector<unsigned>{0x0013});
}

TEST_F(UpdaterDlgTest, AltSpaceOpensTheSystemMenuWhereverTheFocusIs)
{
    // Caught at the window: no child sees it, so no button is pressed and no
    // space is typed.
    static_cast<QLineEdit*>(Item(dlg, IDC_FILE_PATH))->setText(QStringLiteral("a"));
    Win(dlg)->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Win(dlg)));
    BoxAnswerer boxes;
    for (int id : {IDOK, IDCANCEL, IDC_FILE_PATH, IDC_OPEN_HEX}) {
        SCOPED_TRACE(id);
        FileChoice noFile;
        Item(dlg, id)->setFocus();
        QStringList items;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* action : menu->actions())
                    items << action->text();
                menu->close();
            }
        });
        closer.start(5);
        QTest::keyClick(Item(dlg, id), Qt::Key_Space, Qt::AltModifier);
        uitest::PumpUntil([&] { return !items.isEmpty(); });
        EXPECT_TRUE(items.contains(QStringLiteral("&Sobre el Updater...")));
        EXPECT_TRUE(noFile.seen.empty());
    }
    EXPECT_TRUE(boxes.Seen().empty());
    EXPECT_FALSE(dlg.IsUpdateRunning());
    EXPECT_TRUE(Win(dlg)->isVisible());
    EXPECT_EQ(PathText(), QStringLiteral("a"));
}

TEST_F(UpdaterDlgTest, QtSpeaksSpanishAndShowsTextsAsTheyAre)
{
    // Qt's own texts, whatever the locale.
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Ver en:"));
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Undo"), QStringLiteral("&Deshacer"));

    // A file name is no markup.
    Qt::TextFormat format = Qt::RichText;
    BoxAnswerer boxes([&](const uitest::SeenBox&) {
        if (auto* label = QApplication::activeModalWidget()->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
            format = label->textFormat();
    });
    AfxMessageBox(dlg.GetSafeHwnd(), "x<b>y.hex");
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("x<b>y.hex"));
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(boxes.Seen()[0].buttons, std::vector<QString>{QStringLiteral("Aceptar")});

    // "Todo tipo (*.*)" lists every file, as on Windows, names without a dot too;
    // and the list's types, sizes and dates are in Spanish whatever the locale.
    uitest::WriteFile(dir, QStringLiteral("a.hex"), EndRecord());
    uitest::WriteFile(dir, QStringLiteral("LEEME"), "");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("carpeta")));
    const QString notes = uitest::WriteFile(dir, QStringLiteral("notas.txt"), std::string(1234, 'x'));
    {
        QFile file(notes);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2026, 12, 8), QTime(9, 5)), QFileDevice::FileModificationTime));
    }
    CFileDialog::SetRunner({});
    CFileDialog files(true, "*.hex", QDir(dir.path()).filePath(QStringLiteral("a.hex")).toStdString(), 6,
                      "Archivo HEX Actualización (*.hex)  |*.hex|Todo tipo (*.*)|*.*||", &dlg);
    QStringList filters;
    QStringList listed;
    QStringList notesRow;  // size, type, date
    QString folderType;
    QStringList qtTexts;   // the dialog's own labels and buttons
    QString qtFont;
    QTimer looker;
    QObject::connect(&looker, &QTimer::timeout, [&] {
        auto* qt = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!qt)
            return;
        if (filters.isEmpty()) {
            for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
                qtTexts << qt->findChild<QLabel*>(QLatin1String(name))->text();
            for (QAbstractButton* button : qt->findChild<QDialogButtonBox*>()->buttons())
                qtTexts << button->text();
            qtFont = qt->font().family();
            for (auto* combo : qt->findChildren<QComboBox*>(QStringLiteral("fileTypeCombo")))
                for (int i = 0; i < combo->count(); ++i)
                    filters << combo->itemText(i);
            qt->selectNameFilter(qt->nameFilters().value(1));
        }
        auto* view = qt->findChild<QListView*>(QStringLiteral("listView"));
        listed.clear();
        notesRow.clear();
        for (int row = 0; view && row < view->model()->rowCount(view->rootIndex()); ++row) {
            const QModelIndex name = view->model()->index(row, 0, view->rootIndex());
            listed << name.data().toString();
            if (name.data().toString() == QStringLiteral("notas.txt"))
                for (int column = 1; column < 4; ++column)
                    notesRow << name.siblingAtColumn(column).data().toString();
            if (name.data().toString() == QStringLiteral("carpeta"))
                folderType = name.siblingAtColumn(2).data().toString();
        }
        if (listed.size() == 4 && !notesRow.value(1).isEmpty() && !folderType.isEmpty())
            qt->reject();
    });
    looker.start(20);
    EXPECT_EQ(files.DoModal(), IDCANCEL);
    // Qt's own words, and the application's font, not the dialog's, even in
    // the first file dialog of the run (each test runs alone under ctest).
    EXPECT_EQ(qtTexts.join(QStringLiteral(" | ")).toStdString(),
              "Ver en: | &Nombre de fichero: | Ficheros de tipo: | &Abrir | Cancelar");
    EXPECT_EQ(qtFont, QApplication::font().family());
    EXPECT_EQ(filters, (QStringList{QStringLiteral("Archivo HEX Actualización (*.hex)"), QStringLiteral("Todo tipo (*.*)")}));
    listed.sort();
    EXPECT_EQ(listed, (QStringList{QStringLiteral("LEEME"), QStringLiteral("a.hex"), QStringLiteral("carpeta"),
                                   QStringLiteral("notas.txt")}));
    EXPECT_EQ(notesRow.join(QStringLiteral(" | ")).toStdString(),
              "1,21 KiB | Documento de texto sencillo | 8 dic 2026 9:05");
    EXPECT_EQ(folderType.toStdString(), "Carpeta");  // not in Qt's own Spanish
}

TEST_F(UpdaterDlgTest, SavesAPictureOfTheDialog)
{
    const QPixmap picture = Win(dlg)->grab();
    EXPECT_EQ(picture.size(), QSize(593, 149));
    EXPECT_TRUE(picture.save(QStringLiteral(TOLVANEX_DIALOG_PNG), "PNG"));
}

}  // namespace
