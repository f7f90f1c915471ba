// The HID services on Linux, through the kernel's hidraw nodes: the list is the
// hidraw class folder in sysfs, a path is a /dev/hidrawN node, attributes and
// the report descriptor come from hidraw's ioctls (or, for a node closed to
// this user, from its device folder in sysfs). The controller above a node
// and its lock are HidrawController.cpp's and HidrawLock.cpp's.
#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/HidPlatform.h"
#include "device/HidrawController.h"
#include "device/HidrawLock.h"
#include "device/HidrawSysfs.h"
#include "device/ReportDescriptor.h"

namespace hidplat {

namespace {

using namespace hidraw;

// The controller's udev rule, as res/linux names it and installs put it.
constexpr char kRuleName[] = "70-tolvanex.rules";

// N for an entry named hidrawN; false for any other name.
bool HidrawNumber(const char* name, unsigned long* number)
{
    static constexpr char kPrefix[] = "hidraw";
    constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
    if (std::strncmp(name, kPrefix, kPrefixLength) != 0)
        return false;
    const char* digits = name + kPrefixLength;
    const std::size_t count = std::strlen(digits);
    if (count == 0 || count > 9)  // minor numbers never come near nine digits
        return false;
    unsigned long n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (digits[i] < '0' || digits[i] > '9')
            return false;
        n = n * 10 + static_cast<unsigned long>(digits[i] - '0');
    }
    *number = n;
    return true;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// The hidrawN entries of `folder` in numeric order. An absent folder is an
// empty list: the kernel makes the hidraw class only once HID is loaded, and
// until then there is simply no HID interface.
bool ListHidrawNames(const std::string& folder, std::vector<std::string>* names)
{
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir)
        return errno == ENOENT;
    std::vector<std::pair<unsigned long, std::string>> found;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0)
                return false;
            break;
        }
        unsigned long number = 0;
        if (HidrawNumber(entry->d_name, &number))
            found.emplace_back(number, entry->d_name);
    }
    std::sort(found.begin(), found.end());
    for (auto& item : found)
        names->push_back(std::move(item.second));
    return true;
}

// Handles carry the descriptor plus one, so that no open descriptor looks
// like null, and none like the link's all-ones "no handle".
Handle EncodeHandle(int fd)
{
    return reinterpret_cast<Handle>(static_cast<std::intptr_t>(fd) + 1);
}

int DecodeHandle(Handle handle)
{
    const std::intptr_t value = reinterpret_cast<std::intptr_t>(handle) - 1;
    return value >= 0 && value <= INT_MAX ? static_cast<int>(value) : -1;
}

// bcdDevice of the USB device above the hidraw node, or 0 when there is none.
std::uint16_t UsbDeviceVersion(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    // hidrawN -> HID device -> USB interface -> USB device.
    const std::string path = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                             std::to_string(minor(st.st_rdev)) + "/device/../../bcdDevice";
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return 0;
    char text[16] = {};
    const ssize_t n = read(file, text, sizeof text - 1);
    close(file);
    if (n <= 0)
        return 0;
    char* end = nullptr;
    const unsigned long version = std::strtoul(text, &end, 16);
    return end != text && version <= 0xFFFF ? static_cast<std::uint16_t>(version) : 0;
}

class LinuxHidPlatform final : public IHidPlatform {
public:
    Listing InterfaceAt(std::uint32_t index, std::string* path) override
    {
        // Every hidraw node is a HID interface.
        const HidrawRoots roots = CurrentRoots();
        std::vector<std::string> names;
        if (!ListHidrawNames(roots.sysfsClass, &names))
            return Listing::kNoList;
        if (index >= names.size())
            return Listing::kPastTheEnd;
        *path = roots.dev + "/" + names[index];
        return Listing::kPath;
    }

    Handle Open(const std::string& path, Access access, SysError* error) override
    {
        int fd = -1;
        if (access == Access::kQuery) {
            fd = OpenForQueries(path);
        } else {
            do {
                fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
            } while (fd < 0 && errno == EINTR);
        }
        if (fd < 0) {
            if (error != nullptr)
                *error = SysErrorOf(errno);
            return nullptr;
        }
        return EncodeHandle(fd);
    }

    bool ReadAttributes(Handle handle, HidAttributes* attributes) override
    {
        const int fd = DecodeHandle(handle);
        hidraw_devinfo info{};
        if (fd < 0)
            return false;
        if (ioctl(fd, HIDIOCGRAWINFO, &info) < 0)
            return QueriedAttributes(fd, attributes);
        // The kernel hands the IDs over as signed shorts.
        attributes->VendorID = static_cast<std::uint16_t>(info.vendor);
        attributes->ProductID = static_cast<std::uint16_t>(info.product);
        attributes->VersionNumber = info.bustype == BUS_USB ? UsbDeviceVersion(fd) : 0;
        return true;
    }

    bool ReadCapabilities(Handle handle, HidCaps* caps) override
    {
        const int fd = DecodeHandle(handle);
        if (fd < 0)
            return false;
        std::string descriptor;
        int size = 0;
        if (ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0) {
            // A query handle: the descriptor that sysfs shows beside the device.
            if (!IsDirectory(fd) || !ReadAt(fd, "report_descriptor", &descriptor))
                return false;
        } else {
            if (size < 0 || size > HID_MAX_DESCRIPTOR_SIZE)
                return false;
            hidraw_report_descriptor raw{};
            raw.size = static_cast<std::uint32_t>(size);
            if (ioctl(fd, HIDIOCGRDESC, &raw) < 0)
                return false;
            descriptor.assign(reinterpret_cast<const char*>(raw.value), raw.size);
        }
        const ReportLengths lengths =
            ComputeReportLengths(reinterpret_cast<const std::uint8_t*>(descriptor.data()), descriptor.size());
        *caps = HidCaps{};
        caps->InputReportByteLength = lengths.input;
        caps->OutputReportByteLength = lengths.output;
        caps->FeatureReportByteLength = lengths.feature;
        return true;
    }

    bool ReadProductString(Handle handle, std::string* name) override
    {
        const int fd = DecodeHandle(handle);
        if (fd < 0)
            return false;
        char text[256] = {};
        if (ioctl(fd, HIDIOCGRAWNAME(sizeof text - 1), text) >= 0) {
            name->assign(text, strnlen(text, sizeof text));
            return true;
        }
        return IsDirectory(fd) && UeventField(fd, "HID_NAME", name);
    }

    bool WriteReport(Handle handle, const std::uint8_t* report, std::uint32_t length, SysError* error) override
    {
        const int fd = DecodeHandle(handle);
        int code = EBADF;
        if (fd >= 0 && (report != nullptr || length == 0)) {
            ssize_t n = -1;
            do {
                n = write(fd, report, length);
            } while (n < 0 && errno == EINTR);
            if (n >= 0 && static_cast<std::size_t>(n) == length)
                return true;
            code = n < 0 ? errno : EIO;  // hidraw takes a report whole or not at all
        }
        if (error != nullptr)
            *error = SysErrorOf(code);
        return false;
    }

    void Close(Handle handle) override
    {
        UnlockController(handle);
        const int fd = DecodeHandle(handle);
        if (fd >= 0)
            close(fd);  // never retried: the descriptor is gone even on EINTR
    }

    void DebugOutput(const char* line) override
    {
        if (line == nullptr)
            return;
        // The system log at debug priority (journald keeps it): where a
        // developer looks and a user does not. The log adds its own line end.
        std::size_t length = std::strlen(line);
        if (length > 0 && line[length - 1] == '\n')
            --length;
        syslog(LOG_DEBUG, "%.*s", static_cast<int>(std::min<std::size_t>(length, INT_MAX)), line);
    }

    LockResult LockController(Handle handle, const std::string& path, std::string* why) override
    {
        return DecodeHandle(handle) < 0 ? LockResult::kFailed : m_locks.Lock(handle, path, why);
    }

    void UnlockController(Handle handle) override { m_locks.Unlock(handle); }

    LockResult ProbeController(const std::string& path, std::string* why) override
    {
        return CControllerLocks::Probe(path, why);
    }

    bool DescribeController(const std::string& path, ControllerInfo* info) override
    {
        return hidraw::DescribeController(path, info);
    }

    bool SystemOwnsUsage(std::uint16_t, std::uint16_t) override { return false; }

    AccessFacts ControllerAccessFacts() override
    {
        AccessFacts facts;
        facts.gate = AccessFacts::Gate::kUdevRule;
        // Where udev reads rules, in its order.
        for (const char* folder :
             {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"}) {
            const std::string rule = std::string(folder) + "/" + kRuleName;
            if (::access(rule.c_str(), F_OK) == 0) {
                facts.installedRule = rule;
                break;
            }
        }
        char exe[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n <= 0)
            return facts;
        std::string folder(exe, static_cast<std::size_t>(n));
        folder.erase(folder.find_last_of('/') == std::string::npos ? 0 : folder.find_last_of('/'));
        facts.programFolder = folder;
        // An install under a prefix: PREFIX/bin beside PREFIX/lib/udev/rules.d.
        const std::size_t bin = folder.find_last_of('/');
        if (bin != std::string::npos && folder.compare(bin, std::string::npos, "/bin") == 0) {
            const std::string rule = folder.substr(0, bin) + "/lib/udev/rules.d/" + kRuleName;
            if (rule != facts.installedRule && ::access(rule.c_str(), F_OK) == 0)
                facts.shippedRule = rule;
        }
        return facts;
    }

private:
    CControllerLocks m_locks;

    // A handle for queries only: the node's device folder in sysfs, which
    // anybody may read, where the node itself may be closed to this user.
    // -1 with errno set when there is none.
    static int OpenForQueries(const std::string& path)
    {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0)
            return -1;
        return open(DeviceLink(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }

    // HID_ID=0003:00000E8F:0000310D (bus, vendor, product) of a query handle.
    static bool QueriedAttributes(int fd, HidAttributes* attributes)
    {
        std::string id;
        if (!IsDirectory(fd) || !UeventField(fd, "HID_ID", &id))
            return false;
        unsigned bus = 0;
        unsigned long vendor = 0;
        unsigned long product = 0;
        if (std::sscanf(id.c_str(), "%x:%lx:%lx", &bus, &vendor, &product) != 3)
            return false;
        attributes->VendorID = static_cast<std::uint16_t>(vendor);
        attributes->ProductID = static_cast<std::uint16_t>(product);
        attributes->VersionNumber = 0;
        return true;
    }
};

}  // namespace

IHidPlatform& NativeHidPlatform()
{
    static LinuxHidPlatform platform;
    return platform;
}

}  // namespace hidplat
