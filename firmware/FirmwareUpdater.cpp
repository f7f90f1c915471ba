#include "firmware/FirmwareUpdater.h"

#include <cstring>
#include <memory>

#include "device/DownloadProtocol.h"
#include "firmware/ByteSource.h"
#include "firmware/HexReader.h"

CFirmwareUpdater::CFirmwareUpdater() : m_image(new std::uint8_t[kImageSize]), m_progress(0), m_loaded(0)
{
    std::memset(m_image, kErasedByte, kImageSize);
}

CFirmwareUpdater::~CFirmwareUpdater()
{
    CloseController();
    delete[] m_image;
}

int CFirmwareUpdater::LoadHexFile(const char* path)
{
    CFileByteSource file;
    if (!file.Open(path)) {
        m_openError = file.OsError();
        return 0;
    }
    return LoadHex(file);
}

int CFirmwareUpdater::LoadHex(CByteSource& source, CHexLineObserver* observer)
{
    // Read into a scratch image so that a read error leaves the old image whole.
    auto scratch = std::make_unique<std::uint8_t[]>(kImageSize);
    std::memset(scratch.get(), kErasedByte, kImageSize);
    const bool stored =
        observer != nullptr ? ReadHex(source, scratch.get(), *observer) : ReadHex(source, scratch.get());
    std::memcpy(m_image, scratch.get(), kImageSize);
    m_loaded = 1;
    m_hasData = stored ? 1 : 0;
    return 1;
}

void CFirmwareUpdater::CopyImageFrom(const CFirmwareUpdater& source)
{
    std::memcpy(m_image, source.m_image, kImageSize);
    m_loaded = source.m_loaded;
    m_hasData = source.m_hasData;
}

static_assert(kImageSize == kDownloadSize, "a download sends the whole image");

int CFirmwareUpdater::ComputeChecksum() const
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kImageSize; ++i)
        sum += m_image[i];
    return static_cast<int>(sum & 0xFFFFu);
}

int CFirmwareUpdater::OpenController()
{
    CloseController();
    m_device.OpenDevice(kControllerVendorId, kControllerProductId, 0);
    return 1;
}

int CFirmwareUpdater::IsControllerOpen() const
{
    return m_device.IsOpen();
}

void CFirmwareUpdater::CloseController()
{
    m_device.Close();
}

int CFirmwareUpdater::Download()
{
    const int result = DownloadImage(m_device, m_image, m_progress, &m_reached);
    m_downloadError = result ? SysError{} : m_device.WriteError();
    // The transfer is over: the handle may stay open (after a failure it does),
    // but it no longer keeps another update from the controller.
    m_device.ReleaseLock();
    return result;
}
