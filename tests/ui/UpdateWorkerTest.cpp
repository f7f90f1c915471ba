// "ACTUALIZAR": whole updates on the worker thread against the in-memory HID
// platform, watched from inside its writes and from the result boxes.

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "UiTestSupport.h"
#include "firmware/FirmwareImage.h"
#include "tests/support/FakeHidPlatform.h"
#include "tests/support/Stall.h"
#include "ui/FileDialog.h"
#include "ui/Resource.h"
#include "ui/UpdaterDlg.h"
#include "ui/qt/UiThread.h"

using uitest::BoxAnswerer;
using uitest::Item;
using uitest::SeenBox;
using uitest::Win;

namespace {

// Counts every change of a control's enabled state.
class EnabledChangeCounter : public QObject {
public:
    explicit EnabledChangeCounter(QWidget* dialog)
    {
        for (QWidget* w : dialog->findChildren<QWidget*>())
            if (!w->isWindow())
                w->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            ++count;
        return false;
    }
};

// The state of the dialog at one moment, taken on the UI thread.
struct Snapshot {
    std::vector<bool> controlDisabled;  // each control's own flag, template order
    bool dialogEnabled = false;
    bool timerRunning = false;
    int barMinimum = 0, barMaximum = 0, barValue = 0;
};

class UpdateWorkerTest : public testing::Test {
protected:
    void SetUp() override
    {
        platform.SetInterfaces({fakehid::Controller()});
        ASSERT_TRUE(dlg.Create());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Win(dlg)));
        for (QObject* child : Win(dlg)->children())
            if (auto* w = qobject_cast<QWidget*>(child); w && !w->isWindow())
                controls.push_back(w);
        ASSERT_EQ(controls.size(), 10u);
    }
    void TearDown() override
    {
        // The dialog must outlive any worker.
        EXPECT_TRUE(uitest::PumpUntil([&] { return !dlg.IsUpdateRunning(); }, Sent()));
        platform.SetWriteHook({});
    }

    void LoadFile()
    {
        std::string hex;
        for (std::uint16_t at = 0; at < 0x400; at += 16) {
            std::vector<std::uint8_t> bytes(16);
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<std::uint8_t>(at + i * 7);
            hex += uitest::DataRecord(at, bytes);
        }
        Choose(uitest::WriteFile(dir, QStringLiteral("fw.hex"), hex + uitest::EndRecord()));
    }

    // "Abrir HEX" with `path` as the user's choice.
    void Choose(const QString& path)
    {
        CFileDialog::SetRunner([path](CFileDialog& d) {
            d.SetPathName(path.toStdString());
            return IDOK;
        });
        static_cast<QPushButton*>(Item(dlg, IDC_OPEN_HEX))->click();
        CFileDialog::SetRunner({});
        ASSERT_EQ(dlg.Updater().IsHexLoaded(), 1);
    }

    // Presses "ACTUALIZAR" and waits until the worker has ended.
    void Update()
    {
        static_cast<QPushButton*>(Item(dlg, IDOK))->click();
        ASSERT_TRUE(uitest::PumpUntil([&] { return !dlg.IsUpdateRunning(); }, Sent()));
    }

    // How many reports went out: a wait on the worker lasts while it grows.
    std::function<std::size_t()> Sent()
    {
        return [this] { return platform.Writes().size(); };
    }

    Snapshot Take()
    {
        Snapshot s;
        for (QWidget* w : controls)
            s.controlDisabled.push_back(w->testAttribute(Qt::WA_Disabled));
        s.dialogEnabled = Win(dlg)->isEnabled();
        s.timerRunning = Win(dlg)->IsTimerRunning(0);
        s.barMinimum = Bar()->minimum();
        s.barMaximum = Bar()->maximum();
        s.barValue = Bar()->value();
        return s;
    }
    // From the worker thread: a snapshot taken on the UI thread.
    Snapshot TakeFromWorker()
    {
        Snapshot s;
        SendToWindow(Win(dlg), [&] { s = Take(); });
        return s;
    }

    QProgressBar* Bar() { return qobject_cast<QProgressBar*>(Item(dlg, IDC_PROGRESS)); }

    static void ExpectPlainBox(const SeenBox& box, QWidget* owner)
    {
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.buttons, std::vector<QString>{QStringLiteral("Aceptar")});
        EXPECT_EQ(box.caption, QString::fromStdString(AfxGetAppName()));
        EXPECT_EQ(box.owner, owner);
        EXPECT_TRUE(box.modal);
    }

    fakehid::Platform platform;
    fakehid::ScopedPlatform installed{platform};
    QTemporaryDir dir;
    CUpdaterDlg dlg;
    std::vector<QWidget*> controls;
};

TEST_F(UpdateWorkerTest, WithoutAFileItSaysSoAndTouchesNothing)
{
    Bar()->setValue(37);
    EnabledChangeCounter changes(Win(dlg));
    BoxAnswerer boxes;
    Update();
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("Debes elegir un archivo"));
    ExpectPlainBox(boxes.Seen()[0], Win(dlg));
    EXPECT_EQ(changes.count, 0);
    EXPECT_TRUE(platform.Opened().empty());
    EXPECT_EQ(platform.ListsBuilt(), 0);
    EXPECT_EQ(Bar()->value(), 37);
    EXPECT_TRUE(Win(dlg)->isVisible());
}

TEST_F(UpdateWorkerTest, AFileWithoutDataIsNeverSent)
{
    // Loads as the erased image (C000), but sending it would erase the controller.
    Choose(uitest::WriteFile(dir, QStringLiteral("vacio.hex"), ":020000040000FA\n" + uitest::DataRecord(0, {1})));
    EXPECT_EQ(dlg.Updater().ComputeChecksum(), 0xC000);
    EnabledChangeCounter changes(Win(dlg));
    BoxAnswerer boxes;
    Update();
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("El archivo no contiene datos para el mando"));
    ExpectPlainBox(boxes.Seen()[0], Win(dlg));
    EXPECT_EQ(changes.count, 0);
    EXPECT_EQ(platform.ListsBuilt(), 0);
    EXPECT_TRUE(platform.Writes().empty());
}

TEST_F(UpdateWorkerTest, WithoutAControllerItSaysSoAndKeepsTheBar)
{
    LoadFile();
    for (bool opens : {false, true}) {
        SCOPED_TRACE(opens);
        if (opens)
            platform.SetInterfaces({});
        else {
            fakehid::Interface shut = fakehid::Controller();
            shut.opens = false;
            platform.SetInterfaces({shut});
        }
        Bar()->setRange(0, 10000);
        Bar()->setValue(1234);
        EnabledChangeCounter changes(Win(dlg));
        BoxAnswerer boxes;
        Update();
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("Mando no conectado"));
        ExpectPlainBox(boxes.Seen()[0], Win(dlg));
        EXPECT_EQ(changes.count, 0);
        EXPECT_EQ(Bar()->value(), 1234);
        EXPECT_FALSE(Win(dlg)->IsTimerRunning(0));
        EXPECT_EQ(platform.OpenHandles(), 0);
    }
}

TEST_F(UpdateWorkerTest, ASuccessfulUpdateLocksSendsRestoresThenCloses)
{
    LoadFile();
    controls[3]->setEnabled(false);  // the path box, disabled before the update
    std::vector<Snapshot> during;
    std::atomic<int> barDuringLate{-1};
    platform.SetWriteHook([&](std::size_t index) {
        if (index == 0 || index == 2048)
            during.push_back(TakeFromWorker());
        if (index == 1500) {
            // Hold the download here until a tick of the 5 ms timer has moved the bar.
            EXPECT_TRUE(stall::Until(
                "the bar to move", [&] { return TakeFromWorker().barValue != 0; }, [] { return 0; },
                [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }));
            barDuringLate = TakeFromWorker().barValue;
        }
    });
    Snapshot atBox;
    int handlesAtBox = -1;
    BoxAnswerer boxes([&](const SeenBox&) {
        atBox = Take();
        handlesAtBox = platform.OpenHandles();
    });
    Update();

    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("Actualización OK!!!!"));
    ExpectPlainBox(boxes.Seen()[0], Win(dlg));

    ASSERT_EQ(during.size(), 2u);
    for (const Snapshot& s : during) {
        EXPECT_EQ(s.controlDisabled, std::vector<bool>(10, true));
        EXPECT_TRUE(s.dialogEnabled);
        EXPECT_TRUE(s.timerRunning);
        EXPECT_EQ(s.barMinimum, 0);
        EXPECT_EQ(s.barMaximum, 10000);
    }
    EXPECT_EQ(during[0].barValue, 0);
    EXPECT_GT(barDuringLate.load(), 0);
    EXPECT_LE(barDuringLate.load(), 10000 * 1500 / 2048);

    // Restored, path box still disabled, timer off, controller still open.
    std::vector<bool> restored(10, false);
    restored[3] = true;
    EXPECT_EQ(atBox.controlDisabled, restored);
    EXPECT_FALSE(atBox.timerRunning);
    EXPECT_EQ(atBox.barValue, 10000);  // full, whenever the last tick came
    EXPECT_EQ(handlesAtBox, 1);
    // Closed only once the box has gone.
    EXPECT_EQ(platform.OpenHandles(), 0);
    EXPECT_EQ(platform.Closes(), 1);
    EXPECT_TRUE(dlg.SavedStates().empty());
    EXPECT_TRUE(Win(dlg)->isVisible());
    EXPECT_EQ(Take().controlDisabled, restored);
    EXPECT_EQ(qobject_cast<QLabel*>(Item(dlg, IDC_PERCENT))->text(), QString());

    const auto writes = platform.Writes();
    ASSERT_EQ(writes.size(), 2049u);
    for (std::size_t i = 1; i < writes.size(); ++i) {
        ASSERT_EQ(writes[i].size(), 9u);
        EXPECT_EQ(std::vector<std::uint8_t>(writes[i].begin() + 1, writes[i].end()),
                  std::vector<std::uint8_t>(dlg.Updater().Image() + (i - 1) * 8, dlg.Updater().Image() + i * 8));
    }
}

TEST_F(UpdateWorkerTest, AFailureSaysWhyAndTheBarStaysWhereTheTransferStopped)
{
    LoadFile();
    struct Row {
        int failAt;  // write index: 0 = DOWNLOAD, k + 1 = data report k
        SysError why;
        const char* reason;
        int bar;  // the counter after the last data report that went out
    };
    const Row rows[] = {
        {2, SysErrorOf(ENODEV), "el mando se ha desconectado", 0},  // after the first data report
        {0, SysErrorOf(EIO), "error de entrada/salida", 0},
        {1500, SysErrorOf(SysWindowsError(31)), "error de entrada/salida", 1498 * 10000 / 2048},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failAt);
        fakehid::Interface flaky = fakehid::Controller();
        flaky.failWriteAt = row.failAt;
        flaky.writeError = row.why;
        platform.SetInterfaces({flaky});
        Snapshot atBox;
        BoxAnswerer boxes([&](const SeenBox&) { atBox = Take(); });
        Update();
        ASSERT_EQ(boxes.Seen().size(), 1u);
        EXPECT_EQ(boxes.Seen()[0].text.toStdString(), std::string("Error sucedido!\n") + row.reason);
        EXPECT_EQ(atBox.barValue, row.bar);
        EXPECT_EQ(Bar()->value(), row.bar);
    }
}

TEST_F(UpdateWorkerTest, AFailureRestoresFirstAndLeavesTheHandleOpenUntilTheNextPress)
{
    LoadFile();
    fakehid::Interface flaky = fakehid::Controller();
    flaky.failWriteAt = 100;
    flaky.writeError = SysErrorOf(ENODEV);  // unplugged
    platform.SetInterfaces({flaky});
    Snapshot atBox;
    BoxAnswerer boxes([&](const SeenBox&) { atBox = Take(); });
    Update();
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, QStringLiteral("Error sucedido!\nel mando se ha desconectado"));
    ExpectPlainBox(boxes.Seen()[0], Win(dlg));
    EXPECT_EQ(atBox.controlDisabled, std::vector<bool>(10, false));
    EXPECT_FALSE(atBox.timerRunning);
    EXPECT_EQ(platform.OpenHandles(), 1);
    EXPECT_EQ(platform.Closes(), 0);
    // ...but holds no lock: an idle window keeps no other update from the controller.
    EXPECT_EQ(platform.ProbeController(flaky.path.c_str(), nullptr), hidplat::LockResult::kLocked);

    // The next press closes that handle before it opens the device again.
    platform.SetInterfaces({fakehid::Controller()});
    int closesAtFirstWrite = -1, openAtFirstWrite = -1;
    platform.SetWriteHook([&](std::size_t index) {
        if (index == 0) {
            closesAtFirstWrite = platform.Closes();
            openAtFirstWrite = platform.OpenHandles();
        }
    });
    Update();
    EXPECT_EQ(boxes.Texts().back(), QStringLiteral("Actualización OK!!!!"));
    EXPECT_EQ(closesAtFirstWrite, 1);
    EXPECT_EQ(openAtFirstWrite, 1);
    EXPECT_EQ(platform.Opened().size(), 2u);
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST_F(UpdateWorkerTest, ASecondUpdateStartsTheBarFromZeroAndSendsTheSameImage)
{
    LoadFile();
    BoxAnswerer boxes;
    Update();
    const auto first = platform.Writes();
    platform.ClearRecord();
    Bar()->setValue(7777);
    int barAtCommand = -1;
    platform.SetWriteHook([&](std::size_t index) {
        if (index == 0)
            barAtCommand = TakeFromWorker().barValue;
    });
    Update();
    EXPECT_EQ(barAtCommand, 0);
    EXPECT_EQ(platform.Writes(), first);
    EXPECT_EQ(boxes.Texts(), (std::vector<QString>{QStringLiteral("Actualización OK!!!!"),
                                                   QStringLiteral("Actualización OK!!!!")}));
}

TEST_F(UpdateWorkerTest, APathTypedIntoTheBoxIsLoadedByOnePressAndSentByTheNext)
{
    LoadFile();
    const std::vector<std::uint8_t> loaded(dlg.Updater().Image(), dlg.Updater().Image() + 8);
    const QString other =
        uitest::WriteFile(dir, QStringLiteral("otro.hex"), uitest::DataRecord(0, {0x01}) + uitest::EndRecord());
    auto* box = qobject_cast<QLineEdit*>(Item(dlg, IDC_FILE_PATH));
    const auto checksum = [&] { return qobject_cast<QLabel*>(Item(dlg, IDC_CHECKSUM))->text(); };
    const QString sumBefore = checksum();
    BoxAnswerer boxes;
    // Refused the way Abrir HEX refuses a file, on every press, and nothing is sent.
    const std::pair<QString, const char*> refused[] = {
        {QStringLiteral("otro.hex"), "escriba la ruta completa"},
        {QString(), "escriba la ruta completa"},
        {dir.filePath(QStringLiteral("no-existe.hex")), "no existe"},
    };
    for (const auto& [typed, reason] : refused) {
        SCOPED_TRACE(typed.toStdString());
        box->setText(typed);
        for (int press = 0; press < 2; ++press) {
            QTest::keyClick(box, Qt::Key_Return);
            ASSERT_FALSE(dlg.IsUpdateRunning());
            EXPECT_EQ(boxes.Texts().back().toStdString(), std::string("No se puede abrir el archivo\n") + reason);
        }
        EXPECT_EQ(box->text(), typed);
        EXPECT_EQ(checksum(), sumBefore);
    }
    EXPECT_EQ(platform.ListsBuilt(), 0);
    EXPECT_TRUE(std::equal(loaded.begin(), loaded.end(), dlg.Updater().Image()));

    // A file that opens: shown with its checksum, and only the next press sends it.
    const std::size_t boxesBefore = boxes.Seen().size();
    box->setText(other);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_FALSE(dlg.IsUpdateRunning());
    EXPECT_EQ(checksum(), QStringLiteral("BF02"));
    EXPECT_EQ(boxes.Seen().size(), boxesBefore);
    EXPECT_EQ(platform.ListsBuilt(), 0);
    Update();
    EXPECT_EQ(boxes.Texts().back(), QStringLiteral("Actualización OK!!!!"));
    const auto writes = platform.Writes();
    ASSERT_EQ(writes.size(), 2049u);
    EXPECT_EQ(writes[1], (std::vector<std::uint8_t>{0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(box->text(), other);
}

TEST_F(UpdateWorkerTest, EnterTwiceStartsOneUpdate)
{
    LoadFile();
    BoxAnswerer boxes;
    QTest::keyClick(Item(dlg, IDC_FILE_PATH), Qt::Key_Return);
    QTest::keyClick(Item(dlg, IDC_FILE_PATH), Qt::Key_Return);
    dlg.OnOK();
    ASSERT_TRUE(uitest::PumpUntil([&] { return !dlg.IsUpdateRunning(); }));
    uitest::PumpFor(50);
    EXPECT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(platform.Opened().size(), 1u);
    EXPECT_EQ(platform.Writes().size(), 2049u);
}

TEST_F(UpdateWorkerTest, NoFileIsLoadedWhileAnUpdateRuns)
{
    LoadFile();
    const std::vector<std::uint8_t> before(dlg.Updater().Image(), dlg.Updater().Image() + kImageSize);
    const QString otherFile = uitest::WriteFile(dir, QStringLiteral("other.hex"), uitest::EndRecord());
    int fileDialogs = 0;
    CFileDialog::SetRunner([&](CFileDialog& d) {
        ++fileDialogs;
        d.SetPathName(otherFile.toStdString());
        return IDOK;
    });
    BoxAnswerer boxes;
    // Pressed right after "ACTUALIZAR", before the worker has locked anything.
    static_cast<QPushButton*>(Item(dlg, IDOK))->click();
    dlg.OnOpenHex();
    ASSERT_TRUE(uitest::PumpUntil([&] { return !dlg.IsUpdateRunning(); }));
    CFileDialog::SetRunner({});
    EXPECT_EQ(fileDialogs, 0);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), dlg.Updater().Image()));
    const auto writes = platform.Writes();
    ASSERT_EQ(writes.size(), 2049u);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 8, writes[1].begin() + 1));
}

TEST_F(UpdateWorkerTest, ClosingIsRefusedWhileAnUpdateRuns)
{
    LoadFile();
    std::vector<bool> visibleAfter;
    platform.SetWriteHook([&](std::size_t index) {
        if (index != 10)
            return;
        SendToWindow(Win(dlg), [&] {
            dlg.OnCancel();
            visibleAfter.push_back(Win(dlg)->isVisible());
            QTest::keyClick(Win(dlg), Qt::Key_Escape);
            visibleAfter.push_back(Win(dlg)->isVisible());
            visibleAfter.push_back(!Win(dlg)->close());
        });
    });
    // The box itself is a moment of the update too.
    bool refusedAtBox = false;
    BoxAnswerer boxes([&](const SeenBox&) {
        dlg.OnCancel();
        refusedAtBox = Win(dlg)->isVisible();
    });
    Update();
    EXPECT_EQ(visibleAfter, std::vector<bool>(3, true));
    EXPECT_TRUE(refusedAtBox);
    EXPECT_TRUE(Win(dlg)->isVisible());
    // Once it has ended, "Salir" closes the dialog.
    static_cast<QPushButton*>(Item(dlg, IDCANCEL))->click();
    EXPECT_FALSE(Win(dlg)->isVisible());
}

TEST_F(UpdateWorkerTest, TheLockOutVisitsEveryDescendantAndRestoresInOrder)
{
    // Nested controls as well: grandchildren are reached, and each one's own
    // flag is saved, not what its parent (disabled just before it) makes of it.
    auto* group = new QWidget(Win(dlg));
    auto* inner = new QLineEdit(group);
    auto* innerOff = new QLineEdit(group);
    innerOff->setEnabled(false);
    dlg.LockControls();
    const auto& saved = dlg.SavedStates();
    ASSERT_EQ(saved.size(), 13u);
    using wnd::qt::ToHandle;
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(saved[i]->hWnd, ToHandle(controls[i]));
    EXPECT_EQ(saved[10]->hWnd, ToHandle(group));
    EXPECT_EQ(saved[11]->hWnd, ToHandle(inner));
    EXPECT_EQ(saved[12]->hWnd, ToHandle(innerOff));
    EXPECT_EQ(saved[10]->bEnabled, 1);
    EXPECT_EQ(saved[11]->bEnabled, 1);
    EXPECT_EQ(saved[12]->bEnabled, 0);
    EXPECT_TRUE(Win(dlg)->isEnabled());
    for (QWidget* w : Win(dlg)->findChildren<QWidget*>()) {
        if (!w->isWindow()) {
            EXPECT_TRUE(w->testAttribute(Qt::WA_Disabled));
        }
    }

    dlg.UnlockControls();
    EXPECT_TRUE(dlg.SavedStates().empty());
    EXPECT_EQ(dlg.SavedStates().capacity(), 0u);
    EXPECT_TRUE(group->isEnabled());
    EXPECT_TRUE(inner->isEnabled());
    EXPECT_FALSE(innerOff->isEnabled());
    for (QWidget* w : controls)
        EXPECT_TRUE(w->isEnabled());
}

}  // namespace
