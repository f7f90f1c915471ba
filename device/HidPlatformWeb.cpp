// The HID services in a web page, through WebHID (HidPlatformWeb.js): the list
// is the devices the user granted this page, a path is "webhid:N", and a write
// waits for HIDDevice.sendReport while the page runs on (Asyncify). What
// WebHID does not tell, a version or where the device sits, is left unknown.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/DownloadProtocol.h"
#include "device/HidPlatform.h"
#include "sys/Utf16.h"

extern "C" {
int tvx_hid_available();
int tvx_hid_list(int ask, int vendorId, int productId);
int tvx_hid_list_size(int list);
int tvx_hid_list_device(int list, int index);
void tvx_hid_list_free(int list);
int tvx_hid_open(int device);
int tvx_hid_ids(int handle, std::uint16_t* vendorId, std::uint16_t* productId);
int tvx_hid_caps(int handle, std::uint16_t* usagePage, std::uint16_t* usage, std::uint16_t* outputLength);
char* tvx_hid_product(int handle);
int tvx_hid_write(int handle, const void* buffer, std::uint32_t length);
void tvx_hid_close(int handle);
std::uint32_t tvx_hid_last_error();
void tvx_hid_debug(const char* line);
}

namespace hidplat {

namespace {

constexpr Guid kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr std::uint32_t kSpintActive = 0x1;  // SPINT_ACTIVE
constexpr char kPathPrefix[] = "webhid:";

struct PreparsedCaps {
    HidCaps caps;
};

// Handles and lists are the JavaScript side's small positive numbers.
int Id(const void* p)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(p));
}

template <class T>
T FromId(int id)
{
    return reinterpret_cast<T>(static_cast<std::intptr_t>(id));
}

class WebHidPlatform final : public IHidPlatform {
public:
    void GetHidGuid(Guid* guid) override
    {
        *guid = kHidInterfaceClass;
        // A new search: its first list may ask the browser's chooser.
        m_mayAsk = true;
    }

    DevInfoList GetClassDevs(const Guid*, std::uint32_t) override
    {
        const bool ask = m_mayAsk;
        m_mayAsk = false;
        const int list = tvx_hid_list(ask ? 1 : 0, kControllerVendorId, kControllerProductId);
        return list > 0 ? FromId<DevInfoList>(list) : kInvalidDevInfoList;
    }

    bool EnumDeviceInterfaces(DevInfoList list, const Guid*, std::uint32_t index, InterfaceData* data) override
    {
        if (data == nullptr || data->cbSize != sizeof(InterfaceData))
            return false;
        const int size = tvx_hid_list_size(Id(list));
        if (size < 0 || index >= static_cast<std::uint32_t>(size))
            return false;
        data->InterfaceClassGuid = kHidInterfaceClass;
        data->Flags = kSpintActive;
        data->Reserved = std::uintptr_t{index} + 1;  // 0 marks a record this list never filled
        return true;
    }

    bool GetDeviceInterfaceDetail(DevInfoList list, const InterfaceData* data, InterfaceDetailA* detail,
                                  std::uint32_t detailSize, std::uint32_t* requiredSize) override
    {
        if (data == nullptr || data->Reserved == 0)
            return false;
        const int device = tvx_hid_list_device(Id(list), static_cast<int>(data->Reserved - 1));
        if (device < 0)
            return false;
        const std::string path = kPathPrefix + std::to_string(device);
        constexpr std::size_t kPathOffset = offsetof(InterfaceDetailA, DevicePath);
        const std::size_t required = kPathOffset + path.size() + 1;
        if (requiredSize != nullptr)
            *requiredSize = static_cast<std::uint32_t>(required);
        if (detail == nullptr || detailSize < required || detail->cbSize != sizeof(InterfaceDetailA))
            return false;
        std::memcpy(reinterpret_cast<char*>(detail) + kPathOffset, path.c_str(), path.size() + 1);
        return true;
    }

    void DestroyDeviceInfoList(DevInfoList list) override
    {
        if (list != kInvalidDevInfoList)
            tvx_hid_list_free(Id(list));
    }

    Handle OpenInterface(const char* path, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override
    {
        constexpr std::size_t kPrefixLength = sizeof kPathPrefix - 1;
        if (path == nullptr || std::strncmp(path, kPathPrefix, kPrefixLength) != 0)
            return kInvalidHandle;
        char* end = nullptr;
        const long device = std::strtol(path + kPrefixLength, &end, 10);
        if (end == path + kPrefixLength || *end != '\0' || device < 0)
            return kInvalidHandle;
        const int handle = tvx_hid_open(static_cast<int>(device));
        return handle > 0 ? FromId<Handle>(handle) : kInvalidHandle;
    }

    bool GetAttributes(Handle handle, HidAttributes* attributes) override
    {
        attributes->Size = sizeof(HidAttributes);
        attributes->VersionNumber = 0;  // WebHID does not tell it
        return tvx_hid_ids(Id(handle), &attributes->VendorID, &attributes->ProductID) != 0;
    }

    bool GetPreparsedData(Handle handle, PreparsedData** data) override
    {
        auto parsed = std::make_unique<PreparsedCaps>();
        parsed->caps = HidCaps{};
        if (!tvx_hid_caps(Id(handle), &parsed->caps.UsagePage, &parsed->caps.Usage,
                          &parsed->caps.OutputReportByteLength))
            return false;
        *data = reinterpret_cast<PreparsedData*>(parsed.release());
        return true;
    }

    bool GetCaps(PreparsedData* data, HidCaps* caps) override
    {
        if (data == nullptr)
            return false;
        *caps = reinterpret_cast<PreparsedCaps*>(data)->caps;
        return true;
    }

    void FreePreparsedData(PreparsedData* data) override { delete reinterpret_cast<PreparsedCaps*>(data); }

    bool WriteFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) override
    {
        const bool sent = tvx_hid_write(Id(handle), buffer, length) != 0;
        if (written != nullptr)
            *written = sent ? length : 0;
        return sent;
    }

    void CloseHandle(Handle handle) override
    {
        if (handle != kInvalidHandle && handle != nullptr)
            tvx_hid_close(Id(handle));
    }

    void DebugOutput(const char* line) override { tvx_hid_debug(line); }

    // The page cannot see the native programs' lock, nor they its hold on
    // the device; within the page one update runs at a time. WebHID tells
    // nothing of the USB device, so each interface is its own controller,
    // place and serial number unknown (DescribeController's default).
    LockResult LockController(Handle, const char*, std::string*) override { return LockResult::kLocked; }

    std::uint32_t GetLastError() override { return tvx_hid_last_error(); }

    bool GetProductString(Handle handle, char16_t* buffer, std::uint32_t bytes) override
    {
        const std::size_t units = bytes / sizeof(char16_t);
        if (units == 0)
            return false;
        std::unique_ptr<char, decltype(&std::free)> name(tvx_hid_product(Id(handle)), &std::free);
        std::u16string text = Utf8ToUtf16(name ? name.get() : "");
        if (text.size() >= units)
            text.resize(units - 1);
        std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
        return true;
    }

    LockResult ProbeController(const char*, std::string*) override { return LockResult::kLocked; }

    // The browser keeps some collections for itself (keyboards, security
    // keys); it does not say which, so nothing is claimed here.
    bool SystemOwnsUsage(std::uint16_t, std::uint16_t) override { return false; }
    // A page cannot look at the system's files, and the advice is the CLI's.
    AccessFacts ControllerAccessFacts() override { return AccessFacts{}; }

private:
    bool m_mayAsk = false;
};

}  // namespace

IHidPlatform& NativeHidPlatform()
{
    static WebHidPlatform platform;
    return platform;
}

}  // namespace hidplat
