#pragma once
// An in-memory HID stack for the tests: interfaces that can be told not to
// open, not to describe themselves or to fail a write, a list that can be
// told to fail, and a record of what the link did with them. Safe to drive
// from a worker thread.

#include <cerrno>
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
    // What the list answers at this interface's place: kPath, or the list's
    // own trouble there (kNoDetailBuffer, kDetailUnreadable).
    hidplat::Listing listed = hidplat::Listing::kPath;
    bool opens = true;          // opens for reading and writing
    bool describes = true;      // attributes and capabilities can be read
    int failWriteAt = -1;       // index of the write (0 = first on this handle) that fails; -1 none
    SysError writeError = SysErrorOf(EIO);  // why it fails
    bool heldElsewhere = false; // another process's update holds its controller
    std::string controller;     // the key of its physical controller; empty: its own (the path)
    std::string place;          // the controller's place and serial number; empty: unknown
    std::string serial;
    bool lockFails = false;     // the system gives no lock for its controller
    std::string product;        // the product string; none when empty
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    SysError openError = SysErrorOf(EACCES);  // why it does not open
    bool queryOpens = true;     // opens with no access, to be asked about
};

// The controller as the updater looks for it, with a 9-byte output report.
Interface Controller(std::string path = "/dev/fake-controller", std::uint16_t reportLength = 9);

class Platform final : public hidplat::IHidPlatform {
public:
    explicit Platform(std::vector<Interface> interfaces = {});

    // Set-up; call before the link runs.
    void SetInterfaces(std::vector<Interface> interfaces);
    // No list can be built.
    void SetListFails(bool fails);
    // Runs inside every WriteFile (failing ones too), on the writing thread,
    // before the write is recorded.
    void SetWriteHook(std::function<void(std::size_t writeIndex)> hook);
    // What ControllerAccessFacts tells (by default: a udev rule, none installed).
    void SetAccessFacts(hidplat::AccessFacts facts);
    // The first walk of the list that begins once the interface at `path` has
    // taken `afterWrites` writes passes over it, as a walk does when an
    // interface before it goes away meanwhile (the list shifts under it).
    void PassOverOnce(std::string path, std::size_t afterWrites);
    // Runs at the start of every walk of the list (InterfaceAt(0)); `passesOver`
    // tells the walk of PassOverOnce.
    void SetWalkHook(std::function<void(bool passesOver)> hook);
    // Runs when an update takes the lock of the controller at `path`.
    void SetLockHook(std::function<void(const std::string& path)> hook);

    // What happened.
    std::vector<std::vector<std::uint8_t>> Writes() const;        // successful writes, in order
    std::vector<std::vector<std::uint8_t>> WritesTo(const std::string& path) const;  // those to one interface
    std::vector<std::string> DebugLines() const;
    std::vector<std::string> Opened() const;                      // paths, in open order
    int OpenHandles() const;                                      // opened and not yet closed
    int Closes() const;
    int ListsBuilt() const;                                       // one per InterfaceAt
    std::vector<bool> Searches() const;                           // BeginSearch's mayAsk, in order
    void ClearRecord();

    // IHidPlatform
    void BeginSearch(bool mayAsk) override;
    hidplat::Listing InterfaceAt(std::uint32_t index, std::string* path) override;
    hidplat::Handle Open(const std::string& path, hidplat::Access access, SysError* error) override;
    bool ReadAttributes(hidplat::Handle handle, hidplat::HidAttributes* attributes) override;
    bool ReadCapabilities(hidplat::Handle handle, hidplat::HidCaps* caps) override;
    bool ReadProductString(hidplat::Handle handle, std::string* name) override;
    bool WriteReport(hidplat::Handle handle, const std::uint8_t* report, std::uint32_t length,
                     SysError* error) override;
    void Close(hidplat::Handle handle) override;
    void DebugOutput(const char* line) override;
    // Busy while another open handle of the same controller holds the lock.
    hidplat::LockResult LockController(hidplat::Handle handle, const std::string& path, std::string* why) override;
    void UnlockController(hidplat::Handle handle) override;
    hidplat::LockResult ProbeController(const std::string& path, std::string* why) override;
    bool DescribeController(const std::string& path, hidplat::ControllerInfo* info) override;
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
    std::string m_passOver;             // PassOverOnce's interface, until its walk ends
    std::size_t m_passOverAfter = 0;
    bool m_passingOver = false;         // this walk passes over it
    std::function<void(bool)> m_walkHook;
    std::function<void(const std::string&)> m_lockHook;
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
    std::vector<bool> m_searches;
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
