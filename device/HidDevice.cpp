#include "device/HidDevice.h"

#include <cstring>
#include <string>
#include <string_view>

CHidDevice::CHidDevice() : m_handle(kInvalidHandle), m_devicePath{}, m_attributes{}, m_caps{}, m_closed(1)
{
}

CHidDevice::~CHidDevice()
{
    Close();
}

bool CHidDevice::ReadDescription()
{
    hidplat::IHidPlatform& os = hidplat::CurrentHidPlatform();
    m_attributes = hidplat::HidAttributes{};
    m_caps = hidplat::HidCaps{};
    return os.ReadAttributes(m_handle, &m_attributes) && os.ReadCapabilities(m_handle, &m_caps);
}

namespace {

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

bool DeviceSelection::Takes(const std::string& path, const hidplat::ControllerInfo& controller) const
{
    switch (kind) {
    case Kind::kAny:
        return true;
    case Kind::kPath:
        return SameText(path, value);
    case Kind::kPlace:
        return !controller.place.empty() && SameText(controller.place, value);
    case Kind::kSerial:
        return !controller.serial.empty() && SameText(controller.serial, value);
    case Kind::kController:
        return SameText(controller.key, value);
    }
    return false;
}

bool CHidDevice::Selected(const std::string& path) const
{
    hidplat::ControllerInfo controller;
    // A path needs nothing more of the system.
    if (m_selection.kind == DeviceSelection::Kind::kAny || m_selection.kind == DeviceSelection::Kind::kPath)
        return m_selection.Takes(path, controller);
    return hidplat::CurrentHidPlatform().DescribeController(path, &controller) && m_selection.Takes(path, controller);
}

int CHidDevice::OpenDevice(std::uint16_t vendorId, std::uint16_t productId, std::int32_t instance)
{
    hidplat::IHidPlatform& os = hidplat::CurrentHidPlatform();
    m_handle = kInvalidHandle;  // a handle still open is the caller's to close first

    // The user may be asked for a controller here, once for the whole search.
    os.BeginSearch(true);

    std::uint32_t memberIndex = 0;
    std::int32_t matches = 0;
    m_passedOverBusy = false;
    m_passedOverUnopened = false;
    m_lockTrouble.clear();
    m_writeError = SysError{};
    for (;;) {
        m_handle = OpenHidInterface(&kHidInterfaceClass, memberIndex, m_devicePath, kDevicePathSize, 0);
        ++memberIndex;
        if (m_handle == nullptr)
            break;
        if (m_handle == kInvalidHandle) {
            m_passedOverUnopened = true;
            continue;
        }
        // An interface that cannot describe itself cannot be the controller.
        const std::string path(m_devicePath, strnlen(m_devicePath, kDevicePathSize));
        if (ReadDescription() && m_attributes.VendorID == vendorId && m_attributes.ProductID == productId &&
            Selected(path)) {
            // Only a match is locked, so a search never holds up another one.
            // A controller that another update holds counts as one that did
            // not open; one that the system gives no lock for is used without.
            std::string why;
            const hidplat::LockResult lock = os.LockController(m_handle, path, &why);
            if (lock == hidplat::LockResult::kBusy) {
                m_passedOverBusy = true;
            } else {
                if (matches == instance) {
                    if (lock == hidplat::LockResult::kFailed)
                        m_lockTrouble = why.empty() ? std::string("el sistema no dice por qué") : why;
                    break;
                }
                ++matches;
            }
        }
        os.Close(m_handle);
        m_handle = kInvalidHandle;
    }

    if (m_handle == nullptr)
        m_handle = kInvalidHandle;
    if (m_handle == kInvalidHandle)
        return 0;
    m_closed = 0;
    return 1;
}

int CHidDevice::IsOpen() const
{
    return m_handle != kInvalidHandle ? 1 : 0;
}

int CHidDevice::WriteReport(const std::uint8_t* report, std::uint32_t length)
{
    m_writeError = SysError{};
    return hidplat::CurrentHidPlatform().WriteReport(m_handle, report, length, &m_writeError) ? 1 : 0;
}

std::uint32_t CHidDevice::GetOutputReportLength() const
{
    return m_caps.OutputReportByteLength;
}

void CHidDevice::ReleaseLock()
{
    if (!m_closed)
        hidplat::CurrentHidPlatform().UnlockController(m_handle);
}

void CHidDevice::Close()
{
    if (m_closed)
        return;
    hidplat::CurrentHidPlatform().Close(m_handle);
    m_closed = 1;
}
