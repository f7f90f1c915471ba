// The controller link's services on Windows: SetupAPI's list of HID
// interfaces, the HID class driver library and the kernel's file calls; the
// controller's lock and description walk the device tree (CfgMgr32).
#include "device/HidPlatformWindows.h"
#include "device/HidPlatform.h"
#include "sys/File.h"
#include "sys/Utf16.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>
// These two headers declare C functions without extern "C" guards of their own.
extern "C" {
#include <hidsdi.h>
// Needs hidsdi.h first.
#include <hidpi.h>
}

namespace hidplat {

InterfaceOpenArguments InterfaceOpen(Access access)
{
    // Synchronous I/O (no FILE_FLAG_OVERLAPPED): a write returns when it has
    // ended. Other programs may go on using the interface meanwhile.
    return InterfaceOpenArguments{access == Access::kReadWrite ? GENERIC_READ | GENERIC_WRITE : 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL};
}

// One name per controller: instance IDs and paths differ only in letter case
// between calls, and a name may not hold backslashes or be as long as a path.
std::wstring ControllerLockName(const std::string& key)
{
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (char c : key) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    std::wstring name = L"Global\\tolvanex-controller-";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += L"0123456789abcdef"[(hash >> shift) & 0xF];
    return name;
}

namespace {

static_assert(sizeof(char16_t) == sizeof(WCHAR));

std::string Narrow(const wchar_t* text)
{
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), std::wcslen(text)));
}

std::string SystemWords(DWORD error)
{
    return SysErrorText(SysWindowsError(error));
}

struct ListDestroyer {
    void operator()(void* list) const { ::SetupDiDestroyDeviceInfoList(list); }
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// The device instance ID of a device node; empty when the system does not give it.
std::wstring InstanceId(DEVINST node)
{
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (::CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS)
        return {};
    return id;
}

bool IsUsbNode(const std::wstring& id, bool* isInterface)
{
    if (::_wcsnicmp(id.c_str(), L"USB\\", 4) != 0)
        return false;
    std::wstring upper = id;
    for (wchar_t& c : upper)
        c = static_cast<wchar_t>(::towupper(c));
    *isInterface = upper.find(L"&MI_") != std::wstring::npos;
    return true;
}

// A text property of a device node; empty when it has none. A list (REG_MULTI_SZ) gives its first entry.
std::string NodeText(DEVINST node, ULONG property)
{
    wchar_t text[512] = {};
    ULONG type = 0;
    ULONG size = sizeof text - sizeof(wchar_t);
    if (::CM_Get_DevNode_Registry_PropertyW(node, property, &type, text, &size, 0) != CR_SUCCESS ||
        (type != REG_SZ && type != REG_MULTI_SZ))
        return {};
    return Narrow(text);
}

// The device node of the HID interface at `path`: the interface opened by its
// path, or else (wine cannot do that) found in the list of HID interfaces.
// The set that found it stays alive with it: wine's nodes are valid only so long.
class CInterfaceNode {
public:
    explicit CInterfaceNode(const char* path)
    {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        m_set = ::SetupDiCreateDeviceInfoList(nullptr, nullptr);
        // Opening the interface adds its device to the set, as its only member.
        if (m_set != INVALID_HANDLE_VALUE && ::SetupDiOpenDeviceInterfaceA(m_set, path, 0, &data) != FALSE &&
            ::SetupDiEnumDeviceInfo(m_set, 0, &device) != FALSE) {
            m_node = device.DevInst;
            m_found = true;
            return;
        }
        if (m_set != INVALID_HANDLE_VALUE)
            ::SetupDiDestroyDeviceInfoList(m_set);
        // Whatever the failed calls left in the records goes.
        data = SP_DEVICE_INTERFACE_DATA{};
        data.cbSize = sizeof data;
        device = SP_DEVINFO_DATA{};
        device.cbSize = sizeof device;
        GUID hidClass{};
        ::HidD_GetHidGuid(&hidClass);
        m_set = ::SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (m_set == INVALID_HANDLE_VALUE)
            return;
        for (DWORD index = 0; !m_found && ::SetupDiEnumDeviceInterfaces(m_set, nullptr, &hidClass, index, &data);
             ++index) {
            DWORD required = 0;
            ::SetupDiGetDeviceInterfaceDetailA(m_set, &data, nullptr, 0, &required, nullptr);
            std::vector<char> buffer(std::max<std::size_t>(required, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)));
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (::SetupDiGetDeviceInterfaceDetailA(m_set, &data, detail, static_cast<DWORD>(buffer.size()), nullptr,
                                                   &device) &&
                ::_stricmp(detail->DevicePath, path) == 0) {
                m_node = device.DevInst;
                m_found = true;
            }
        }
    }
    ~CInterfaceNode()
    {
        if (m_set != INVALID_HANDLE_VALUE)
            ::SetupDiDestroyDeviceInfoList(m_set);
    }
    CInterfaceNode(const CInterfaceNode&) = delete;
    CInterfaceNode& operator=(const CInterfaceNode&) = delete;

    bool Found() const { return m_found; }
    DEVINST Node() const { return m_node; }

private:
    HDEVINFO m_set = INVALID_HANDLE_VALUE;
    DEVINST m_node = 0;
    bool m_found = false;
};

class WindowsHidPlatform final : public IHidPlatform {
public:
    Listing InterfaceAt(std::uint32_t index, std::string* path) override
    {
        GUID hidClass{};
        ::HidD_GetHidGuid(&hidClass);
        const HDEVINFO list =
            ::SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (list == INVALID_HANDLE_VALUE)
            return Listing::kNoList;
        const std::unique_ptr<void, ListDestroyer> owner(list);

        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!::SetupDiEnumDeviceInterfaces(list, nullptr, &hidClass, index, &data))
            return Listing::kPastTheEnd;

        // Fails for want of a buffer; it only reports the size.
        DWORD required = 0;
        ::SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &required, nullptr);
        // Never smaller than the fixed part, which is written before the call.
        const DWORD size = std::max<DWORD>(required, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
        const std::unique_ptr<SP_DEVICE_INTERFACE_DETAIL_DATA_A, FreeDeleter> detail(
            static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(std::calloc(1, size)));
        if (!detail)
            return Listing::kNoDetailBuffer;
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!::SetupDiGetDeviceInterfaceDetailA(list, &data, detail.get(), size, nullptr, nullptr))
            return Listing::kDetailUnreadable;
        // The system promises a terminated path; do not read past the buffer if it broke that.
        const std::size_t room = size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        path->assign(detail->DevicePath, strnlen(detail->DevicePath, room));
        return Listing::kPath;
    }

    Handle Open(const std::string& path, Access access, SysError* error) override
    {
        const InterfaceOpenArguments how = InterfaceOpen(access);
        const HANDLE handle = ::CreateFileA(path.c_str(), how.access, how.share, nullptr, how.disposition,
                                            how.flagsAndAttributes, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (error != nullptr)
                *error = SysErrorOf(SysWindowsError(::GetLastError()));
            return nullptr;
        }
        return handle;
    }

    bool ReadAttributes(Handle handle, HidAttributes* attributes) override
    {
        HIDD_ATTRIBUTES windows{};
        windows.Size = sizeof windows;
        if (!::HidD_GetAttributes(handle, &windows))
            return false;
        *attributes = HidAttributes{windows.VendorID, windows.ProductID, windows.VersionNumber};
        return true;
    }

    bool ReadCapabilities(Handle handle, HidCaps* caps) override
    {
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        if (!::HidD_GetPreparsedData(handle, &preparsed))
            return false;
        HIDP_CAPS windows{};
        const bool ok = ::HidP_GetCaps(preparsed, &windows) == HIDP_STATUS_SUCCESS;
        ::HidD_FreePreparsedData(preparsed);
        if (ok)
            *caps = HidCaps{windows.UsagePage, windows.Usage, windows.InputReportByteLength,
                            windows.OutputReportByteLength, windows.FeatureReportByteLength};
        return ok;
    }

    bool ReadProductString(Handle handle, std::string* name) override
    {
        // A USB string descriptor holds at most 126 characters.
        wchar_t text[128] = {};
        if (!::HidD_GetProductString(handle, text, sizeof text - sizeof(wchar_t)))
            return false;
        *name = Narrow(text);
        return true;
    }

    bool WriteReport(Handle handle, const std::uint8_t* report, std::uint32_t length, SysError* error) override
    {
        DWORD written = 0;
        if (::WriteFile(handle, report, length, &written, nullptr) != FALSE)
            return true;
        if (error != nullptr)
            *error = SysErrorOf(SysWindowsError(::GetLastError()));
        return false;
    }

    void Close(Handle handle) override
    {
        ::CloseHandle(handle);
        UnlockController(handle);
    }

    void DebugOutput(const char* line) override { ::OutputDebugStringA(line); }

    LockResult LockController(Handle handle, const std::string& path, std::string* why) override
    {
        ControllerInfo controller;
        if (!DescribeController(path, &controller))
            return LockResult::kFailed;
        // The named object exists while any process holds a handle to it, so
        // whoever creates it holds the controller. No mutex ownership: that
        // belongs to a thread, and the handle outlives the update's thread.
        const HANDLE lock = ::CreateMutexW(nullptr, FALSE, ControllerLockName(controller.key).c_str());
        const DWORD error = ::GetLastError();
        if (lock != nullptr && error == ERROR_ALREADY_EXISTS) {
            ::CloseHandle(lock);
            return LockResult::kBusy;
        }
        if (lock == nullptr) {
            // The object exists, made by another user's update, whose rights keep us out.
            if (error == ERROR_ACCESS_DENIED)
                return LockResult::kBusy;
            if (why != nullptr)
                *why = SystemWords(error);
            return LockResult::kFailed;
        }
        std::lock_guard<std::mutex> guard(m_locksMutex);
        m_locks[handle] = lock;
        return LockResult::kLocked;
    }

    void UnlockController(Handle handle) override
    {
        HANDLE lock = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_locksMutex);
            if (auto found = m_locks.find(handle); found != m_locks.end()) {
                lock = found->second;
                m_locks.erase(found);
            }
        }
        if (lock != nullptr)
            ::CloseHandle(lock);
    }

    LockResult ProbeController(const std::string& path, std::string* why) override
    {
        ControllerInfo controller;
        if (!DescribeController(path, &controller))
            return LockResult::kFailed;
        const HANDLE lock = ::OpenMutexW(SYNCHRONIZE, FALSE, ControllerLockName(controller.key).c_str());
        const DWORD error = ::GetLastError();
        if (lock != nullptr) {
            ::CloseHandle(lock);
            return LockResult::kBusy;
        }
        if (error == ERROR_FILE_NOT_FOUND)
            return LockResult::kLocked;
        if (error == ERROR_ACCESS_DENIED)
            return LockResult::kBusy;
        if (why != nullptr)
            *why = SystemWords(error);
        return LockResult::kFailed;
    }

    // The USB device node above the HID interface: its parent, or its
    // grandparent when the parent is one interface (&MI_) of a composite
    // device. Nothing further up: a Bluetooth adapter on USB is not the
    // controller of the devices paired with it.
    bool DescribeController(const std::string& path, ControllerInfo* info) override
    {
        if (info == nullptr)
            return false;
        *info = ControllerInfo{path, {}, {}};
        const CInterfaceNode found(path.c_str());
        if (!found.Found())
            return true;  // the system cannot tell: the interface is its own controller
        const DEVINST hid = found.Node();
        const std::wstring hidId = InstanceId(hid);
        if (!hidId.empty())
            info->key = Narrow(hidId.c_str());
        DEVINST node = 0;
        bool isInterface = false;
        if (::CM_Get_Parent(&node, hid, 0) != CR_SUCCESS)
            return true;
        std::wstring id = InstanceId(node);
        if (!IsUsbNode(id, &isInterface))
            return true;
        if (isInterface) {
            DEVINST device = 0;
            if (::CM_Get_Parent(&device, node, 0) != CR_SUCCESS)
                return true;
            std::wstring deviceId = InstanceId(device);
            if (!IsUsbNode(deviceId, &isInterface) || isInterface)
                return true;
            node = device;
            id = std::move(deviceId);
        }
        info->key = Narrow(id.c_str());
        // "Port_#0003.Hub_#0001"; where the hub does not say, the location path.
        info->place = NodeText(node, CM_DRP_LOCATION_INFORMATION);
        if (info->place.empty())
            info->place = NodeText(node, CM_DRP_LOCATION_PATHS);
        // A device with a serial number has it as the last part of its
        // instance ID; one without gets a made-up part holding '&'.
        const std::size_t cut = id.find_last_of(L'\\');
        const std::wstring last = cut == std::wstring::npos ? std::wstring() : id.substr(cut + 1);
        if (!last.empty() && last.find(L'&') == std::wstring::npos)
            info->serial = Narrow(last.c_str());
        return true;
    }

    // The system opens these for itself, so they refuse every program.
    bool SystemOwnsUsage(std::uint16_t usagePage, std::uint16_t usage) override
    {
        constexpr std::uint16_t kGenericDesktop = 0x01;
        constexpr std::uint16_t kMouse = 0x02;
        constexpr std::uint16_t kKeyboard = 0x06;
        constexpr std::uint16_t kKeypad = 0x07;
        return usagePage == kGenericDesktop && (usage == kMouse || usage == kKeyboard || usage == kKeypad);
    }

    // Windows gives every user the HID class's devices; only another
    // program's exclusive open stands in the way.
    AccessFacts ControllerAccessFacts() override
    {
        AccessFacts facts;
        facts.gate = AccessFacts::Gate::kExclusiveHold;
        return facts;
    }

private:
    std::mutex m_locksMutex;
    std::map<Handle, HANDLE> m_locks;  // interface handle -> its controller's lock
};

}  // namespace

IHidPlatform& NativeHidPlatform()
{
    static WindowsHidPlatform platform;
    return platform;
}

}  // namespace hidplat
