// The controller operations of CFirmwareUpdater and the download protocol: one
// DOWNLOAD command report, then 2,048 reports of eight image bytes each.

#include <cstdlib>
#include <cstring>
#include <memory>

#include "firmware/FirmwareUpdater.h"

namespace {

constexpr std::uint32_t kMinReportLength = 9;  // report ID and eight bytes
constexpr std::size_t kBytesPerReport = 8;
constexpr std::size_t kDataReports = kImageSize / kBytesPerReport;
constexpr std::int32_t kProgressDone = 10000;
constexpr std::uint8_t kDownloadCommand[8] = {'D', 'O', 'W', 'N', 'L', 'O', 'A', 'D'};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

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
    const std::uint32_t length = m_device.GetOutputReportLength();
    int result = 0;
    m_progress.store(0, std::memory_order_relaxed);

    // A report shorter than the layout would overrun the buffer: send nothing.
    std::unique_ptr<std::uint8_t, FreeDeleter> report;
    if (length >= kMinReportLength)
        report.reset(static_cast<std::uint8_t*>(std::calloc(length, 1)));

    if (report) {
        std::uint8_t* buf = report.get();
        std::memcpy(buf + 1, kDownloadCommand, sizeof kDownloadCommand);
        if (m_device.WriteReport(buf, length)) {
            std::memset(buf, 0, length);
            result = 1;
            for (std::size_t i = 0; i < kDataReports; ++i) {
                buf[0] = 0x00;
                std::memcpy(buf + 1, m_image + i * kBytesPerReport, kBytesPerReport);
                if (!m_device.WriteReport(buf, length)) {
                    result = 0;
                    break;
                }
                m_progress.store(static_cast<std::int32_t>(i) * 80000 / 16384, std::memory_order_relaxed);
            }
        }
    }

    report.reset();
    m_progress.store(kProgressDone, std::memory_order_relaxed);
    return result;
}
