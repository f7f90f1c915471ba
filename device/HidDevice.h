#pragma once
// The controller link: finds the n-th HID interface with a given vendor and
// product ID, holds it open, writes output reports to it and closes it.

#include <cstdint>
#include <string>

#include "device/HidPlatform.h"

constexpr std::uint32_t kDevicePathSize = 260;  // MAX_PATH

// What a handle field holds when it holds no handle (INVALID_HANDLE_VALUE).
inline hidplat::Handle const kInvalidHandle = reinterpret_cast<hidplat::Handle>(static_cast<std::intptr_t>(-1));

// An interface class, laid out as a GUID.
struct Guid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

// {4D1E55B2-F16F-11CF-88CB-001111000030}: the class of HID interfaces, the
// only one that the systems list here.
constexpr Guid kHidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// Opens the HID interface at `memberIndex` in the system's list of present
// interfaces of `interfaceClass`, for synchronous reading and writing. Null
// when the list, the interface or its path was not obtained (each told by its
// diagnostic line); kInvalidHandle when the interface was reached but did not
// open; otherwise a handle that the caller owns. The path is copied into
// `pathOut` (if given) the way strncpy copies, bounded by `pathLimit`.
// `extraFlags` stays 0: every system opens for synchronous I/O only.
hidplat::Handle OpenHidInterface(const Guid* interfaceClass, std::uint32_t memberIndex, char* pathOut,
                                 std::uint32_t pathLimit, std::uint32_t extraFlags);

// The interfaces that a search may take. Within them the search keeps its
// order, its matching and its instance count; the others it passes over as it
// passes over interfaces of other IDs. Values compare without regard to the
// case of ASCII letters.
struct DeviceSelection {
    enum class Kind {
        kAny,         // every interface, as without a selection
        kPath,        // the interface at this path
        kPlace,       // the interfaces of the controller plugged in at this place
        kSerial,      // the interfaces of the controllers with this serial number
        kController,  // the interfaces of the controller with this key (ControllerInfo::key)
    };
    Kind kind = Kind::kAny;
    std::string value;

    // Whether the interface at `path`, of `controller`, is among them.
    bool Takes(const std::string& path, const hidplat::ControllerInfo& controller) const;
};

class CHidDevice {
public:
    CHidDevice();
    virtual ~CHidDevice();
    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    // 1 when the `instance`-th interface (0 = first) that matches and opens is
    // held, for this process alone until Close.
    int OpenDevice(std::uint16_t vendorId, std::uint16_t productId, std::int32_t instance);
    // Limits the searches from now on.
    void Select(DeviceSelection selection) { m_selection = std::move(selection); }
    int IsOpen() const;
    int WriteReport(const std::uint8_t* report, std::uint32_t length);
    // Why the last WriteReport failed, as the system said it; empty (code 0,
    // kOther) after one that went through, and after OpenDevice.
    const SysError& WriteError() const { return m_writeError; }
    std::uint32_t GetOutputReportLength() const;
    void Close();
    // Lets another update take the controller while this link keeps its
    // handle (after a transfer, whatever came of it).
    void ReleaseLock();

    // Read-only views for diagnostics and tests.
    hidplat::Handle Handle() const { return m_handle; }
    const char* DevicePath() const { return m_devicePath; }  // bounded by kDevicePathSize, maybe unterminated
    const hidplat::HidAttributes& Attributes() const { return m_attributes; }
    const hidplat::HidCaps& Capabilities() const { return m_caps; }
    bool IsClosed() const { return m_closed != 0; }
    // True when the last OpenDevice passed over a matching interface that
    // another update holds.
    bool PassedOverBusy() const { return m_passedOverBusy; }
    // True when the last OpenDevice passed over an interface that did not open.
    bool PassedOverUnopened() const { return m_passedOverUnopened; }
    // Why the held controller is used without the lock (the system would not
    // give one); empty when the lock is held.
    const std::string& LockTrouble() const { return m_lockTrouble; }

private:
    bool ReadDescription();
    bool Selected(const std::string& path) const;

    hidplat::Handle m_handle;
    char m_devicePath[kDevicePathSize];
    hidplat::HidAttributes m_attributes;
    hidplat::HidCaps m_caps;
    std::int32_t m_closed;
    bool m_passedOverBusy = false;
    bool m_passedOverUnopened = false;
    std::string m_lockTrouble;
    DeviceSelection m_selection;
    SysError m_writeError;
};
