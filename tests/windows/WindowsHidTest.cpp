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

namespace {

using namespace hidplat;

// Passes every call on to the system and remembers what came back.
class RecordingPlatform final : public IHidPlatform {
public:
    explicit RecordingPlatform(IHidPlatform& os) : m_os(os) {}

    void Forget()
    {
        listsBuilt = listsDestroyed = preparsedHandedOut = preparsedFreed = 0;
        opened.clear();
        closed.clear();
        examined.clear();
        caps.clear();
        diagnostics.clear();
    }

    int listsBuilt = 0;
    int listsDestroyed = 0;
    std::vector<Handle> opened;
    std::vector<Handle> closed;
    std::vector<HidAttributes> examined;
    std::vector<HidCaps> caps;
    int preparsedHandedOut = 0;
    int preparsedFreed = 0;
    std::vector<std::string> diagnostics;

    void GetHidGuid(Guid* guid) override { m_os.GetHidGuid(guid); }
    DevInfoList GetClassDevs(const Guid* interfaceClass, std::uint32_t flags) override
    {
        DevInfoList list = m_os.GetClassDevs(interfaceClass, flags);
        if (list != kInvalidDevInfoList)
            ++listsBuilt;
        return list;
    }
    bool EnumDeviceInterfaces(DevInfoList list, const Guid* interfaceClass, std::uint32_t index,
                              InterfaceData* data) override
    {
        return m_os.EnumDeviceInterfaces(list, interfaceClass, index, data);
    }
    bool GetDeviceInterfaceDetail(DevInfoList list, const InterfaceData* data, InterfaceDetailA* detail,
                                  std::uint32_t detailSize, std::uint32_t* requiredSize) override
    {
        return m_os.GetDeviceInterfaceDetail(list, data, detail, detailSize, requiredSize);
    }
    void DestroyDeviceInfoList(DevInfoList list) override
    {
        ++listsDestroyed;
        m_os.DestroyDeviceInfoList(list);
    }
    Handle OpenInterface(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                         std::uint32_t flags) override
    {
        Handle h = m_os.OpenInterface(path, access, share, disposition, flags);
        if (h != kInvalidHandle)
            opened.push_back(h);
        return h;
    }
    bool GetAttributes(Handle handle, HidAttributes* attributes) override
    {
        const bool ok = m_os.GetAttributes(handle, attributes);
        if (ok)
            examined.push_back(*attributes);
        return ok;
    }
    bool GetPreparsedData(Handle handle, PreparsedData** data) override
    {
        const bool ok = m_os.GetPreparsedData(handle, data);
        if (ok)
            ++preparsedHandedOut;
        return ok;
    }
    bool GetCaps(PreparsedData* data, HidCaps* c) override
    {
        const bool ok = m_os.GetCaps(data, c);
        if (ok)
            caps.push_back(*c);
        return ok;
    }
    void FreePreparsedData(PreparsedData* data) override
    {
        if (data != nullptr)
            ++preparsedFreed;
        m_os.FreePreparsedData(data);
    }
    bool WriteFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) override
    {
        return m_os.WriteFile(handle, buffer, length, written);
    }
    void CloseHandle(Handle handle) override
    {
        closed.push_back(handle);
        m_os.CloseHandle(handle);
    }
    void DebugOutput(const char* line) override
    {
        diagnostics.emplace_back(line);
        m_os.DebugOutput(line);
    }
    LockResult LockController(Handle handle, const char* path, std::string* why) override
    {
        return m_os.LockController(handle, path, why);
    }
    void UnlockController(Handle handle) override { m_os.UnlockController(handle); }
    LockResult ProbeController(const char* path, std::string* why) override { return m_os.ProbeController(path, why); }
    bool DescribeController(const char* path, ControllerInfo* info) override
    {
        return m_os.DescribeController(path, info);
    }
    std::uint32_t GetLastError() override { return m_os.GetLastError(); }
    bool GetProductString(Handle handle, char16_t* buffer, std::uint32_t bytes) override
    {
        return m_os.GetProductString(handle, buffer, bytes);
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

    // Each handle closed once, each preparsed block freed, each list destroyed;
    // one list per index tried plus the one that showed the end.
    EXPECT_EQ(std::multiset<Handle>(recorder.closed.begin(), recorder.closed.end()),
              std::multiset<Handle>(recorder.opened.begin(), recorder.opened.end()));
    EXPECT_EQ(recorder.preparsedFreed, recorder.preparsedHandedOut);
    EXPECT_EQ(recorder.preparsedHandedOut, 2);
    EXPECT_EQ(recorder.listsBuilt, 3);
    EXPECT_EQ(recorder.listsDestroyed, 3);
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
    Guid hidClass{};
    recorder.GetHidGuid(&hidClass);
    std::vector<std::string> paths;
    for (std::uint32_t i = 0;; ++i) {
        char path[kDevicePathSize + 1] = {};
        const Handle h = OpenHidInterface(&hidClass, i, path, kDevicePathSize, 0);
        if (h == nullptr)
            break;
        if (h != kInvalidHandle)
            recorder.CloseHandle(h);
        paths.push_back(path);
    }
    ASSERT_EQ(paths.size(), 2u);
    ControllerInfo first, second;
    ASSERT_TRUE(recorder.DescribeController(paths[0].c_str(), &first));
    ASSERT_TRUE(recorder.DescribeController(paths[1].c_str(), &second));
    EXPECT_EQ(_strnicmp(first.key.c_str(), "HID\\", 4), 0) << "a device instance ID, not the path: " << first.key;
    EXPECT_NE(first.key, second.key);
    EXPECT_EQ(first.place, "");

    const HidAttributes ids = FirstInterfaceIds();
    CHidDevice held;
    ASSERT_EQ(held.OpenDevice(ids.VendorID, ids.ProductID, 0), 1);
    EXPECT_EQ(recorder.ProbeController(paths[0].c_str(), nullptr), LockResult::kBusy);
    EXPECT_EQ(recorder.ProbeController(paths[1].c_str(), nullptr), LockResult::kLocked);
    // After a transfer: the handle stays, the controller is free for others.
    held.ReleaseLock();
    EXPECT_EQ(recorder.ProbeController(paths[0].c_str(), nullptr), LockResult::kLocked);
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
    ASSERT_TRUE(recorder.DescribeController(path.c_str(), &controller));
    const HANDLE squatter = CreateEventW(nullptr, FALSE, FALSE, ControllerLockName(controller.key).c_str());
    ASSERT_NE(squatter, nullptr);

    std::string why;
    EXPECT_EQ(recorder.ProbeController(path.c_str(), &why), LockResult::kFailed);
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

}  // namespace
