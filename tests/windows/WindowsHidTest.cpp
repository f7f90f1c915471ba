// The controller search over the real SetupAPI and HID class driver. Under
// wine the system offers two virtual HID interfaces (a mouse and a keyboard of
// vendor 0x845E, neither with an output report) and no controller.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "device/HidDevice.h"
#include "device/HidPlatformWindows.h"
#include "firmware/FirmwareUpdater.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

extern "C" {
#include <hidsdi.h>
}

namespace {

using namespace hidplat;

// Passes every operation on to the system and remembers what came back.
class RecordingPlatform final : public IHidPlatform {
public:
    explicit RecordingPlatform(IHidPlatform& os) : m_os(os) {}

    void Forget()
    {
        listsBuilt = 0;
        opened.clear();
        closed.clear();
        examined.clear();
        caps.clear();
        diagnostics.clear();
    }

    int listsBuilt = 0;
    std::vector<Handle> opened;
    std::vector<Handle> closed;
    std::vector<HidAttributes> examined;
    std::vector<HidCaps> caps;
    std::vector<std::string> diagnostics;

    Listing InterfaceAt(std::uint32_t index, std::string* path) override
    {
        const Listing found = m_os.InterfaceAt(index, path);
        if (found != Listing::kNoList)
            ++listsBuilt;
        return found;
    }
    Handle Open(const std::string& path, Access access, SysError* error) override
    {
        Handle h = m_os.Open(path, access, error);
        if (h != nullptr)
            opened.push_back(h);
        return h;
    }
    bool ReadAttributes(Handle handle, HidAttributes* attributes) override
    {
        const bool ok = m_os.ReadAttributes(handle, attributes);
        if (ok)
            examined.push_back(*attributes);
        return ok;
    }
    bool ReadCapabilities(Handle handle, HidCaps* c) override
    {
        const bool ok = m_os.ReadCapabilities(handle, c);
        if (ok)
            caps.push_back(*c);
        return ok;
    }
    bool ReadProductString(Handle handle, std::string* name) override { return m_os.ReadProductString(handle, name); }
    bool WriteReport(Handle handle, const std::uint8_t* report, std::uint32_t length, SysError* error) override
    {
        return m_os.WriteReport(handle, report, length, error);
    }
    void Close(Handle handle) override
    {
        closed.push_back(handle);
        m_os.Close(handle);
    }
    void DebugOutput(const char* line) override
    {
        diagnostics.emplace_back(line);
        m_os.DebugOutput(line);
    }
    LockResult LockController(Handle handle, const std::string& path, std::string* why) override
    {
        return m_os.LockController(handle, path, why);
    }
    void UnlockController(Handle handle) override { m_os.UnlockController(handle); }
    LockResult ProbeController(const std::string& path, std::string* why) override
    {
        return m_os.ProbeController(path, why);
    }
    bool DescribeController(const std::string& path, ControllerInfo* info) override
    {
        return m_os.DescribeController(path, info);
    }
    bool SystemOwnsUsage(std::uint16_t page, std::uint16_t usage) override { return m_os.SystemOwnsUsage(page, usage); }
    AccessFacts ControllerAccessFacts() override { return m_os.ControllerAccessFacts(); }

private:
    IHidPlatform& m_os;
};

constexpr std::uint16_t kWineVendor = 0x845E;

class WindowsHid : public ::testing::Test {
protected:
    void SetUp() override { SetHidPlatform(&recorder); }
    void TearDown() override { SetHidPlatform(nullptr); }

    // The ids of the first interface in the system's list (zero when there is none).
    HidAttributes FirstInterfaceIds()
    {
        HidAttributes first{};
        CHidDevice probe;
        EXPECT_EQ(probe.OpenDevice(kWineVendor, 0, 5), 0);
        if (!recorder.examined.empty())
            first = recorder.examined.front();
        recorder.Forget();
        return first;
    }

    RecordingPlatform recorder{NativeHidPlatform()};
};

TEST_F(WindowsHid, SearchWithoutControllerExaminesEveryInterfaceAndEndsAtTheListEnd)
{
    {
        CFirmwareUpdater updater;
        updater.OpenController();
        EXPECT_EQ(updater.IsControllerOpen(), 0);
        EXPECT_EQ(updater.Device().Handle(), kInvalidHandle);
        EXPECT_TRUE(updater.Device().IsClosed());
    }

    // Both of wine's interfaces were opened and described, and nothing else.
    ASSERT_EQ(recorder.opened.size(), 2u);
    ASSERT_EQ(recorder.examined.size(), 2u);
    ASSERT_EQ(recorder.caps.size(), 2u);
    std::set<std::uint16_t> products;
    for (const HidAttributes& a : recorder.examined) {
        EXPECT_EQ(a.VendorID, kWineVendor);
        products.insert(a.ProductID);
    }
    EXPECT_EQ(products.size(), 2u) << "the same interface was examined twice";
    for (const HidCaps& c : recorder.caps)
        EXPECT_EQ(c.OutputReportByteLength, 0u);

    // Each handle closed once; one list per index tried plus the one that showed the end.
    EXPECT_EQ(std::multiset<Handle>(recorder.closed.begin(), recorder.closed.end()),
              std::multiset<Handle>(recorder.opened.begin(), recorder.opened.end()));
    EXPECT_EQ(recorder.listsBuilt, 3);
    EXPECT_EQ(recorder.diagnostics, std::vector<std::string>{"Request interface data error\n"});
}

TEST_F(WindowsHid, HoldsAnInterfaceThatMatchesAndCountsInstances)
{
    const HidAttributes first = FirstInterfaceIds();
    ASSERT_NE(first.VendorID, 0u);

    CHidDevice device;
    ASSERT_EQ(device.OpenDevice(first.VendorID, first.ProductID, 0), 1);
    EXPECT_EQ(device.IsOpen(), 1);
    EXPECT_FALSE(device.IsClosed());
    EXPECT_EQ(recorder.opened.size(), 1u) << "the first interface matched, so no other was opened";
    EXPECT_TRUE(recorder.closed.empty());
    EXPECT_EQ(device.Attributes().VendorID, first.VendorID);
    EXPECT_EQ(device.Attributes().ProductID, first.ProductID);
    EXPECT_EQ(device.GetOutputReportLength(), 0u);
    EXPECT_GT(device.Capabilities().InputReportByteLength, 0u);
    const std::string path(device.DevicePath(), strnlen(device.DevicePath(), kDevicePathSize));
    EXPECT_EQ(path.rfind("\\\\?\\", 0), 0u) << path;

    // An interface without output reports takes no report; the link stays held.
    std::uint8_t report[9] = {};
    EXPECT_EQ(device.WriteReport(report, sizeof report), 0);
    EXPECT_EQ(device.IsOpen(), 1);
    EXPECT_FALSE(device.IsClosed());

    const Handle held = device.Handle();
    device.Close();
    device.Close();
    EXPECT_EQ(recorder.closed, std::vector<Handle>{held});

    // Only one interface has these ids, so a second instance is not there.
    recorder.Forget();
    CHidDevice second;
    EXPECT_EQ(second.OpenDevice(first.VendorID, first.ProductID, 1), 0);
    EXPECT_EQ(recorder.opened.size(), 2u);
    EXPECT_EQ(recorder.closed.size(), 2u);
    EXPECT_EQ(recorder.diagnostics, std::vector<std::string>{"Request interface data error\n"});
}

// The other process of the test below: tries to hold the interface named by
// TVX_LOCK_PROBE ("VID PID", decimal) and ends with 0 (held), 3 (not found)
// or 4 (passed over because another update holds it).
TEST(WindowsHidLockProbe, Child)
{
    const char* ids = std::getenv("TVX_LOCK_PROBE");
    if (ids == nullptr)
        GTEST_SKIP() << "run by HeldInterfaceIsBusyForOtherProcesses";
    char* end = nullptr;
    const auto vendor = static_cast<std::uint16_t>(std::strtoul(ids, &end, 10));
    const auto product = static_cast<std::uint16_t>(std::strtoul(end, nullptr, 10));
    CHidDevice device;
    const int opened = device.OpenDevice(vendor, product, 0);
    std::exit(opened ? 0 : device.PassedOverBusy() ? 4 : 3);
}

// Exit code of this test program run as the probe.
DWORD RunProbe(const HidAttributes& ids)
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=WindowsHidLockProbe.Child";
    const std::wstring value = std::to_wstring(ids.VendorID) + L" " + std::to_wstring(ids.ProductID);
    SetEnvironmentVariableW(L"TVX_LOCK_PROBE", value.c_str());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const BOOL started =
        CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(L"TVX_LOCK_PROBE", nullptr);
    if (!started)
        return 0xFFFFFFFFu;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0xFFFFFFFEu;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST_F(WindowsHid, HeldInterfaceIsBusyForOtherProcesses)
{
    const HidAttributes first = FirstInterfaceIds();
    ASSERT_NE(first.VendorID, 0u);
    const struct {
        bool held;
        DWORD probeExit;
    } cases[] = {{true, 4}, {false, 0}, {true, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.held);
        CHidDevice device;
        if (c.held) {
            ASSERT_EQ(device.OpenDevice(first.VendorID, first.ProductID, 0), 1);
            // Within this process too: a second holder is turned away.
            CHidDevice again;
            EXPECT_EQ(again.OpenDevice(first.VendorID, first.ProductID, 0), 0);
            EXPECT_TRUE(again.PassedOverBusy());
        }
        EXPECT_EQ(RunProbe(first), c.probeExit);
    }
}

// Wine's HID interfaces each hang from a device node of their own, with no
// USB device above: each is its own controller, with no place, and the lock
// that an update takes on one leaves the other free.
TEST_F(WindowsHid, EachInterfaceIsTheControllerOfTheDeviceNodeAboveIt)
{
    std::vector<std::string> paths;
    for (std::uint32_t i = 0;; ++i) {
        char path[kDevicePathSize + 1] = {};
        const Handle h = OpenHidInterface(&kHidInterfaceClass, i, path, kDevicePathSize, 0);
        if (h == nullptr)
            break;
        if (h != kInvalidHandle)
            recorder.Close(h);
        paths.push_back(path);
    }
    ASSERT_EQ(paths.size(), 2u);
    ControllerInfo first, second;
    ASSERT_TRUE(recorder.DescribeController(paths[0], &first));
    ASSERT_TRUE(recorder.DescribeController(paths[1], &second));
    EXPECT_EQ(_strnicmp(first.key.c_str(), "HID\\", 4), 0) << "a device instance ID, not the path: " << first.key;
    EXPECT_NE(first.key, second.key);
    EXPECT_EQ(first.place, "");

    const HidAttributes ids = FirstInterfaceIds();
    CHidDevice held;
    ASSERT_EQ(held.OpenDevice(ids.VendorID, ids.ProductID, 0), 1);
    EXPECT_EQ(recorder.ProbeController(paths[0], nullptr), LockResult::kBusy);
    EXPECT_EQ(recorder.ProbeController(paths[1], nullptr), LockResult::kLocked);
    // After a transfer: the handle stays, the controller is free for others.
    held.ReleaseLock();
    EXPECT_EQ(recorder.ProbeController(paths[0], nullptr), LockResult::kLocked);
    EXPECT_EQ(held.IsOpen(), 1);
}

// Another kind of object holds the lock's name, so the mutex cannot be made:
// that is no other update, so the controller is used without the lock and
// the link says why in the system's words.
TEST_F(WindowsHid, ALockTheSystemWillNotGiveLeavesTheControllerUsableAndSaysWhy)
{
    const HidAttributes ids = FirstInterfaceIds();
    CHidDevice probe;
    ASSERT_EQ(probe.OpenDevice(ids.VendorID, ids.ProductID, 0), 1);
    const std::string path(probe.DevicePath(), strnlen(probe.DevicePath(), kDevicePathSize));
    probe.Close();
    ControllerInfo controller;
    ASSERT_TRUE(recorder.DescribeController(path, &controller));
    const HANDLE squatter = CreateEventW(nullptr, FALSE, FALSE, ControllerLockName(controller.key).c_str());
    ASSERT_NE(squatter, nullptr);

    std::string why;
    EXPECT_EQ(recorder.ProbeController(path, &why), LockResult::kFailed);
    EXPECT_FALSE(why.empty());
    CHidDevice device;
    ASSERT_EQ(device.OpenDevice(ids.VendorID, ids.ProductID, 0), 1);
    EXPECT_FALSE(device.PassedOverBusy());
    EXPECT_FALSE(device.LockTrouble().empty());
    device.Close();
    CloseHandle(squatter);

    ASSERT_EQ(device.OpenDevice(ids.VendorID, ids.ProductID, 0), 1);
    EXPECT_EQ(device.LockTrouble(), "");
}

// What the backend asks of the system: SetupAPI's list of the HID class, in
// the system's order, and CreateFileA's open for synchronous reading and
// writing that every other program may share (wine's HID devices do not
// enforce sharing, so the arguments themselves are checked).
TEST_F(WindowsHid, ListsTheHidClassAndOpensForSharedSynchronousWrites)
{
    GUID hidClass{};
    HidD_GetHidGuid(&hidClass);
    static_assert(sizeof(Guid) == sizeof(GUID));
    EXPECT_EQ(std::memcmp(&hidClass, &kHidInterfaceClass, sizeof hidClass), 0);

    const InterfaceOpenArguments link = InterfaceOpen(Access::kReadWrite);
    EXPECT_EQ(link.access, static_cast<unsigned long>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(link.share, static_cast<unsigned long>(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    EXPECT_EQ(link.disposition, static_cast<unsigned long>(OPEN_EXISTING));
    EXPECT_EQ(link.flagsAndAttributes, static_cast<unsigned long>(FILE_ATTRIBUTE_NORMAL)) << "not overlapped";
    const InterfaceOpenArguments query = InterfaceOpen(Access::kQuery);
    EXPECT_EQ(query.access, 0u);
    EXPECT_EQ(query.share, link.share);

    IHidPlatform& os = NativeHidPlatform();
    std::string path;
    ASSERT_EQ(os.InterfaceAt(1, &path), Listing::kPath);
    EXPECT_EQ(path.rfind("\\\\?\\", 0), 0u) << path;
    EXPECT_EQ(os.InterfaceAt(2, &path), Listing::kPastTheEnd);
    ASSERT_EQ(os.InterfaceAt(0, &path), Listing::kPath);
    const Handle held = os.Open(path, Access::kReadWrite, nullptr);
    ASSERT_NE(held, nullptr);
    os.Close(held);

    SysError error;
    EXPECT_EQ(os.Open("\\\\.\\tolvanex-no-such-device", Access::kReadWrite, &error), nullptr);
    EXPECT_EQ(error.kind, SysErrorKind::kGone) << error.code;
    EXPECT_EQ(error.code, SysWindowsError(ERROR_FILE_NOT_FOUND));
}

}  // namespace
