#pragma once
// How an image travels to the controller: one DOWNLOAD command report, then
// the image in reports of eight bytes, lowest address first. Nothing comes back.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "sys/ErrorText.h"

class CHidDevice;

// The controller's USB IDs.
constexpr std::uint16_t kControllerVendorId = 0x0E8F;
constexpr std::uint16_t kControllerProductId = 0x310D;

constexpr std::size_t kBytesPerReport = 8;
constexpr std::size_t kDataReports = 2048;
// The bytes that one download sends: the whole firmware image.
constexpr std::size_t kDownloadSize = kBytesPerReport * kDataReports;

// A download's progress runs from 0 to this, in ten-thousandths.
constexpr std::int32_t kProgressScale = 10000;

// How far a download came, for whoever tells it.
struct DownloadTally {
    std::int32_t reached = 0;  // the progress counter just before it was set to the end
    std::uint32_t sent = 0;    // reports written, the DOWNLOAD command included
    bool stopped = false;      // `stop` ended it before every report was written
};

// Every report of a download: the DOWNLOAD command and the data reports.
constexpr std::uint32_t kDownloadReports = 1 + kDataReports;

// Sends the kDownloadSize bytes at `image` to the open `device`: true when
// every report was written, false at the first that was not (the device's
// WriteError says why). `progress` follows the data reports written and is
// kProgressScale when this returns, whatever the outcome. `tally` (if given)
// gets how far it came; once `stop` (if given) is true, no further report goes
// out.
bool DownloadImage(CHidDevice& device, const std::uint8_t* image, std::atomic<std::int32_t>& progress,
                   DownloadTally* tally = nullptr, const std::atomic<bool>* stop = nullptr);

// Why a transfer failed, in the user's words: "el mando se ha desconectado"
// when the controller went away, otherwise what the system said, and "el mando
// no ha recibido el informe" where it said nothing.
std::string DownloadFailureText(const SysError& error);
