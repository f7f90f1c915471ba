#pragma once
// What the controller link needs of the system's HID stack, in whole
// operations: one backend per system (HidPlatformLinux.cpp on hidraw,
// HidPlatformWindows.cpp, HidPlatformWeb.cpp on WebHID) and an in-memory one
// for the tests. Texts are UTF-8; errors are sys/ error values.

#include <cstdint>
#include <string>

#include "sys/ErrorText.h"

namespace hidplat {

// An open HID interface, as its backend knows it; null is none.
using Handle = void*;

// What the system's list of present HID interfaces holds at a position. The
// first four are the list's own troubles, each told by a line of its own.
enum class Listing {
    kNoList,            // no list could be built
    kPastTheEnd,        // nothing there: the list is shorter (also its normal end)
    kNoDetailBuffer,    // no room could be had for the interface's detail
    kDetailUnreadable,  // its detail could not be read
    kPath,              // an interface, and its path
};

// What an interface is opened for.
enum class Access {
    kReadWrite,  // the link's own: synchronous writes of output reports
    kQuery,      // only to be asked about (identity, capabilities, product),
                 // which also works where reading and writing are refused
};

// Who an interface says it is.
struct HidAttributes {
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;  // 0 where the system does not tell
};

// What an interface's report descriptor says. A report's length counts its
// report ID byte.
struct HidCaps {
    std::uint16_t UsagePage = 0;  // of its top-level collection
    std::uint16_t Usage = 0;
    std::uint16_t InputReportByteLength = 0;
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;
};

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
    // The rule that came with the program where udev does not read it: under
    // the prefix that the program was installed to (PREFIX/lib/udev/rules.d),
    // or, as whoever words the advice may find it, in the source tree of the
    // build that runs (fromBuild); empty when none.
    std::string shippedRule;
    bool fromBuild = false;
    // The folder that holds the running program; empty when the system does not tell.
    std::string programFolder;
};

class IHidPlatform {
public:
    virtual ~IHidPlatform() = default;

    // A search for the controller begins. With `mayAsk` the user may be asked
    // now to grant one (a browser's chooser, where nothing granted is the
    // controller); the lists that follow never ask. Nothing on systems that
    // list every device present.
    virtual void BeginSearch(bool mayAsk);
    // The interface at `index` in the system's list of present HID interfaces,
    // the list built anew for this call: kPath with `path` set, or the list's
    // trouble.
    virtual Listing InterfaceAt(std::uint32_t index, std::string* path) = 0;
    // Opens the interface at `path`; null, with *error set (if given), when it
    // does not open.
    virtual Handle Open(const std::string& path, Access access, SysError* error) = 0;
    virtual bool ReadAttributes(Handle handle, HidAttributes* attributes) = 0;
    virtual bool ReadCapabilities(Handle handle, HidCaps* caps) = 0;
    // Its product's name; false when the system gives none.
    virtual bool ReadProductString(Handle handle, std::string* name) = 0;
    // Writes one output report, byte 0 its report ID, whole; returns when the
    // write has ended. Handles opened for kQuery write nothing. False, with
    // *error set (if given), when the report did not go out whole.
    virtual bool WriteReport(Handle handle, const std::uint8_t* report, std::uint32_t length, SysError* error) = 0;
    // Closes the handle, and lets go of the lock taken with it.
    virtual void Close(Handle handle) = 0;
    // Where a developer looks and a user does not (OutputDebugStringA, the
    // system log, the browser's console).
    virtual void DebugOutput(const char* line) = 0;

    // Holds the controller that the open interface `handle` (opened from
    // `path`) belongs to, for this process alone, across processes and within
    // this one, until UnlockController or the handle's close; never waits.
    // On kFailed, `why` (if given) gets the system's words.
    // Windows: a named mutex derived from the USB device node; Linux: a lock
    // on the USB device's folder in sysfs.
    virtual LockResult LockController(Handle handle, const std::string& path, std::string* why) = 0;
    // Lets go of the lock that LockController took for `handle`; the handle
    // stays open. Nothing when it holds none.
    virtual void UnlockController(Handle handle);
    // What LockController would give for the interface at `path` now, without
    // taking anything, so that asking never stands in an update's way.
    virtual LockResult ProbeController(const std::string& path, std::string* why) = 0;
    // The controller of the interface at `path`. A system that cannot tell
    // (a browser's WebHID) keeps this default: each interface is its own
    // controller, place and serial unknown.
    virtual bool DescribeController(const std::string& path, ControllerInfo* info);

    // What a diagnostic beside the link needs; the search uses none of these.

    // Whether the system keeps the HID collections of this usage for itself,
    // so that no program may open them (Windows: keyboards and mice).
    virtual bool SystemOwnsUsage(std::uint16_t usagePage, std::uint16_t usage) = 0;
    // How this user could be given the controller (where the system's files
    // stand), for the advice when it may not open it.
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
