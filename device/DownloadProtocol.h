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

// Sends the kDownloadSize bytes at `image` to the open `device`: true when
// every report was written, false at the first that was not. `progress` follows the data
// reports written and is kProgressScale when this returns, whatever the outcome;
// `reached` (if given) gets the value it held just before that.
bool DownloadImage(CHidDevice& device, const std::uint8_t* image, std::atomic<std::int32_t>& progress,
                   std::int32_t* reached = nullptr);

// Why a download stopped, in Spanish, for the line under "Error sucedido!":
// "el mando se ha desconectado" when the controller went away, the system's
// words otherwise. `error` is the failed write's (CHidDevice::WriteError).
std::string DownloadErrorText(const SysError& error);
