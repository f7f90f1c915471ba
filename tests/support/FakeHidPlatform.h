#pragma once
// An in-memory HID stack for the tests: interfaces that can be told not to
// open, not to describe themselves or to fail a write, and a record of what
// the link did with them. Safe to drive from a worker thread.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "device/HidPlatform.h"

namespace fakehid {

struct Interface {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t outputReportLength = 0;
    bool opens = true;          // CreateFileA succeeds
    bool describes = true;      // attributes and capabilities can be read
    bool detailFails = false;   // the second detail call fails
    int failWriteAt = -1;       // index of the write (0 = first on this handle) that fails; -1 none
    bool heldElsewhere = false; // another process's update holds its controller
    std::string controller;     // the key of its physical controller; empty: its own (the path)
    std::string place;          // the controller's place and serial number; empty: unknown
    std::string serial;
    bool lockFails = false;     // the system gives no lock for its controller
    std::string product;        // the product string; none when empty
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::uint32_t openError = hidplat::kErrorAccessDenied;  // why it does not open
    bool queryOpens = true;     // opens with no access, to be asked about
};

// The controller as the updater looks for it, with a 9-byte output report.
Interface Controller(std::string path = "/dev/fake-controller", std::uint16_t reportLength = 9);

class Platform final : public hidplat::IHidPlatform {
public:
    explicit Platform(std::vector<Interface> interfaces = {});

    // Set-up; call before the link runs.
    void SetInterfaces(std::vector<Interface> interfaces);
    void SetListFails(bool fails);
    // Runs inside every WriteFile (failing ones too), on the writing thread,
    // before the write is recorded.
    void SetWriteHook(std::function<void(std::size_t writeIndex)> hook);
    // What ControllerAccessFacts tells (by default: a udev rule, none installed).
    void SetAccessFacts(hidplat::AccessFacts facts);

    // What happened.
    std::vector<std::vector<std::uint8_t>> Writes() const;        // successful writes, in order
    std::vector<std::vector<std::uint8_t>> WritesTo(const std::string& path) const;  // those to one interface
    std::vector<std::string> DebugLines() const;
    std::vector<std::string> Opened() const;                      // paths, in open order
    int OpenHandles() const;                                      // opened and not yet closed
    int Closes() const;
    int ListsBuilt() const;
    int ListsLive() const;                                        // built and not yet destroyed
    int PreparsedLive() const;                                    // handed out and not yet freed
    void ClearRecord();

    // IHidPlatform
    void GetHidGuid(hidplat::Guid* guid) override;
    hidplat::DevInfoList GetClassDevs(const hidplat::Guid* interfaceClass, std::uint32_t flags) override;
    bool EnumDeviceInterfaces(hidplat::DevInfoList list, const hidplat::Guid* interfaceClass, std::uint32_t index,
                              hidplat::InterfaceData* data) override;
    bool GetDeviceInterfaceDetail(hidplat::DevInfoList list, const hidplat::InterfaceData* data,
                                  hidplat::InterfaceDetailA* detail, std::uint32_t detailSize,
                                  std::uint32_t* requiredSize) override;
    void DestroyDeviceInfoList(hidplat::DevInfoList list) override;
    hidplat::Handle OpenInterface(const char* path, std::uint32_t access, std::uint32_t share,
                                  std::uint32_t disposition, std::uint32_t flagsAndAttributes) override;
    bool GetAttributes(hidplat::Handle handle, hidplat::HidAttributes* attributes) override;
    bool GetPreparsedData(hidplat::Handle handle, hidplat::PreparsedData** data) override;
    bool GetCaps(hidplat::PreparsedData* data, hidplat::HidCaps* caps) override;
    void FreePreparsedData(hidplat::PreparsedData* data) override;
    bool WriteFile(hidplat::Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) override;
    void CloseHandle(hidplat::Handle handle) override;
    void DebugOutput(const char* line) override;
    // Busy while another open handle of the same controller holds the lock.
    hidplat::LockResult LockController(hidplat::Handle handle, const char* path, std::string* why) override;
    void UnlockController(hidplat::Handle handle) override;
    hidplat::LockResult ProbeController(const char* path, std::string* why) override;
    bool DescribeController(const char* path, hidplat::ControllerInfo* info) override;
    std::uint32_t GetLastError() override;
    bool GetProductString(hidplat::Handle handle, char16_t* buffer, std::uint32_t bytes) override;
    // As Windows: keyboards and mice.
    bool SystemOwnsUsage(std::uint16_t usagePage, std::uint16_t usage) override;
    hidplat::AccessFacts ControllerAccessFacts() override;

private:
    struct OpenFile {
        std::size_t interfaceIndex;
        std::size_t writes = 0;
        bool closed = false;
        bool locked = false;
        bool query = false;  // opened with no access
    };
    const Interface* InterfaceOf(hidplat::Handle handle) const;
    static std::string KeyOf(const Interface& iface) { return iface.controller.empty() ? iface.path : iface.controller; }
    // Under m_mutex: the state of the controller with `key`.
    hidplat::LockResult ControllerState(const std::string& key, std::string* why) const;

    mutable std::mutex m_mutex;
    std::vector<Interface> m_interfaces;
    bool m_listFails = false;
    std::function<void(std::size_t)> m_writeHook;
    hidplat::AccessFacts m_accessFacts;
    std::map<std::uintptr_t, OpenFile> m_files;  // by handle value
    std::uintptr_t m_nextHandle = 0x1000;
    std::vector<std::vector<std::uint8_t>> m_writes;
    std::vector<std::string> m_writePaths;  // the interface of each write
    std::vector<std::string> m_debugLines;
    std::vector<std::string> m_opened;
    int m_closes = 0;
    int m_listsBuilt = 0;
    int m_listsLive = 0;
    int m_preparsedLive = 0;
    std::uint32_t m_lastError = 0;
};

// Puts a platform in place for the life of the object.
class ScopedPlatform {
public:
    explicit ScopedPlatform(hidplat::IHidPlatform& platform) : m_previous(hidplat::SetHidPlatform(&platform)) {}
    ~ScopedPlatform() { hidplat::SetHidPlatform(m_previous); }
    ScopedPlatform(const ScopedPlatform&) = delete;
    ScopedPlatform& operator=(const ScopedPlatform&) = delete;

private:
    hidplat::IHidPlatform* m_previous;
};

}  // namespace fakehid
