// The hidraw backend over a sysfs class folder and a /dev folder made in a
// temporary directory. The kernel's ioctls cannot be faked this way; the VM
// tests drive those.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

    // Every path in the list, in its order.
    std::vector<std::string> AllPaths()
    {
        std::vector<std::string> paths;
        std::string path;
        std::uint32_t i = 0;
        while (os_.InterfaceAt(i++, &path) == Listing::kPath)
            paths.push_back(path);
        EXPECT_EQ(os_.InterfaceAt(i - 1, &path), Listing::kPastTheEnd);
        return paths;
    }

    Handle Open(const std::string& path, Access access = Access::kReadWrite, SysError* error = nullptr)
    {
        return os_.Open(path, access, error);
    }

    IHidPlatform& os_ = NativeHidPlatform();
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

TEST_F(HidrawPlatform, EachCallReadsTheListAfresh)
{
    AddEntry("hidraw0");
    AddEntry("hidraw10");
    std::string path;
    ASSERT_EQ(os_.InterfaceAt(1, &path), Listing::kPath);
    EXPECT_EQ(path, Dev("hidraw10"));
    AddEntry("hidraw5");
    ASSERT_EQ(os_.InterfaceAt(1, &path), Listing::kPath);
    EXPECT_EQ(path, Dev("hidraw5"));
    EXPECT_EQ(AllPaths(), (std::vector<std::string>{Dev("hidraw0"), Dev("hidraw5"), Dev("hidraw10")}));
}

TEST_F(HidrawPlatform, MissingClassFolderMeansNoInterfaces)
{
    SetHidrawRoots(HidrawRoots{(top_ / "absent").string(), dev_.string()});
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenHidInterface(&kHidInterfaceClass, 0, nullptr, 0, 0), nullptr);
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
    std::string path;
    EXPECT_EQ(os_.InterfaceAt(0, &path), Listing::kNoList);
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenHidInterface(&kHidInterfaceClass, 0, nullptr, 0, 0), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No se encuentra mando\n");
}

TEST_F(HidrawPlatform, NodeThatDoesNotOpenStillGivesItsPath)
{
    AddEntry("hidraw0");  // no /dev/hidraw0 behind it
    char path[kDevicePathSize];
    std::memset(path, 'x', sizeof path);
    EXPECT_EQ(OpenHidInterface(&kHidInterfaceClass, 0, path, sizeof path, 0), kInvalidHandle);
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
    Handle handle = OpenHidInterface(&kHidInterfaceClass, 0, path, sizeof path, 0);
    ASSERT_NE(handle, nullptr);
    ASSERT_NE(handle, kInvalidHandle);

    const std::uint8_t first[9] = {0x00, 'D', 'O', 'W', 'N', 'L', 'O', 'A', 'D'};
    const std::uint8_t second[9] = {0x00, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(os_.WriteReport(handle, first, sizeof first, nullptr));
    EXPECT_TRUE(os_.WriteReport(handle, second, sizeof second, nullptr));

    std::uint8_t received[32] = {};
    ASSERT_EQ(read(reader, received, sizeof received), 18);
    EXPECT_EQ(std::memcmp(received, first, 9), 0);
    EXPECT_EQ(std::memcmp(received + 9, second, 9), 0);

    os_.Close(handle);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
    close(reader);
}

TEST_F(HidrawPlatform, FailedWriteIsReported)
{
    Handle handle = Open("/dev/full");
    if (handle == nullptr)
        GTEST_SKIP() << "no /dev/full here";
    const std::uint8_t report[9] = {};
    SysError error;
    EXPECT_FALSE(os_.WriteReport(handle, report, sizeof report, &error));
    EXPECT_EQ(error.code, ENOSPC);  // why, as the system says it
    os_.Close(handle);
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
    EXPECT_TRUE(os_.WriteReport(handle, report, sizeof report, nullptr));
    os_.Close(handle);
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
    ASSERT_NE(handle, nullptr);
    HidAttributes attributes;
    HidCaps caps;
    EXPECT_FALSE(os_.ReadAttributes(handle, &attributes));
    EXPECT_FALSE(os_.ReadCapabilities(handle, &caps));
    os_.Close(handle);

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

    Handle query = Open(Dev("hidraw4"), Access::kQuery);
    ASSERT_NE(query, nullptr);
    HidAttributes attributes;
    ASSERT_TRUE(os_.ReadAttributes(query, &attributes));
    EXPECT_EQ(attributes.VendorID, 0x0E8F);
    EXPECT_EQ(attributes.ProductID, 0x310D);
    HidCaps caps;
    ASSERT_TRUE(os_.ReadCapabilities(query, &caps));
    EXPECT_EQ(caps.OutputReportByteLength, 9);
    std::string name;
    ASSERT_TRUE(os_.ReadProductString(query, &name));
    EXPECT_EQ(name, "Tolvanex virtual controller");
    const std::uint8_t report[9] = {};
    EXPECT_FALSE(os_.WriteReport(query, report, sizeof report, nullptr)) << "a query handle writes nothing";
    os_.Close(query);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);

    // Why a node does not open: the system's number, and what it means.
    const struct {
        std::string path;
        Access access;
        int code;
    } failures[] = {
        {Dev("hidraw7"), Access::kReadWrite, ENOENT},
        {Dev("hidraw7"), Access::kQuery, ENOENT},
        {(dev_ / "hidraw4" / "x").string(), Access::kReadWrite, ENOTDIR},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.path);
        SysError error;
        EXPECT_EQ(Open(f.path, f.access, &error), nullptr);
        EXPECT_EQ(error.code, f.code);
        EXPECT_EQ(error.kind, SysErrorKind::kGone);
    }
    // A node whose entry has no device folder cannot be asked about.
    AddEntry("hidraw5");
    AddRegularNode("hidraw5");
    EXPECT_EQ(Open(Dev("hidraw5"), Access::kQuery), nullptr);
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
        ASSERT_TRUE(os_.DescribeController(Dev(c.name), &info));
        EXPECT_EQ(info.key, c.key);
        EXPECT_EQ(info.place, c.place);
        EXPECT_EQ(info.serial, c.serial);
        EXPECT_EQ(os_.ProbeController(Dev(c.name), nullptr), LockResult::kLocked);
    }

    const std::size_t descriptorsBefore = OpenDescriptorCount();
    std::string why;
    Handle update = Open(Dev("hidraw0"));
    ASSERT_EQ(os_.LockController(update, Dev("hidraw0"), &why), LockResult::kLocked);
    // Both interfaces of the USB device are held; asking took nothing.
    EXPECT_EQ(os_.ProbeController(Dev("hidraw1"), nullptr), LockResult::kBusy);
    EXPECT_EQ(os_.ProbeController(Dev("hidraw0"), nullptr), LockResult::kBusy);
    Handle other = Open(Dev("hidraw1"));
    EXPECT_EQ(os_.LockController(other, Dev("hidraw1"), &why), LockResult::kBusy);
    // Other controllers are free, the Bluetooth device whatever its adapter.
    for (const char* name : {"hidraw2", "hidraw3"}) {
        Handle h = Open(Dev(name));
        EXPECT_EQ(os_.LockController(h, Dev(name), &why), LockResult::kLocked) << name;
        os_.Close(h);
    }
    // Let go after a transfer: the handle stays, the controller is free.
    os_.UnlockController(update);
    EXPECT_EQ(os_.ProbeController(Dev("hidraw1"), nullptr), LockResult::kLocked);
    EXPECT_EQ(os_.LockController(other, Dev("hidraw1"), &why), LockResult::kLocked);
    const std::uint8_t report[9] = {};
    EXPECT_TRUE(os_.WriteReport(update, report, sizeof report, nullptr));
    os_.Close(other);
    os_.Close(update);

    // No folder to lock: the system's words, and the caller goes on without.
    Handle lost = Open(Dev("hidraw4"));
    ASSERT_NE(lost, nullptr);
    why.clear();
    EXPECT_EQ(os_.LockController(lost, Dev("hidraw4"), &why), LockResult::kFailed);
    EXPECT_NE(why.find("hidraw4/device: no existe"), std::string::npos) << why;
    why.clear();
    EXPECT_EQ(os_.ProbeController(Dev("hidraw4"), &why), LockResult::kFailed);
    EXPECT_NE(why.find("hidraw4/device"), std::string::npos) << why;
    os_.Close(lost);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

// What list tells of a node that does not open rests on what errno's numbers mean.
TEST(HidrawErrors, NumbersKeepTheirMeaning)
{
    const struct {
        int code;
        SysErrorKind kind;
    } cases[] = {
        {EACCES, SysErrorKind::kDenied}, {EPERM, SysErrorKind::kDenied}, {EROFS, SysErrorKind::kDenied},
        {EBUSY, SysErrorKind::kBusy},    {ENOENT, SysErrorKind::kGone},  {ENODEV, SysErrorKind::kGone},
        {ENXIO, SysErrorKind::kGone},    {EIO, SysErrorKind::kOther},    {EMFILE, SysErrorKind::kOther},
    };
    for (const auto& [code, kind] : cases) {
        const SysError error = SysErrorOf(code);
        EXPECT_EQ(error.kind, kind) << code;
        EXPECT_EQ(SysErrorNumber(error.code), code);
    }
}
