#include "tests/support/FakeHidPlatform.h"

#include <cstring>
#include <utility>

namespace fakehid {

namespace {
constexpr hidplat::Guid kHidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

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

int Platform::ListsLive() const
{
    std::lock_guard lock(m_mutex);
    return m_listsLive;
}

int Platform::PreparsedLive() const
{
    std::lock_guard lock(m_mutex);
    return m_preparsedLive;
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
}

void Platform::GetHidGuid(hidplat::Guid* guid)
{
    *guid = kHidClass;
}

hidplat::DevInfoList Platform::GetClassDevs(const hidplat::Guid* interfaceClass, std::uint32_t flags)
{
    std::lock_guard lock(m_mutex);
    if (m_listFails || std::memcmp(interfaceClass, &kHidClass, sizeof kHidClass) != 0 ||
        flags != (hidplat::kDigcfPresent | hidplat::kDigcfDeviceInterface))
        return hidplat::kInvalidDevInfoList;
    ++m_listsBuilt;
    ++m_listsLive;
    return this;
}

bool Platform::EnumDeviceInterfaces(hidplat::DevInfoList list, const hidplat::Guid*, std::uint32_t index,
                                    hidplat::InterfaceData* data)
{
    std::lock_guard lock(m_mutex);
    if (list != this || data->cbSize != sizeof(hidplat::InterfaceData) || index >= m_interfaces.size())
        return false;
    data->InterfaceClassGuid = kHidClass;
    data->Reserved = index;
    return true;
}

bool Platform::GetDeviceInterfaceDetail(hidplat::DevInfoList list, const hidplat::InterfaceData* data,
                                        hidplat::InterfaceDetailA* detail, std::uint32_t detailSize,
                                        std::uint32_t* requiredSize)
{
    std::lock_guard lock(m_mutex);
    if (list != this || data->Reserved >= m_interfaces.size())
        return false;
    const Interface& iface = m_interfaces[data->Reserved];
    const auto needed =
        static_cast<std::uint32_t>(offsetof(hidplat::InterfaceDetailA, DevicePath) + iface.path.size() + 1);
    if (requiredSize != nullptr)
        *requiredSize = needed;
    if (detail == nullptr || detailSize < needed || detail->cbSize != sizeof(hidplat::InterfaceDetailA))
        return false;
    if (iface.detailFails)
        return false;
    std::memcpy(detail->DevicePath, iface.path.c_str(), iface.path.size() + 1);
    return true;
}

void Platform::DestroyDeviceInfoList(hidplat::DevInfoList list)
{
    std::lock_guard lock(m_mutex);
    if (list == this)
        --m_listsLive;
}

hidplat::Handle Platform::OpenInterface(const char* path, std::uint32_t access, std::uint32_t share,
                                        std::uint32_t disposition, std::uint32_t flagsAndAttributes)
{
    std::lock_guard lock(m_mutex);
    const bool query = access == 0;
    const bool argsOk = (query || access == (hidplat::kGenericRead | hidplat::kGenericWrite)) &&
                        share == (hidplat::kFileShareRead | hidplat::kFileShareWrite | hidplat::kFileShareDelete) &&
                        disposition == hidplat::kOpenExisting && flagsAndAttributes == hidplat::kFileAttributeNormal;
    for (std::size_t i = 0; i < m_interfaces.size(); ++i) {
        if (m_interfaces[i].path != path)
            continue;
        const Interface& iface = m_interfaces[i];
        if (!argsOk || !(query ? iface.queryOpens : iface.opens)) {
            m_lastError = argsOk ? iface.openError : hidplat::kErrorGenFailure;
            return hidplat::kInvalidHandle;
        }
        const std::uintptr_t key = m_nextHandle;
        m_nextHandle += 0x10;
        m_files[key] = OpenFile{i};
        m_files[key].query = query;
        if (!query)
            m_opened.push_back(path);
        return reinterpret_cast<hidplat::Handle>(key);
    }
    m_lastError = hidplat::kErrorFileNotFound;
    return hidplat::kInvalidHandle;
}

const Interface* Platform::InterfaceOf(hidplat::Handle handle) const
{
    auto it = m_files.find(Key(handle));
    if (it == m_files.end() || it->second.closed)
        return nullptr;
    return &m_interfaces[it->second.interfaceIndex];
}

bool Platform::GetAttributes(hidplat::Handle handle, hidplat::HidAttributes* attributes)
{
    std::lock_guard lock(m_mutex);
    const Interface* iface = InterfaceOf(handle);
    if (iface == nullptr || !iface->describes)
        return false;
    attributes->VendorID = iface->vendorId;
    attributes->ProductID = iface->productId;
    attributes->VersionNumber = 0x0100;
    return true;
}

bool Platform::GetPreparsedData(hidplat::Handle handle, hidplat::PreparsedData** data)
{
    std::lock_guard lock(m_mutex);
    const Interface* iface = InterfaceOf(handle);
    if (iface == nullptr || !iface->describes)
        return false;
    // The preparsed data names the interface it came from.
    *data = reinterpret_cast<hidplat::PreparsedData*>(const_cast<Interface*>(iface));
    ++m_preparsedLive;
    return true;
}

bool Platform::GetCaps(hidplat::PreparsedData* data, hidplat::HidCaps* caps)
{
    std::lock_guard lock(m_mutex);
    if (data == nullptr)
        return false;
    const auto* iface = reinterpret_cast<const Interface*>(data);
    *caps = hidplat::HidCaps{};
    caps->OutputReportByteLength = iface->outputReportLength;
    caps->UsagePage = iface->usagePage;
    caps->Usage = iface->usage;
    return true;
}

void Platform::FreePreparsedData(hidplat::PreparsedData* data)
{
    std::lock_guard lock(m_mutex);
    if (data != nullptr)
        --m_preparsedLive;
}

bool Platform::WriteFile(hidplat::Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written)
{
    std::function<void(std::size_t)> hook;
    std::size_t index = 0;
    std::string path;
    bool fails = false;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_files.find(Key(handle));
        if (it == m_files.end() || it->second.closed || it->second.query)
            return false;
        index = it->second.writes++;
        const Interface& iface = m_interfaces[it->second.interfaceIndex];
        path = iface.path;
        fails = iface.failWriteAt >= 0 && index >= static_cast<std::size_t>(iface.failWriteAt);
        hook = m_writeHook;
    }
    // Outside the lock: a hook may wait for another thread.
    if (hook)
        hook(index);
    if (fails)
        return false;
    std::lock_guard lock(m_mutex);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    m_writes.emplace_back(bytes, bytes + length);
    m_writePaths.push_back(std::move(path));
    *written = length;
    return true;
}

void Platform::CloseHandle(hidplat::Handle handle)
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

hidplat::LockResult Platform::LockController(hidplat::Handle handle, const char* path, std::string* why)
{
    std::lock_guard lock(m_mutex);
    auto it = m_files.find(Key(handle));
    if (it == m_files.end() || it->second.closed || path == nullptr)
        return hidplat::LockResult::kFailed;
    const hidplat::LockResult state = ControllerState(KeyOf(m_interfaces[it->second.interfaceIndex]), why);
    if (state == hidplat::LockResult::kLocked)
        it->second.locked = true;
    return state;
}

void Platform::UnlockController(hidplat::Handle handle)
{
    std::lock_guard lock(m_mutex);
    auto it = m_files.find(Key(handle));
    if (it != m_files.end())
        it->second.locked = false;
}

hidplat::LockResult Platform::ProbeController(const char* path, std::string* why)
{
    std::lock_guard lock(m_mutex);
    for (const Interface& iface : m_interfaces) {
        if (iface.path == path)
            return ControllerState(KeyOf(iface), why);
    }
    return hidplat::LockResult::kLocked;
}

bool Platform::DescribeController(const char* path, hidplat::ControllerInfo* info)
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

std::uint32_t Platform::GetLastError()
{
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

bool Platform::GetProductString(hidplat::Handle handle, char16_t* buffer, std::uint32_t bytes)
{
    std::lock_guard lock(m_mutex);
    const Interface* iface = InterfaceOf(handle);
    const std::size_t room = bytes / sizeof(char16_t);
    if (iface == nullptr || iface->product.empty() || room <= iface->product.size())
        return false;
    // Test names are ASCII.
    for (std::size_t i = 0; i < iface->product.size(); ++i)
        buffer[i] = static_cast<char16_t>(iface->product[i]);
    buffer[iface->product.size()] = u'\0';
    return true;
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
