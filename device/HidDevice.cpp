#include "device/HidDevice.h"

#include <cstring>
#include <string>

CHidDevice::CHidDevice() : m_handle(hidplat::kInvalidHandle), m_devicePath{}, m_attributes{}, m_caps{}, m_closed(1)
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
    m_attributes.Size = sizeof(m_attributes);
    m_caps = hidplat::HidCaps{};
    if (!os.GetAttributes(m_handle, &m_attributes))
        return false;
    hidplat::PreparsedData* preparsed = nullptr;
    if (!os.GetPreparsedData(m_handle, &preparsed))
        return false;
    const bool haveCaps = os.GetCaps(preparsed, &m_caps);
    os.FreePreparsedData(preparsed);
    return haveCaps;
}

int CHidDevice::OpenDevice(std::uint16_t vendorId, std::uint16_t productId, std::int32_t instance)
{
    hidplat::IHidPlatform& os = hidplat::CurrentHidPlatform();
    m_handle = hidplat::kInvalidHandle;  // a handle still open is the caller's to close first

    hidplat::Guid hidClass{};
    os.GetHidGuid(&hidClass);

    std::uint32_t memberIndex = 0;
    std::int32_t matches = 0;
    m_passedOverBusy = false;
    m_passedOverUnopened = false;
    for (;;) {
        m_handle = OpenHidInterface(&hidClass, memberIndex, m_devicePath, kDevicePathSize, 0);
        ++memberIndex;
        if (m_handle == nullptr)
            break;
        if (m_handle == hidplat::kInvalidHandle) {
            m_passedOverUnopened = true;
            continue;
        }
        // An interface that cannot describe itself cannot be the controller.
        if (ReadDescription() && m_attributes.VendorID == vendorId && m_attributes.ProductID == productId) {
            // Only a match is locked, so a search never holds up another one.
            // One that another update holds counts as one that did not open.
            const std::string path(m_devicePath, strnlen(m_devicePath, kDevicePathSize));
            if (os.LockInterface(m_handle, path.c_str()) == hidplat::LockResult::kLocked) {
                if (matches == instance)
                    break;
                ++matches;
            } else {
                m_passedOverBusy = true;
            }
        }
        os.CloseHandle(m_handle);
        m_handle = hidplat::kInvalidHandle;
    }

    if (m_handle == nullptr)
        m_handle = hidplat::kInvalidHandle;
    if (m_handle == hidplat::kInvalidHandle)
        return 0;
    m_closed = 0;
    return 1;
}

int CHidDevice::IsOpen() const
{
    return m_handle != hidplat::kInvalidHandle ? 1 : 0;
}

int CHidDevice::WriteReport(const std::uint8_t* report, std::uint32_t length)
{
    std::uint32_t written = 0;
    return hidplat::CurrentHidPlatform().WriteFile(m_handle, report, length, &written) ? 1 : 0;
}

std::uint32_t CHidDevice::GetOutputReportLength() const
{
    return m_caps.OutputReportByteLength;
}

void CHidDevice::Close()
{
    if (m_closed)
        return;
    hidplat::CurrentHidPlatform().CloseHandle(m_handle);
    m_closed = 1;
}
