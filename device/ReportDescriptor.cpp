#include "device/ReportDescriptor.h"

#include <algorithm>
#include <array>

namespace hidplat {
namespace {

// Item prefixes with their size bits masked off.
constexpr std::uint8_t kItemInput = 0x80;
constexpr std::uint8_t kItemOutput = 0x90;
constexpr std::uint8_t kItemFeature = 0xB0;
constexpr std::uint8_t kItemReportSize = 0x74;
constexpr std::uint8_t kItemReportId = 0x84;
constexpr std::uint8_t kItemReportCount = 0x94;
constexpr std::uint8_t kItemPush = 0xA4;
constexpr std::uint8_t kItemPop = 0xB4;
constexpr std::uint8_t kLongItemPrefix = 0xFE;

// The largest report that still fits a 16-bit length with its ID byte; keeps
// every sum far from overflow however large the sizes and counts are.
constexpr std::uint64_t kMaxReportBits = (0xFFFFu - 1u) * 8u;

// Deeper than any real descriptor nests; the kernel stops at 4.
constexpr std::size_t kGlobalStackDepth = 16;

struct Globals {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

constexpr std::size_t kInput = 0;
constexpr std::size_t kOutput = 1;
constexpr std::size_t kFeature = 2;
constexpr std::size_t kKinds = 3;

std::uint16_t LengthInBytes(std::uint64_t bits)
{
    if (bits == 0)
        return 0;
    return static_cast<std::uint16_t>((bits + 7) / 8 + 1);
}

}  // namespace

ReportLengths ComputeReportLengths(const std::uint8_t* desc, std::size_t size)
{
    // Bits per report ID and kind; ID 0 holds the reports of a device without IDs.
    std::array<std::array<std::uint64_t, 256>, kKinds> bits{};
    std::array<Globals, kGlobalStackDepth> stack{};
    std::size_t depth = 0;
    Globals globals;

    if (desc == nullptr)
        size = 0;
    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t prefix = desc[pos];
        const std::size_t remaining = size - pos - 1;  // bytes after the prefix

        if (prefix == kLongItemPrefix) {
            // Long items carry nothing that sizes a report: skip them whole.
            if (remaining < 2)
                break;
            const std::size_t dataSize = desc[pos + 1];
            if (dataSize > remaining - 2)
                break;
            pos += 3 + dataSize;
            continue;
        }

        const std::size_t dataSize = (prefix & 0x03u) == 3 ? 4 : (prefix & 0x03u);
        if (dataSize > remaining)
            break;  // a truncated item ends the descriptor
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataSize; ++i)
            value |= static_cast<std::uint32_t>(desc[pos + 1 + i]) << (8 * i);
        pos += 1 + dataSize;

        switch (static_cast<std::uint8_t>(prefix & 0xFCu)) {
        case kItemReportSize:
            globals.reportSize = value;
            break;
        case kItemReportCount:
            globals.reportCount = value;
            break;
        case kItemReportId:
            // IDs are one byte on the wire; the kernel refuses larger ones.
            globals.reportId = static_cast<std::uint8_t>(std::min<std::uint32_t>(value, 0xFF));
            break;
        case kItemPush:
            if (depth < stack.size())
                stack[depth++] = globals;
            break;
        case kItemPop:
            if (depth > 0)
                globals = stack[--depth];
            break;
        case kItemInput:
        case kItemOutput:
        case kItemFeature: {
            const std::size_t kind = (prefix & 0xFCu) == kItemInput    ? kInput
                                     : (prefix & 0xFCu) == kItemOutput ? kOutput
                                                                       : kFeature;
            // Both factors are below 2^32, so the product fits.
            const std::uint64_t itemBits =
                std::min<std::uint64_t>(std::uint64_t{globals.reportSize} * globals.reportCount, kMaxReportBits);
            std::uint64_t& sum = bits[kind][globals.reportId];
            sum = std::min(sum + itemBits, kMaxReportBits);
            break;
        }
        default:
            break;  // local items, collections and the rest do not size reports
        }
    }

    ReportLengths lengths{};
    std::uint16_t* const out[kKinds] = {&lengths.input, &lengths.output, &lengths.feature};
    for (std::size_t kind = 0; kind < kKinds; ++kind) {
        const std::uint64_t longest = *std::max_element(bits[kind].begin(), bits[kind].end());
        *out[kind] = LengthInBytes(longest);
    }
    return lengths;
}

}  // namespace hidplat
