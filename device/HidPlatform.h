#pragma once
// The operating-system services that the controller link uses. Each operation
// stands for exactly one SetupAPI, HID class driver or kernel call on Windows
// (named beside it); other systems supply the same behaviour from their own HID
// stack. The records keep the layout that Windows publishes, so the Windows
// backend can pass them straight through.

#include <cstddef>
#include <cstdint>
#include <string>

namespace hidplat {

using Handle = void*;       // HANDLE
using DevInfoList = void*;  // HDEVINFO
struct PreparsedData;       // PHIDP_PREPARSED_DATA points at one of these

// INVALID_HANDLE_VALUE: what a handle field holds when it holds no handle.
inline Handle const kInvalidHandle = reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1));
inline DevInfoList const kInvalidDevInfoList = reinterpret_cast<DevInfoList>(static_cast<std::intptr_t>(-1));

struct Guid {  // GUID
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

struct InterfaceData {  // SP_DEVICE_INTERFACE_DATA
    std::uint32_t cbSize;
    Guid InterfaceClassGuid;
    std::uint32_t Flags;
    std::uintptr_t Reserved;
};

struct InterfaceDetailA {  // SP_DEVICE_INTERFACE_DETAIL_DATA_A
    std::uint32_t cbSize;
    char DevicePath[1];  // really as long as the buffer that holds the record
};

struct HidAttributes {  // HIDD_ATTRIBUTES
    std::uint32_t Size;
    std::uint16_t VendorID;
    std::uint16_t ProductID;
    std::uint16_t VersionNumber;
};

struct HidCaps {  // HIDP_CAPS
    std::uint16_t Usage;
    std::uint16_t UsagePage;
    std::uint16_t InputReportByteLength;
    std::uint16_t OutputReportByteLength;
    std::uint16_t FeatureReportByteLength;
    std::uint16_t Reserved[17];
    std::uint16_t NumberLinkCollectionNodes;
    std::uint16_t NumberInputButtonCaps;
    std::uint16_t NumberInputValueCaps;
    std::uint16_t NumberInputDataIndices;
    std::uint16_t NumberOutputButtonCaps;
    std::uint16_t NumberOutputValueCaps;
    std::uint16_t NumberOutputDataIndices;
    std::uint16_t NumberFeatureButtonCaps;
    std::uint16_t NumberFeatureValueCaps;
    std::uint16_t NumberFeatureDataIndices;
};

// Flag values as Windows defines them.
constexpr std::uint32_t kDigcfPresent = 0x02;          // DIGCF_PRESENT
constexpr std::uint32_t kDigcfDeviceInterface = 0x10;  // DIGCF_DEVICEINTERFACE
constexpr std::uint32_t kGenericRead = 0x80000000u;    // GENERIC_READ
constexpr std::uint32_t kGenericWrite = 0x40000000u;   // GENERIC_WRITE
constexpr std::uint32_t kFileShareRead = 0x1;          // FILE_SHARE_READ
constexpr std::uint32_t kFileShareWrite = 0x2;         // FILE_SHARE_WRITE
constexpr std::uint32_t kFileShareDelete = 0x4;        // FILE_SHARE_DELETE
constexpr std::uint32_t kOpenExisting = 3;             // OPEN_EXISTING
constexpr std::uint32_t kFileAttributeNormal = 0x80;   // FILE_ATTRIBUTE_NORMAL

// Error codes as GetLastError gives them.
constexpr std::uint32_t kErrorFileNotFound = 2;           // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kErrorPathNotFound = 3;           // ERROR_PATH_NOT_FOUND
constexpr std::uint32_t kErrorAccessDenied = 5;           // ERROR_ACCESS_DENIED
constexpr std::uint32_t kErrorSharingViolation = 32;      // ERROR_SHARING_VIOLATION
constexpr std::uint32_t kErrorGenFailure = 31;            // ERROR_GEN_FAILURE
constexpr std::uint32_t kErrorDevNotExist = 55;           // ERROR_DEV_NOT_EXIST
constexpr std::uint32_t kErrorBusy = 170;                 // ERROR_BUSY
constexpr std::uint32_t kErrorNoSuchDevice = 433;         // ERROR_NO_SUCH_DEVICE
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;  // ERROR_DEVICE_NOT_CONNECTED

// What taking a controller for one update gave (or, asked beforehand, would give).
enum class LockResult {
    kLocked,  // this process alone holds it, until let go or its handle closes (asked: nothing in the way)
    kBusy,    // another update holds it
    kFailed,  // the system gave no lock, for a reason other than another update; the
              // controller is used without one, and the user is told why
};

// The physical controller that a HID interface belongs to: on USB the device
// (all its interfaces), elsewhere (uhid, Bluetooth) the HID device itself.
// Updates lock it whole, and the CLI groups and picks interfaces by it.
struct ControllerInfo {
    std::string key;     // the same for every interface of one controller, and new at each plug-in
    std::string place;   // where it is plugged in ("1-2.3", "Port_#0003.Hub_#0001"); empty when unknown
    std::string serial;  // its serial number; empty when it has none or the system does not tell
};

// What the system tells of a controller that this user may not open, for
// whoever words the advice.
struct AccessFacts {
    enum class Gate {
        kUdevRule,       // a udev rule gives the user of the local session the controller's node (Linux)
        kExclusiveHold,  // another program may hold the controller for itself (Windows)
    };
    Gate gate = Gate::kUdevRule;
    // kUdevRule: the controller's rule where udev reads it (/etc/udev/rules.d,
    // /run/udev/rules.d, /usr/lib/udev/rules.d or /lib/udev/rules.d); empty
    // when none of them holds it.
    std::string installedRule;
    // The rule that came with the program where udev does not read it: in the
    // source tree of the build that runs (fromBuild), or under the prefix that
    // the program was installed to (PREFIX/lib/udev/rules.d); empty when none.
    std::string shippedRule;
    bool fromBuild = false;
};

class IHidPlatform {
public:
    virtual ~IHidPlatform() = default;

    // HidD_GetHidGuid
    virtual void GetHidGuid(Guid* guid) = 0;
    // SetupDiGetClassDevsA(guid, no enumerator, no window, flags);
    // kInvalidDevInfoList when the list cannot be built.
    virtual DevInfoList GetClassDevs(const Guid* interfaceClass, std::uint32_t flags) = 0;
    // SetupDiEnumDeviceInterfaces(list, no device record, guid, index, data);
    // false past the end of the list.
    virtual bool EnumDeviceInterfaces(DevInfoList list, const Guid* interfaceClass, std::uint32_t index,
                                      InterfaceData* data) = 0;
    // SetupDiGetDeviceInterfaceDetailA(list, data, detail, detailSize, requiredSize, no device record).
    // detail may be null with detailSize 0, to learn the size; requiredSize may be null.
    virtual bool GetDeviceInterfaceDetail(DevInfoList list, const InterfaceData* data, InterfaceDetailA* detail,
                                          std::uint32_t detailSize, std::uint32_t* requiredSize) = 0;
    // SetupDiDestroyDeviceInfoList
    virtual void DestroyDeviceInfoList(DevInfoList list) = 0;
    // CreateFileA(path, access, share, no security, disposition, flags, no template);
    // kInvalidHandle when the path does not open. With access 0 the handle
    // serves only to ask about the interface (attributes, capabilities, product
    // string), which also works where reading and writing are refused.
    virtual Handle OpenInterface(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                                 std::uint32_t flagsAndAttributes) = 0;
    // HidD_GetAttributes
    virtual bool GetAttributes(Handle handle, HidAttributes* attributes) = 0;
    // HidD_GetPreparsedData
    virtual bool GetPreparsedData(Handle handle, PreparsedData** data) = 0;
    // HidP_GetCaps; true for HIDP_STATUS_SUCCESS.
    virtual bool GetCaps(PreparsedData* data, HidCaps* caps) = 0;
    // HidD_FreePreparsedData
    virtual void FreePreparsedData(PreparsedData* data) = 0;
    // WriteFile(handle, buffer, length, written, no overlapped record): synchronous.
    virtual bool WriteFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) = 0;
    // CloseHandle
    virtual void CloseHandle(Handle handle) = 0;
    // OutputDebugStringA, or where a developer looks on other systems; never
    // where the user does.
    virtual void DebugOutput(const char* line) = 0;
    // Holds the controller that the open interface `handle` (opened from
    // `path`) belongs to, for this process alone, across processes and within
    // this one, until UnlockController or the handle's close; never waits.
    // On kFailed, `why` (if given) gets the system's words.
    // Windows: a named mutex derived from the USB device node; Linux: a lock
    // on the USB device's folder in sysfs.
    virtual LockResult LockController(Handle handle, const char* path, std::string* why) = 0;
    // Lets go of the lock that LockController took for `handle`; the handle
    // stays open. Nothing when it holds none.
    virtual void UnlockController(Handle handle);
    // What LockController would give for the interface at `path` now, without
    // taking anything, so that asking never stands in an update's way.
    virtual LockResult ProbeController(const char* path, std::string* why) = 0;
    // The controller of the interface at `path`. A system that cannot tell
    // (a browser's WebHID) keeps this default: each interface is its own
    // controller, place and serial unknown.
    virtual bool DescribeController(const char* path, ControllerInfo* info);

    // What a diagnostic beside the link needs; the search uses none of these.

    // GetLastError: why the last call of this thread that failed did, as a
    // Windows error code (other systems translate their own).
    virtual std::uint32_t GetLastError() = 0;
    // HidD_GetProductString: the product's name in UTF-16, zero-terminated
    // within `bytes`.
    virtual bool GetProductString(Handle handle, char16_t* buffer, std::uint32_t bytes) = 0;
    // No call: whether the system keeps the HID collections of this usage for
    // itself, so that no program may open them (Windows: keyboards and mice).
    virtual bool SystemOwnsUsage(std::uint16_t usagePage, std::uint16_t usage) = 0;
    // No call: how this user could be given the controller (where the
    // system's files stand), for the advice when it may not open it.
    virtual AccessFacts ControllerAccessFacts() = 0;
};

// The system's own services.
IHidPlatform& NativeHidPlatform();

// The services in use: the native ones unless a test has put others in their place.
IHidPlatform& CurrentHidPlatform();

// A diagnostic line of the link: DebugOutput of the platform in use and, when
// echoing is on (a verbose command line), standard error as well.
void Diagnose(const char* line);
void SetDiagnosticsEcho(bool echo);

// Puts `platform` in place (null puts the native one back); returns the one it replaces.
// Not for use while a controller link is in use on another thread.
IHidPlatform* SetHidPlatform(IHidPlatform* platform);

}  // namespace hidplat
