#pragma once
// Report lengths from a HID report descriptor, for systems whose HID stack
// hands out the raw descriptor instead of parsed capabilities.

#include <cstddef>
#include <cstdint>

namespace hidplat {

// Bytes per report kind, counted as Windows counts them: the longest report of
// that kind rounded up to whole bytes, plus one byte for the report ID even when
// the device uses none; 0 when the descriptor has no report of that kind.
struct ReportLengths {
    std::uint16_t input;
    std::uint16_t output;
    std::uint16_t feature;
};

// Reads at most `size` bytes from `desc`, whatever they hold; lengths too big
// for 16 bits are clamped.
ReportLengths ComputeReportLengths(const std::uint8_t* desc, std::size_t size);

}  // namespace hidplat
