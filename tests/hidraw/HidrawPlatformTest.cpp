// The hidraw backend over a sysfs class folder and a /dev folder made in a
// temporary directory. The kernel's ioctls cannot be faked this way; the VM
// tests drive those.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/HidDevice.h"
#include "device/HidPlatform.h"
#include "device/HidrawRoots.h"

namespace fs = std::filesystem;
using namespace hidplat;

namespace {

std::size_t OpenDescriptorCount()
{
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

class HidrawPlatform : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/tolvanex-hidraw-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        top_ = name;
        sys_ = top_ / "class";
        dev_ = top_ / "dev";
        fs::create_directories(sys_);
        fs::create_directories(dev_);
        saved_ = SetHidrawRoots(HidrawRoots{sys_.string(), dev_.string()});
        SetDiagnosticsEcho(true);  // the diagnostic lines are checked on stderr
    }

    void TearDown() override
    {
        SetDiagnosticsEcho(false);
        SetHidrawRoots(saved_);
        fs::remove_all(top_);
    }

    // sysfs entries are symlinks into /sys/devices; where they point does not matter here.
    void AddEntry(const std::string& name) { fs::create_directory_symlink("../devices/" + name, sys_ / name); }

    void AddRegularNode(const std::string& name) { std::ofstream(dev_ / name).put('\0'); }

    std::string Dev(const std::string& name) const { return (dev_ / name).string(); }

    // The path of interface `index` through the two-call protocol; "" when there is none.
    std::string PathAt(DevInfoList list, std::uint32_t index)
    {
        InterfaceData data{};
        data.cbSize = sizeof(data);
        if (!os_.EnumDeviceInterfaces(list, &hidClass_, index, &data))
            return "";
        std::uint32_t required = 0;
        EXPECT_FALSE(os_.GetDeviceInterfaceDetail(list, &data, nullptr, 0, &required));
        std::vector<std::max_align_t> buffer(required / sizeof(std::max_align_t) + 1);
        auto* detail = reinterpret_cast<InterfaceDetailA*>(buffer.data());
        detail->cbSize = sizeof(InterfaceDetailA);
        EXPECT_TRUE(os_.GetDeviceInterfaceDetail(list, &data, detail, required, nullptr));
        return detail->DevicePath;
    }

    std::vector<std::string> AllPaths()
    {
        DevInfoList list = os_.GetClassDevs(&hidClass_, kDigcfPresent | kDigcfDeviceInterface);
        EXPECT_NE(list, kInvalidDevInfoList);
        std::vector<std::string> paths;
        for (std::uint32_t i = 0;; ++i) {
            std::string path = PathAt(list, i);
            if (path.empty())
                break;
            paths.push_back(path);
        }
        os_.DestroyDeviceInfoList(list);
        return paths;
    }

    Handle Open(const std::string& path)
    {
        return os_.OpenInterface(path.c_str(), kGenericRead | kGenericWrite,
                                 kFileShareRead | kFileShareWrite | kFileShareDelete, kOpenExisting,
                                 kFileAttributeNormal);
    }

    IHidPlatform& os_ = NativeHidPlatform();
    Guid hidClass_ = [] {
        Guid g{};
        NativeHidPlatform().GetHidGuid(&g);
        return g;
    }();
    fs::path top_, sys_, dev_;
    HidrawRoots saved_;
};

}  // namespace

TEST_F(HidrawPlatform, ListsHidrawEntriesInNumericOrder)
{
    for (const char* name : {"hidraw10", "hidraw2", "hidraw0", "hidraw", "hidrawX", "hidraw1a", "power"})
        AddEntry(name);
    EXPECT_EQ(AllPaths(), (std::vector<std::string>{Dev("hidraw0"), Dev("hidraw2"), Dev("hidraw10")}));
}

TEST_F(HidrawPlatform, EachListIsReadAfresh)
{
    AddEntry("hidraw0");
    AddEntry("hidraw10");
    DevInfoList before = os_.GetClassDevs(&hidClass_, kDigcfPresent | kDigcfDeviceInterface);
    AddEntry("hidraw5");
    EXPECT_EQ(PathAt(before, 1), Dev("hidraw10"));
    EXPECT_EQ(PathAt(before, 2), "");
    os_.DestroyDeviceInfoList(before);
    EXPECT_EQ(AllPaths(), (std::vector<std::string>{Dev("hidraw0"), Dev("hidraw5"), Dev("hidraw10")}));
}

TEST_F(HidrawPlatform, DetailNeedsTheReportedSize)
{
    AddEntry("hidraw3");
    DevInfoList list = os_.GetClassDevs(&hidClass_, kDigcfPresent | kDigcfDeviceInterface);
    InterfaceData data{};
    data.cbSize = sizeof(data);
    ASSERT_TRUE(os_.EnumDeviceInterfaces(list, &hidClass_, 0, &data));

    const std::string path = Dev("hidraw3");
    std::uint32_t required = 0;
    EXPECT_FALSE(os_.GetDeviceInterfaceDetail(list, &data, nullptr, 0, &required));
    EXPECT_EQ(required, offsetof(InterfaceDetailA, DevicePath) + path.size() + 1);

    std::vector<char> buffer(required + 8, 'x');
    auto* detail = reinterpret_cast<InterfaceDetailA*>(buffer.data());
    detail->cbSize = sizeof(InterfaceDetailA);
    EXPECT_FALSE(os_.GetDeviceInterfaceDetail(list, &data, detail, required - 1, nullptr));

    detail->cbSize = 1;  // not the record's size
    EXPECT_FALSE(os_.GetDeviceInterfaceDetail(list, &data, detail, required, nullptr));

    detail->cbSize = sizeof(InterfaceDetailA);
    EXPECT_TRUE(os_.GetDeviceInterfaceDetail(list, &data, detail, required, nullptr));
    EXPECT_EQ(std::string(detail->DevicePath), path);
    EXPECT_EQ(buffer[required], 'x') << "wrote past the size it asked for";

    InterfaceData unfilled{};
    unfilled.cbSize = sizeof(unfilled);
    EXPECT_FALSE(os_.GetDeviceInterfaceDetail(list, &unfilled, detail, required, &required));
    os_.DestroyDeviceInfoList(list);
}

TEST_F(HidrawPlatform, MissingClassFolderMeansNoInterfaces)
{
    SetHidrawRoots(HidrawRoots{(top_ / "absent").string(), dev_.string()});
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenHidInterface(&hidClass_, 0, nullptr, 0, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Request interface data error\n");
}

TEST_F(HidrawPlatform, DiagnosticsStayOffStderrUnlessEchoed)
{
    // The lines go to the system log; the user sees them only when asking.
    SetHidrawRoots(HidrawRoots{(top_ / "absent").string(), dev_.string()});
    const struct {
        bool echo;
        const char* stderrText;
    } cases[] = {{false, ""}, {true, "Request interface data error\n"}};
    for (const auto& c : cases) {
        SetDiagnosticsEcho(c.echo);
        testing::internal::CaptureStderr();
        CHidDevice device;
        EXPECT_EQ(device.OpenDevice(0x0E8F, 0x310D, 0), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.stderrText) << c.echo;
    }
}

TEST_F(HidrawPlatform, UnreadableClassFolderMeansNoList)
{
    std::ofstream(top_ / "file") << "not a folder";
    SetHidrawRoots(HidrawRoots{(top_ / "file").string(), dev_.string()});
    EXPECT_EQ(os_.GetClassDevs(&hidClass_, kDigcfPresent | kDigcfDeviceInterface), kInvalidDevInfoList);
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenHidInterface(&hidClass_, 0, nullptr, 0, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No se encuentra mando\n");
}

TEST_F(HidrawPlatform, NodeThatDoesNotOpenStillGivesItsPath)
{
    AddEntry("hidraw0");  // no /dev/hidraw0 behind it
    char path[kDevicePathSize];
    std::memset(path, 'x', sizeof path);
    EXPECT_EQ(OpenHidInterface(&hidClass_, 0, path, sizeof path, 0), kInvalidHandle);
    EXPECT_STREQ(path, Dev("hidraw0").c_str());
    EXPECT_EQ(path[sizeof path - 1], '\0');
}

TEST_F(HidrawPlatform, WritesWholeReportsToTheNode)
{
    AddEntry("hidraw0");
    ASSERT_EQ(mkfifo(Dev("hidraw0").c_str(), 0600), 0);
    const int reader = open(Dev("hidraw0").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const std::size_t descriptorsBefore = OpenDescriptorCount();

    char path[kDevicePathSize];
    Handle handle = OpenHidInterface(&hidClass_, 0, path, sizeof path, 0);
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(handle, kInvalidHandle);

    const std::uint8_t first[9] = {0x00, 'D', 'O', 'W', 'N', 'L', 'O', 'A', 'D'};
    const std::uint8_t second[9] = {0x00, 1, 2, 3, 4, 5, 6, 7, 8};
    std::uint32_t written = 0;
    EXPECT_TRUE(os_.WriteFile(handle, first, sizeof first, &written));
    EXPECT_EQ(written, sizeof first);
    EXPECT_TRUE(os_.WriteFile(handle, second, sizeof second, &written));

    std::uint8_t received[32] = {};
    ASSERT_EQ(read(reader, received, sizeof received), 18);
    EXPECT_EQ(std::memcmp(received, first, 9), 0);
    EXPECT_EQ(std::memcmp(received + 9, second, 9), 0);

    os_.CloseHandle(handle);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
    close(reader);
}

TEST_F(HidrawPlatform, FailedWriteIsReported)
{
    Handle handle = Open("/dev/full");
    if (handle == kInvalidHandle)
        GTEST_SKIP() << "no /dev/full here";
    const std::uint8_t report[9] = {};
    std::uint32_t written = 99;
    EXPECT_FALSE(os_.WriteFile(handle, report, sizeof report, &written));
    EXPECT_EQ(written, 0u);
    os_.CloseHandle(handle);
}

TEST_F(HidrawPlatform, DescriptorZeroMakesAValidHandle)
{
    AddRegularNode("hidraw0");
    const int savedStdin = dup(STDIN_FILENO);  // -1 when the runner gave us no stdin
    close(STDIN_FILENO);                       // the next open gets descriptor 0
    Handle handle = Open(Dev("hidraw0"));
    EXPECT_NE(handle, nullptr);
    EXPECT_NE(handle, kInvalidHandle);
    const std::uint8_t report[3] = {0, 0xAB, 0xCD};
    EXPECT_TRUE(os_.WriteFile(handle, report, sizeof report, nullptr));
    os_.CloseHandle(handle);
    if (savedStdin >= 0) {
        dup2(savedStdin, STDIN_FILENO);
        close(savedStdin);
    }

    std::ifstream in(dev_ / "hidraw0", std::ios::binary);
    const std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(contents, std::string("\0\xAB\xCD", 3));
}

TEST_F(HidrawPlatform, NodeWithoutHidIoctlsIsNoController)
{
    AddEntry("hidraw0");
    AddEntry("hidraw1");
    AddRegularNode("hidraw0");
    ASSERT_EQ(mkfifo(Dev("hidraw1").c_str(), 0600), 0);

    Handle handle = Open(Dev("hidraw0"));
    ASSERT_NE(handle, kInvalidHandle);
    HidAttributes attributes{};
    PreparsedData* preparsed = nullptr;
    EXPECT_FALSE(os_.GetAttributes(handle, &attributes));
    EXPECT_FALSE(os_.GetPreparsedData(handle, &preparsed));
    os_.CloseHandle(handle);

    // Both open, neither describes itself: passed over and closed again.
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    testing::internal::CaptureStderr();
    {
        CHidDevice device;
        EXPECT_EQ(device.OpenDevice(0x0E8F, 0x310D, 0), 0);
        EXPECT_EQ(device.IsOpen(), 0);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Request interface data error\n");
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

TEST_F(HidrawPlatform, AnswersAboutANodeFromSysfsWithoutOpeningIt)
{
    // What the kernel shows in the device folder of a hidraw entry; the node
    // itself is closed to everybody.
    const fs::path device = top_ / "devices" / "hidraw4" / "device";
    fs::create_directories(device);
    AddEntry("hidraw4");
    AddRegularNode("hidraw4");
    fs::permissions(dev_ / "hidraw4", fs::perms::none);
    std::ofstream(device / "uevent") << "DRIVER=hid-generic\nHID_ID=0003:00000E8F:0000310D\n"
                                        "HID_NAME=Tolvanex virtual controller\nHID_PHYS=virtual-controller\n";
    const unsigned char descriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x02, 0x15, 0x00, 0x26,
                                        0xFF, 0x00, 0x75, 0x08, 0x95, 0x08, 0x91, 0x02, 0xC0};
    std::ofstream(device / "report_descriptor", std::ios::binary)
        .write(reinterpret_cast<const char*>(descriptor), sizeof descriptor);
    const std::size_t descriptorsBefore = OpenDescriptorCount();

    Handle query = os_.OpenInterface(Dev("hidraw4").c_str(), 0, kFileShareRead | kFileShareWrite | kFileShareDelete,
                                     kOpenExisting, kFileAttributeNormal);
    ASSERT_NE(query, kInvalidHandle);
    HidAttributes attributes{};
    ASSERT_TRUE(os_.GetAttributes(query, &attributes));
    EXPECT_EQ(attributes.VendorID, 0x0E8F);
    EXPECT_EQ(attributes.ProductID, 0x310D);
    PreparsedData* preparsed = nullptr;
    ASSERT_TRUE(os_.GetPreparsedData(query, &preparsed));
    HidCaps caps{};
    EXPECT_TRUE(os_.GetCaps(preparsed, &caps));
    EXPECT_EQ(caps.OutputReportByteLength, 9);
    os_.FreePreparsedData(preparsed);
    char16_t name[64];
    ASSERT_TRUE(os_.GetProductString(query, name, sizeof name));
    EXPECT_EQ(std::u16string(name), u"Tolvanex virtual controller");
    char16_t shortName[4];
    ASSERT_TRUE(os_.GetProductString(query, shortName, sizeof shortName));
    EXPECT_EQ(std::u16string(shortName), u"Tol");
    std::uint32_t written = 0;
    const std::uint8_t report[9] = {};
    EXPECT_FALSE(os_.WriteFile(query, report, sizeof report, &written)) << "a query handle writes nothing";
    os_.CloseHandle(query);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);

    // Why a node does not open, in Windows' terms.
    const struct {
        std::string path;
        std::uint32_t access;
        std::uint32_t error;
    } failures[] = {
        {Dev("hidraw7"), kGenericRead | kGenericWrite, kErrorFileNotFound},
        {Dev("hidraw7"), 0, kErrorFileNotFound},
        {(dev_ / "hidraw4" / "x").string(), kGenericRead | kGenericWrite, kErrorPathNotFound},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.path);
        EXPECT_EQ(os_.OpenInterface(f.path.c_str(), f.access, kFileShareRead | kFileShareWrite | kFileShareDelete,
                                    kOpenExisting, kFileAttributeNormal),
                  kInvalidHandle);
        EXPECT_EQ(os_.GetLastError(), f.error);
    }
    // A node whose entry has no device folder cannot be asked about.
    AddEntry("hidraw5");
    AddRegularNode("hidraw5");
    EXPECT_EQ(os_.OpenInterface(Dev("hidraw5").c_str(), 0, kFileShareRead | kFileShareWrite | kFileShareDelete,
                                kOpenExisting, kFileAttributeNormal),
              kInvalidHandle);
}

TEST_F(HidrawPlatform, LocksTheControllerAndSeesOtherLocksWithoutTakingAny)
{
    // hidraw0 and hidraw1: two interfaces of one USB device; hidraw2: a uhid
    // device; hidraw3: a Bluetooth device whose adapter sits on USB; hidraw4:
    // an entry without a device folder.
    const fs::path usb = top_ / "devices" / "usb1" / "1-2";
    const fs::path bluetooth = top_ / "devices" / "usb1" / "1-4" / "1-4:1.0" / "bluetooth" / "hci0" / "hci0:256";
    const fs::path uhid = top_ / "devices" / "virtual" / "misc" / "uhid";
    const struct {
        const char* name;
        fs::path hid;
    } nodes[] = {{"hidraw0", usb / "1-2:1.0" / "0003:0E8F:310D.0001"},
                 {"hidraw1", usb / "1-2:1.1" / "0003:0E8F:310D.0002"},
                 {"hidraw2", uhid / "0003:0E8F:310D.0003"},
                 {"hidraw3", bluetooth / "0005:0E8F:310D.0004"}};
    for (const auto& n : nodes) {
        fs::create_directories(n.hid);
        std::ofstream(n.hid / "uevent") << "HID_ID=0003:00000E8F:0000310D\nHID_UNIQ=" << n.name << "-uniq\n";
        fs::create_directories(sys_ / n.name);
        fs::create_directory_symlink(n.hid, sys_ / n.name / "device");
        AddRegularNode(n.name);
    }
    std::ofstream(usb / "uevent") << "DEVTYPE=usb_device\n";
    std::ofstream(usb / "devnum") << "7\n";
    std::ofstream(usb / "serial") << "TVX-0001\n";
    std::ofstream(usb / "1-2:1.0" / "uevent") << "DEVTYPE=usb_interface\n";
    std::ofstream(usb / "1-2:1.1" / "uevent") << "DEVTYPE=usb_interface\n";
    std::ofstream(top_ / "devices" / "usb1" / "1-4" / "uevent") << "DEVTYPE=usb_device\n";
    std::ofstream(top_ / "devices" / "usb1" / "1-4" / "1-4:1.0" / "uevent") << "DEVTYPE=usb_interface\n";
    AddEntry("hidraw4");
    AddRegularNode("hidraw4");

    const struct {
        const char* name;
        std::string key;  // the folder that makes the key
        const char* place;
        const char* serial;
    } controllers[] = {
        {"hidraw0", fs::canonical(usb).string() + "#7", "1-2", "TVX-0001"},
        {"hidraw1", fs::canonical(usb).string() + "#7", "1-2", "TVX-0001"},
        {"hidraw2", fs::canonical(nodes[2].hid).string(), "", "hidraw2-uniq"},
        {"hidraw3", fs::canonical(nodes[3].hid).string(), "", "hidraw3-uniq"},
    };
    for (const auto& c : controllers) {
        SCOPED_TRACE(c.name);
        ControllerInfo info;
        ASSERT_TRUE(os_.DescribeController(Dev(c.name).c_str(), &info));
        EXPECT_EQ(info.key, c.key);
        EXPECT_EQ(info.place, c.place);
        EXPECT_EQ(info.serial, c.serial);
        EXPECT_EQ(os_.ProbeController(Dev(c.name).c_str(), nullptr), LockResult::kLocked);
    }

    const std::size_t descriptorsBefore = OpenDescriptorCount();
    std::string why;
    Handle update = Open(Dev("hidraw0"));
    ASSERT_EQ(os_.LockController(update, Dev("hidraw0").c_str(), &why), LockResult::kLocked);
    // Both interfaces of the USB device are held; asking took nothing.
    EXPECT_EQ(os_.ProbeController(Dev("hidraw1").c_str(), nullptr), LockResult::kBusy);
    EXPECT_EQ(os_.ProbeController(Dev("hidraw0").c_str(), nullptr), LockResult::kBusy);
    Handle other = Open(Dev("hidraw1"));
    EXPECT_EQ(os_.LockController(other, Dev("hidraw1").c_str(), &why), LockResult::kBusy);
    // Other controllers are free, the Bluetooth device whatever its adapter.
    for (const char* name : {"hidraw2", "hidraw3"}) {
        Handle h = Open(Dev(name));
        EXPECT_EQ(os_.LockController(h, Dev(name).c_str(), &why), LockResult::kLocked) << name;
        os_.CloseHandle(h);
    }
    // Let go after a transfer: the handle stays, the controller is free.
    os_.UnlockController(update);
    EXPECT_EQ(os_.ProbeController(Dev("hidraw1").c_str(), nullptr), LockResult::kLocked);
    EXPECT_EQ(os_.LockController(other, Dev("hidraw1").c_str(), &why), LockResult::kLocked);
    std::uint32_t written = 0;
    const std::uint8_t report[9] = {};
    EXPECT_TRUE(os_.WriteFile(update, report, sizeof report, &written));
    os_.CloseHandle(other);
    os_.CloseHandle(update);

    // No folder to lock: the system's words, and the caller goes on without.
    Handle lost = Open(Dev("hidraw4"));
    ASSERT_NE(lost, kInvalidHandle);
    why.clear();
    EXPECT_EQ(os_.LockController(lost, Dev("hidraw4").c_str(), &why), LockResult::kFailed);
    EXPECT_NE(why.find("hidraw4/device: no existe"), std::string::npos) << why;
    why.clear();
    EXPECT_EQ(os_.ProbeController(Dev("hidraw4").c_str(), &why), LockResult::kFailed);
    EXPECT_NE(why.find("hidraw4/device"), std::string::npos) << why;
    os_.CloseHandle(lost);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}
