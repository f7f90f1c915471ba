#include "device/DownloadProtocol.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "device/HidDevice.h"

namespace {

constexpr std::uint32_t kMinReportLength = 1 + kBytesPerReport;  // report ID and eight bytes
constexpr std::uint8_t kDownloadCommand[kBytesPerReport] = {'D', 'O', 'W', 'N', 'L', 'O', 'A', 'D'};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

bool DownloadImage(CHidDevice& device, const std::uint8_t* image, std::atomic<std::int32_t>& progress,
                   DownloadTally* tally, const std::atomic<bool>* stop)
{
    const std::uint32_t length = device.GetOutputReportLength();
    bool result = false;
    std::uint32_t sent = 0;
    bool stopped = false;
    const auto mayGoOn = [&] {
        stopped = stop != nullptr && stop->load(std::memory_order_relaxed);
        return !stopped;
    };
    progress.store(0, std::memory_order_relaxed);

    // A report shorter than the layout would overrun the buffer: send nothing.
    std::unique_ptr<std::uint8_t, FreeDeleter> report;
    if (length >= kMinReportLength)
        report.reset(static_cast<std::uint8_t*>(std::calloc(length, 1)));

    if (report && mayGoOn()) {
        std::uint8_t* buf = report.get();
        std::memcpy(buf + 1, kDownloadCommand, sizeof kDownloadCommand);
        if (device.WriteReport(buf, length)) {
            ++sent;
            std::memset(buf, 0, length);
            result = true;
            for (std::size_t i = 0; i < kDataReports; ++i) {
                buf[0] = 0x00;
                std::memcpy(buf + 1, image + i * kBytesPerReport, kBytesPerReport);
                if (!mayGoOn() || !device.WriteReport(buf, length)) {
                    result = false;
                    break;
                }
                ++sent;
                // The share of data reports written before this one: 0, 4, 9, ..., 9995.
                progress.store(static_cast<std::int32_t>(i) * kProgressScale / static_cast<std::int32_t>(kDataReports),
                               std::memory_order_relaxed);
            }
        }
    }

    report.reset();
    if (tally != nullptr)
        *tally = DownloadTally{progress.load(std::memory_order_relaxed), sent, stopped};
    progress.store(kProgressScale, std::memory_order_relaxed);
    return result;
}

std::string DownloadFailureText(const SysError& error)
{
    if (error.kind == SysErrorKind::kGone)
        return "el mando se ha desconectado";
    if (error.code != 0)
        return SysErrorText(error.code);
    // Nothing written (a report too short for the layout), or a system that gives no code.
    return "el mando no ha recibido el informe";
}
