#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "device/ReportDescriptor.h"

using hidplat::ComputeReportLengths;
using hidplat::ReportLengths;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The controller: vendor page, one 8-byte output report, no report IDs.
const Bytes kController = {
    0x06, 0x00, 0xFF,        // Usage Page (Vendor 0xFF00)
    0x09, 0x01,              // Usage (1)
    0xA1, 0x01,              // Collection (Application)
    0x09, 0x02,              //   Usage (2)
    0x15, 0x00,              //   Logical Minimum (0)
    0x26, 0xFF, 0x00,        //   Logical Maximum (255)
    0x75, 0x08,              //   Report Size (8)
    0x95, 0x08,              //   Report Count (8)
    0x91, 0x02,              //   Output (Data, Var, Abs)
    0xC0,                    // End Collection
};

// Boot keyboard: 8-byte input report, 5 LED bits + 3 padding bits of output.
const Bytes kBootKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,              // Generic Desktop, Keyboard, Application
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,              // Key codes E0..E7
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08,  // 8 x 1 bit
    0x81, 0x02,                                      // Input (modifiers)
    0x95, 0x01, 0x75, 0x08, 0x81, 0x01,              // Input (reserved byte, constant)
    0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05,
    0x91, 0x02,                                      // Output (LEDs)
    0x95, 0x01, 0x75, 0x03, 0x91, 0x01,              // Output (LED padding)
    0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65,
    0x05, 0x07, 0x19, 0x00, 0x29, 0x65,
    0x81, 0x00,                                      // Input (key array)
    0xC0,
};

// Joystick: two axes, a hat switch and twelve buttons; input only.
const Bytes kJoystick = {
    0x05, 0x01, 0x09, 0x04, 0xA1, 0x01,              // Generic Desktop, Joystick, Application
    0x09, 0x01, 0xA1, 0x00,                          //   Pointer, Physical
    0x09, 0x30, 0x09, 0x31,                          //     X, Y
    0x15, 0x00, 0x26, 0xFF, 0x00,                    //     0..255
    0x75, 0x08, 0x95, 0x02, 0x81, 0x02,              //     Input 2 x 8 bits
    0xC0,                                            //   End Collection
    0x09, 0x39, 0x15, 0x00, 0x25, 0x07,              //   Hat switch 0..7
    0x35, 0x00, 0x46, 0x3B, 0x01, 0x65, 0x14,        //   0..315 degrees
    0x75, 0x04, 0x95, 0x01, 0x81, 0x42,              //   Input 4 bits, null state
    0x65, 0x00,                                      //   Unit (none)
    0x05, 0x09, 0x19, 0x01, 0x29, 0x0C,              //   Buttons 1..12
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x0C,
    0x81, 0x02,                                      //   Input 12 x 1 bit
    0xC0,
};

// Vendor page with report IDs: outputs of 32, 63 and 4 bytes, one input, one feature.
const Bytes kVendorWithIds = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
    0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
    0x85, 0x01, 0x09, 0x02, 0x95, 0x20, 0x91, 0x02,  // ID 1: output 32 bytes
    0x85, 0x02, 0x09, 0x03, 0x95, 0x3F, 0x91, 0x02,  // ID 2: output 63 bytes
    0x85, 0x03, 0x09, 0x04, 0x95, 0x04, 0x91, 0x02,  // ID 3: output 4 bytes
    0x85, 0x04, 0x09, 0x05, 0x95, 0x10, 0x81, 0x02,  // ID 4: input 16 bytes
    0x85, 0x05, 0x09, 0x06, 0x95, 0x07, 0xB1, 0x02,  // ID 5: feature 7 bytes
    0xC0,
};

ReportLengths Lengths(const Bytes& desc)
{
    return ComputeReportLengths(desc.data(), desc.size());
}

// A copy on the heap exactly `size` bytes long, so the sanitizer sees any read past it.
ReportLengths LengthsOfPrefix(const Bytes& desc, std::size_t size)
{
    const Bytes prefix(desc.begin(), desc.begin() + static_cast<std::ptrdiff_t>(size));
    return ComputeReportLengths(prefix.data(), prefix.size());
}

void ExpectLengths(const Bytes& desc, std::uint16_t input, std::uint16_t output, std::uint16_t feature)
{
    const ReportLengths l = Lengths(desc);
    EXPECT_EQ(l.input, input);
    EXPECT_EQ(l.output, output);
    EXPECT_EQ(l.feature, feature);
}

}  // namespace

TEST(ReportDescriptor, RealDescriptors)
{
    ExpectLengths(kController, 0, 9, 0);
    ExpectLengths(kBootKeyboard, 9, 2, 0);
    ExpectLengths(kJoystick, 5, 0, 0);
    ExpectLengths(kVendorWithIds, 17, 64, 8);
}

TEST(ReportDescriptor, EmptyOrNullDescriptorHasNoReports)
{
    ExpectLengths({}, 0, 0, 0);
    const ReportLengths l = ComputeReportLengths(nullptr, 100);
    EXPECT_EQ(l.output, 0);
}

TEST(ReportDescriptor, ItemsOfOneReportIdAddUpWhereverTheyStand)
{
    const Bytes desc = {
        0x75, 0x08,
        0x85, 0x01, 0x95, 0x04, 0x91, 0x02,  // ID 1: 4 bytes
        0x85, 0x02, 0x95, 0x06, 0x91, 0x02,  // ID 2: 6 bytes
        0x85, 0x01, 0x95, 0x03, 0x91, 0x02,  // ID 1 again: 3 more bytes
    };
    ExpectLengths(desc, 0, 8, 0);
}

TEST(ReportDescriptor, PartialBytesRoundUp)
{
    const Bytes desc = {0x75, 0x01, 0x95, 0x09, 0x91, 0x02};  // 9 bits
    ExpectLengths(desc, 0, 3, 0);
}

TEST(ReportDescriptor, PushAndPopRestoreSizeCountAndId)
{
    const Bytes desc = {
        0x75, 0x08, 0x95, 0x04, 0x85, 0x01,
        0xA4,                                // Push
        0x85, 0x02, 0x95, 0x20, 0x91, 0x02,  // ID 2: 32 bytes
        0xB4,                                // Pop: ID 1, 4 x 8 bits
        0x91, 0x02, 0x91, 0x02,              // ID 1: 8 bytes
        0xB4,                                // Pop with nothing pushed: ignored
        0x91, 0x02,                          // ID 1: 12 bytes
    };
    ExpectLengths(desc, 0, 33, 0);
}

TEST(ReportDescriptor, PushesBeyondTheStackAreIgnored)
{
    Bytes desc = {0x75, 0x08, 0x95, 0x01};
    desc.insert(desc.end(), 1000, 0xA4);
    desc.insert(desc.end(), {0x95, 0x02, 0x91, 0x02});  // 2 bytes
    desc.insert(desc.end(), 1000, 0xB4);
    desc.insert(desc.end(), {0x91, 0x02});              // count back to 1: 3 bytes in all
    ExpectLengths(desc, 0, 4, 0);
}

TEST(ReportDescriptor, FourByteItemData)
{
    const Bytes count16 = {0x75, 0x08, 0x97, 0x10, 0x00, 0x00, 0x00, 0x91, 0x02};
    ExpectLengths(count16, 0, 17, 0);
    // Only the fourth data byte is set: 2^24 one-bit fields, past any length.
    const Bytes count2p24 = {0x75, 0x01, 0x97, 0x00, 0x00, 0x00, 0x01, 0x91, 0x02};
    ExpectLengths(count2p24, 0, 0xFFFF, 0);
}

TEST(ReportDescriptor, LongItemsAreSkippedWhole)
{
    // The long item's data looks like an Output item; it must not count.
    const Bytes desc = {0x75, 0x08, 0x95, 0x08, 0xFE, 0x02, 0x10, 0x91, 0x02, 0x81, 0x02};
    ExpectLengths(desc, 9, 0, 0);
}

TEST(ReportDescriptor, HugeSizesClampInsteadOfOverflowing)
{
    const Bytes desc = {
        0x77, 0xFF, 0xFF, 0xFF, 0xFF,  // Report Size 2^32 - 1
        0x97, 0xFF, 0xFF, 0xFF, 0xFF,  // Report Count 2^32 - 1
        0x91, 0x02, 0x91, 0x02, 0x91, 0x02,
        0x81, 0x02,
    };
    ExpectLengths(desc, 0xFFFF, 0xFFFF, 0);
}

TEST(ReportDescriptor, ZeroSizedItemsMakeNoReport)
{
    const Bytes desc = {0x75, 0x08, 0x95, 0x00, 0x91, 0x02};
    ExpectLengths(desc, 0, 0, 0);
}

TEST(ReportDescriptor, TruncatedItemEndsTheDescriptor)
{
    // Cut inside the Output item's data byte, the output report is gone.
    EXPECT_EQ(LengthsOfPrefix(kController, 19).output, 0);
    EXPECT_EQ(LengthsOfPrefix(kController, 20).output, 9);
    // A long item cut short.
    const Bytes longItem = {0x75, 0x08, 0x95, 0x01, 0x91, 0x02, 0xFE, 0x10, 0x00, 0x01};
    ExpectLengths(longItem, 0, 2, 0);
}

TEST(ReportDescriptor, EveryPrefixStaysWithinTheWholeDescriptor)
{
    for (const Bytes* desc : {&kController, &kBootKeyboard, &kJoystick, &kVendorWithIds}) {
        const ReportLengths whole = Lengths(*desc);
        for (std::size_t n = 0; n <= desc->size(); ++n) {
            const ReportLengths part = LengthsOfPrefix(*desc, n);
            EXPECT_LE(part.input, whole.input) << "prefix " << n;
            EXPECT_LE(part.output, whole.output) << "prefix " << n;
            EXPECT_LE(part.feature, whole.feature) << "prefix " << n;
        }
    }
}

TEST(ReportDescriptor, RandomBytes)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::size_t> length(0, 300);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 20000; ++round) {
        Bytes desc(length(random));
        for (auto& b : desc)
            b = static_cast<std::uint8_t>(byte(random));
        const ReportLengths l = Lengths(desc);
        // A report that exists holds at least one data byte besides its ID.
        EXPECT_NE(l.input, 1);
        EXPECT_NE(l.output, 1);
        EXPECT_NE(l.feature, 1);
    }
}
