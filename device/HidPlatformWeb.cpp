// The HID services in a web page, through WebHID (HidPlatformWeb.js): the list
// is the devices the user granted this page, a path is "webhid:N", and a write
// waits for HIDDevice.sendReport while the page runs on (Asyncify). What
// WebHID does not tell, a version or where the device sits, is left unknown.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "device/DownloadProtocol.h"
#include "device/HidPlatform.h"

extern "C" {
int tvx_hid_available();
int tvx_hid_list(int ask, int vendorId, int productId);
int tvx_hid_list_size(int list);
int tvx_hid_list_device(int list, int index);
void tvx_hid_list_free(int list);
int tvx_hid_open(int device);
int tvx_hid_ids(int handle, std::uint16_t* vendorId, std::uint16_t* productId);
int tvx_hid_caps(int handle, std::uint16_t* usagePage, std::uint16_t* usage, std::uint16_t* inputLength,
                 std::uint16_t* outputLength, std::uint16_t* featureLength);
char* tvx_hid_product(int handle);
int tvx_hid_write(int handle, const void* buffer, std::uint32_t length);
void tvx_hid_close(int handle);
int tvx_hid_last_error();
void tvx_hid_debug(const char* line);
}

namespace hidplat {

namespace {

constexpr char kPathPrefix[] = "webhid:";

// Handles are the JavaScript side's small positive numbers.
int Id(Handle handle)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle));
}

class WebHidPlatform final : public IHidPlatform {
public:
    // On the click that started the search, while the browser lets a page
    // ask: its chooser, when nothing granted is the controller.
    void BeginSearch(bool mayAsk) override
    {
        if (!mayAsk)
            return;
        const int list = tvx_hid_list(1, kControllerVendorId, kControllerProductId);
        if (list > 0)
            tvx_hid_list_free(list);
    }

    Listing InterfaceAt(std::uint32_t index, std::string* path) override
    {
        const int list = tvx_hid_list(0, kControllerVendorId, kControllerProductId);
        if (list <= 0)
            return Listing::kNoList;
        const int size = tvx_hid_list_size(list);
        const int device = index < static_cast<std::uint32_t>(std::max(size, 0))
                               ? tvx_hid_list_device(list, static_cast<int>(index))
                               : -1;
        tvx_hid_list_free(list);
        if (device < 0)
            return Listing::kPastTheEnd;
        *path = kPathPrefix + std::to_string(device);
        return Listing::kPath;
    }

    // A device opens for anything or nothing: WebHID has no lesser access.
    Handle Open(const std::string& path, Access, SysError* error) override
    {
        constexpr std::size_t kPrefixLength = sizeof kPathPrefix - 1;
        char* end = nullptr;
        const long device =
            path.compare(0, kPrefixLength, kPathPrefix) == 0 ? std::strtol(path.c_str() + kPrefixLength, &end, 10) : -1;
        const bool named = end != nullptr && end != path.c_str() + kPrefixLength && *end == '\0' && device >= 0;
        const int handle = named ? tvx_hid_open(static_cast<int>(device)) : 0;
        if (handle > 0)
            return reinterpret_cast<Handle>(static_cast<std::intptr_t>(handle));
        if (error != nullptr)
            *error = SysError{0, named ? static_cast<SysErrorKind>(tvx_hid_last_error()) : SysErrorKind::kGone};
        return nullptr;
    }

    bool ReadAttributes(Handle handle, HidAttributes* attributes) override
    {
        attributes->VersionNumber = 0;  // WebHID does not tell it
        return tvx_hid_ids(Id(handle), &attributes->VendorID, &attributes->ProductID) != 0;
    }

    bool ReadCapabilities(Handle handle, HidCaps* caps) override
    {
        return tvx_hid_caps(Id(handle), &caps->UsagePage, &caps->Usage, &caps->InputReportByteLength,
                            &caps->OutputReportByteLength, &caps->FeatureReportByteLength) != 0;
    }

    bool ReadProductString(Handle handle, std::string* name) override
    {
        std::unique_ptr<char, decltype(&std::free)> text(tvx_hid_product(Id(handle)), &std::free);
        if (!text)
            return false;
        *name = text.get();
        return true;
    }

    // WebHID gives no code, only what kind of failure it was.
    bool WriteReport(Handle handle, const std::uint8_t* report, std::uint32_t length, SysError* error) override
    {
        if (tvx_hid_write(Id(handle), report, length) != 0)
            return true;
        if (error != nullptr)
            *error = SysError{0, static_cast<SysErrorKind>(tvx_hid_last_error())};
        return false;
    }

    void Close(Handle handle) override { tvx_hid_close(Id(handle)); }

    void DebugOutput(const char* line) override { tvx_hid_debug(line); }

    // The page cannot see the native programs' lock, nor they its hold on
    // the device; within the page one update runs at a time. WebHID tells
    // nothing of the USB device, so each interface is its own controller,
    // place and serial number unknown (DescribeController's default).
    LockResult LockController(Handle, const std::string&, std::string*) override { return LockResult::kLocked; }
    LockResult ProbeController(const std::string&, std::string*) override { return LockResult::kLocked; }

    // The browser keeps some collections for itself (keyboards, security
    // keys); it does not say which, so nothing is claimed here.
    bool SystemOwnsUsage(std::uint16_t, std::uint16_t) override { return false; }
    // A page cannot look at the system's files, and the advice is the CLI's.
    AccessFacts ControllerAccessFacts() override { return AccessFacts{}; }
};

}  // namespace

IHidPlatform& NativeHidPlatform()
{
    static WebHidPlatform platform;
    return platform;
}

}  // namespace hidplat
