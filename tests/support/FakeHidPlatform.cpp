#include "tests/support/FakeHidPlatform.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace fakehid {

namespace {

std::uintptr_t Key(hidplat::Handle h)
{
    return reinterpret_cast<std::uintptr_t>(h);
}
}  // namespace

Interface Controller(std::string path, std::uint16_t reportLength)
{
    Interface i;
    i.path = std::move(path);
    i.vendorId = 0x0E8F;
    i.productId = 0x310D;
    i.outputReportLength = reportLength;
    return i;
}

Platform::Platform(std::vector<Interface> interfaces) : m_interfaces(std::move(interfaces)) {}

void Platform::SetInterfaces(std::vector<Interface> interfaces)
{
    std::lock_guard lock(m_mutex);
    m_interfaces = std::move(interfaces);
}

void Platform::SetListFails(bool fails)
{
    std::lock_guard lock(m_mutex);
    m_listFails = fails;
}

void Platform::SetWriteHook(std::function<void(std::size_t)> hook)
{
    std::lock_guard lock(m_mutex);
    m_writeHook = std::move(hook);
}

std::vector<std::vector<std::uint8_t>> Platform::Writes() const
{
    std::lock_guard lock(m_mutex);
    return m_writes;
}

std::vector<std::vector<std::uint8_t>> Platform::WritesTo(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::vector<std::uint8_t>> writes;
    for (std::size_t i = 0; i < m_writes.size(); ++i) {
        if (m_writePaths[i] == path)
            writes.push_back(m_writes[i]);
    }
    return writes;
}

std::vector<std::string> Platform::DebugLines() const
{
    std::lock_guard lock(m_mutex);
    return m_debugLines;
}

std::vector<std::string> Platform::Opened() const
{
    std::lock_guard lock(m_mutex);
    return m_opened;
}

int Platform::OpenHandles() const
{
    std::lock_guard lock(m_mutex);
    int n = 0;
    for (const auto& [key, file] : m_files)
        n += file.closed ? 0 : 1;
    return n;
}

int Platform::Closes() const
{
    std::lock_guard lock(m_mutex);
    return m_closes;
}

int Platform::ListsBuilt() const
{
    std::lock_guard lock(m_mutex);
    return m_listsBuilt;
}

std::vector<bool> Platform::Searches() const
{
    std::lock_guard lock(m_mutex);
    return m_searches;
}

void Platform::ClearRecord()
{
    std::lock_guard lock(m_mutex);
    m_writes.clear();
    m_writePaths.clear();
    m_debugLines.clear();
    m_opened.clear();
    m_closes = 0;
    m_listsBuilt = 0;
    m_searches.clear();
}

void Platform::BeginSearch(bool mayAsk)
{
    std::lock_guard lock(m_mutex);
    m_searches.push_back(mayAsk);
}

void Platform::PassOverOnce(std::string path, std::size_t afterWrites)
{
    std::lock_guard lock(m_mutex);
    m_passOver = std::move(path);
    m_passOverAfter = afterWrites;
}

void Platform::SetWalkHook(std::function<void(bool)> hook)
{
    std::lock_guard lock(m_mutex);
    m_walkHook = std::move(hook);
}

void Platform::SetLockHook(std::function<void(const std::string&)> hook)
{
    std::lock_guard lock(m_mutex);
    m_lockHook = std::move(hook);
}

hidplat::Listing Platform::InterfaceAt(std::uint32_t index, std::string* path)
{
    std::unique_lock lock(m_mutex);
    if (m_listFails)
        return hidplat::Listing::kNoList;
    ++m_listsBuilt;
    if (index == 0) {
        if (m_passingOver)
            m_passOver.clear();  // its walk is over
        m_passingOver = !m_passOver.empty() &&
                        static_cast<std::size_t>(std::count(m_writePaths.begin(), m_writePaths.end(), m_passOver)) >=
                            m_passOverAfter;
        if (m_walkHook)
            m_walkHook(m_passingOver);
    }
    // The walk that passes over one sees the interfaces after it one place earlier.
    std::size_t at = index;
    for (std::size_t i = 0; m_passingOver && i < m_interfaces.size() && i <= at; ++i) {
        if (m_interfaces[i].path == m_passOver)
            ++at;
    }
    if (at >= m_interfaces.size())
        return hidplat::Listing::kPastTheEnd;
    const Interface& iface = m_interfaces[at];
    if (iface.listed == hidplat::Listing::kPath)
        *path = iface.path;
    return iface.listed;
}

hidplat::Handle Platform::Open(const std::string& path, hidplat::Access access, SysError* error)
{
    std::lock_guard lock(m_mutex);
    const bool query = access == hidplat::Access::kQuery;
    for (std::size_t i = 0; i < m_interfaces.size(); ++i) {
        if (m_interfaces[i].path != path)
            continue;
        const Interface& iface = m_interfaces[i];
        if (!(query ? iface.queryOpens : iface.opens)) {
            if (error != nullptr)
                *error = iface.openError;
            return nullptr;
        }
        const std::uintptr_t key = m_nextHandle;
        m_nextHandle += 0x10;
        m_files[key] = OpenFile{i};
        m_files[key].query = query;
        if (!query)
            m_opened.push_back(path);
        return reinterpret_cast<hidplat::Handle>(key);
    }
    if (error != nullptr)
        *error = SysErrorOf(ENOENT);
    return nullptr;
}

const Interface* Platform::InterfaceOf(hidplat::Handle handle) const
{
    auto it = m_files.find(Key(handle));
    if (it == m_files.end() || it->second.closed)
        return nullptr;
    return &m_interfaces[it->second.interfaceIndex];
}

bool Platform::ReadAttributes(hidplat::Handle handle, hidplat::HidAttributes* attributes)
{
    std::lock_guard lock(m_mutex);
    const Interface* iface = InterfaceOf(handle);
    if (iface == nullptr || !iface->describes)
        return false;
    *attributes = hidplat::HidAttributes{iface->vendorId, iface->productId, 0x0100};
    return true;
}

bool Platform::ReadCapabilities(hidplat::Handle handle, hidplat::HidCaps* caps)
{
    std::lock_guard lock(m_mutex);
    const Interface* iface = InterfaceOf(handle);
    if (iface == nullptr || !iface->describes)
        return false;
    *caps = hidplat::HidCaps{};
    caps->OutputReportByteLength = iface->outputReportLength;
    caps->UsagePage = iface->usagePage;
    caps->Usage = iface->usage;
    return true;
}

bool Platform::ReadProductString(hidplat::Handle handle, std::string* name)
{
    std::lock_guard lock(m_mutex);
    const Interface* iface = InterfaceOf(handle);
    if (iface == nullptr || iface->product.empty())
        return false;
    *name = iface->product;
    return true;
}

bool Platform::WriteReport(hidplat::Handle handle, const std::uint8_t* report, std::uint32_t length, SysError* error)
{
    std::function<void(std::size_t)> hook;
    std::size_t index = 0;
    std::string path;
    bool fails = false;
    SysError why = SysErrorOf(EBADF);
    {
        std::lock_guard lock(m_mutex);
        auto it = m_files.find(Key(handle));
        if (it == m_files.end() || it->second.closed || it->second.query) {
            if (error != nullptr)
                *error = why;
            return false;
        }
        index = it->second.writes++;
        const Interface& iface = m_interfaces[it->second.interfaceIndex];
        path = iface.path;
        fails = iface.failWriteAt >= 0 && index >= static_cast<std::size_t>(iface.failWriteAt);
        why = iface.writeError;
        hook = m_writeHook;
    }
    // Outside the lock: a hook may wait for another thread.
    if (hook)
        hook(index);
    if (fails) {
        if (error != nullptr)
            *error = why;
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_writes.emplace_back(report, report + length);
    m_writePaths.push_back(std::move(path));
    return true;
}

void Platform::Close(hidplat::Handle handle)
{
    std::lock_guard lock(m_mutex);
    ++m_closes;
    auto it = m_files.find(Key(handle));
    if (it != m_files.end()) {
        it->second.closed = true;
        it->second.locked = false;
    }
}

hidplat::LockResult Platform::ControllerState(const std::string& key, std::string* why) const
{
    for (std::size_t i = 0; i < m_interfaces.size(); ++i) {
        if (KeyOf(m_interfaces[i]) != key)
            continue;
        if (m_interfaces[i].heldElsewhere)
            return hidplat::LockResult::kBusy;
        for (const auto& [handle, file] : m_files) {
            if (file.locked && !file.closed && file.interfaceIndex == i)
                return hidplat::LockResult::kBusy;
        }
        if (m_interfaces[i].lockFails) {
            if (why != nullptr)
                *why = "no queda sitio para el candado";
            return hidplat::LockResult::kFailed;
        }
    }
    return hidplat::LockResult::kLocked;
}

hidplat::LockResult Platform::LockController(hidplat::Handle handle, const std::string&, std::string* why)
{
    std::lock_guard lock(m_mutex);
    auto it = m_files.find(Key(handle));
    if (it == m_files.end() || it->second.closed)
        return hidplat::LockResult::kFailed;
    const hidplat::LockResult state = ControllerState(KeyOf(m_interfaces[it->second.interfaceIndex]), why);
    if (state == hidplat::LockResult::kLocked) {
        it->second.locked = true;
        if (m_lockHook)
            m_lockHook(m_interfaces[it->second.interfaceIndex].path);
    }
    return state;
}

void Platform::UnlockController(hidplat::Handle handle)
{
    std::lock_guard lock(m_mutex);
    auto it = m_files.find(Key(handle));
    if (it != m_files.end())
        it->second.locked = false;
}

hidplat::LockResult Platform::ProbeController(const std::string& path, std::string* why)
{
    std::lock_guard lock(m_mutex);
    for (const Interface& iface : m_interfaces) {
        if (iface.path == path)
            return ControllerState(KeyOf(iface), why);
    }
    return hidplat::LockResult::kLocked;
}

bool Platform::DescribeController(const std::string& path, hidplat::ControllerInfo* info)
{
    std::lock_guard lock(m_mutex);
    for (const Interface& iface : m_interfaces) {
        if (iface.path == path) {
            *info = hidplat::ControllerInfo{KeyOf(iface), iface.place, iface.serial};
            return true;
        }
    }
    return false;
}

bool Platform::SystemOwnsUsage(std::uint16_t usagePage, std::uint16_t usage)
{
    return usagePage == 0x01 && (usage == 0x02 || usage == 0x06);
}

void Platform::SetAccessFacts(hidplat::AccessFacts facts)
{
    std::lock_guard lock(m_mutex);
    m_accessFacts = std::move(facts);
}

hidplat::AccessFacts Platform::ControllerAccessFacts()
{
    std::lock_guard lock(m_mutex);
    return m_accessFacts;
}

void Platform::DebugOutput(const char* line)
{
    std::lock_guard lock(m_mutex);
    m_debugLines.emplace_back(line);
}

}  // namespace fakehid
