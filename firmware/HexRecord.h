#pragma once
// One line applied to the image by the rules of a data record, whatever turns
// the digits into bytes. `Digits` has:
//   std::uint32_t Head(const char* p) const
//       the four bytes that the eight digits at p spell (byte count, address
//       high and low, record type), the first in the lowest bits;
//   void Store(std::uint8_t* out, const char* digits, std::size_t n, std::size_t room) const
//       out[0..n) = the bytes that the 2n digits spell, the high digit first;
//       room (>= n) is how much of the image lies from out on.
// A Digits that loads past the line needs the padding that CHexLines leaves.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "firmware/FirmwareImage.h"

inline constexpr std::size_t kMinRecordLength = 11;  // colon, count, address, type, checksum

// What the rules make of one line.
enum class HexLineRole {
    kNotRecord,     // passed over
    kData,          // a data record: stores `count` bytes from `address` on (count may be 0)
    kEnd,           // a record of another type: it ends the read
    kAfterEnd,      // any line after that one; the read never sees it
    kAfterEndByte,  // a line after a 0x1A byte, which ends the input: no read sees it
};

struct HexLinePlace {
    std::size_t address = 0;
    std::size_t count = 0;
};

// The whole of a line, of which a reader may hand out only the start (see
// CHexLines): its length, where its first CR is, and how many of its CRs
// have more of the line after them.
struct HexLineExtent {
    static constexpr std::size_t kNoCr = SIZE_MAX;
    std::size_t length = 0;
    std::size_t firstCr = kNoCr;
    std::size_t innerCrs = 0;

    static HexLineExtent Of(std::string_view line)
    {
        HexLineExtent extent{line.size(), line.find('\r'), 0};
        if (extent.firstCr == std::string_view::npos) {
            extent.firstCr = kNoCr;
            return extent;
        }
        const auto from = line.begin() + static_cast<std::ptrdiff_t>(extent.firstCr);
        extent.innerCrs = static_cast<std::size_t>(std::count(from, line.end() - 1, '\r'));
        return extent;
    }
};

template <class Digits>
inline HexLineRole ReadRecordHead(std::string_view line, const Digits& digits, HexLinePlace* place)
{
    if (line.size() < kMinRecordLength || line[0] != ':')
        return HexLineRole::kNotRecord;
    const std::uint32_t head = digits.Head(line.data() + 1);
    if ((head >> 24) != 0)
        return HexLineRole::kEnd;
    const std::size_t address = (head & 0xFF00) | ((head >> 16) & 0xFF);
    if (address >= kImageSize)
        return HexLineRole::kData;
    // Only bytes whose two digits both lie inside the line are stored, and
    // positions never wrap past 0xFFFF, so nothing at 0x4000 or above is kept.
    place->address = address;
    place->count = std::min({std::size_t{head & 0xFF}, (line.size() - 9) / 2, kImageSize - address});
    return HexLineRole::kData;
}

// Stores what ReadRecordHead placed. Sets *stored when a byte landed.
template <class Digits>
inline void StoreRecord(std::string_view line, const HexLinePlace& place, std::uint8_t* image, const Digits& digits,
                        bool* stored)
{
    if (place.count == 0)
        return;
    *stored = true;
    digits.Store(image + place.address, line.data() + 9, place.count, kImageSize - place.address);
}

// False when the line is a record of a type other than data, which ends the
// read. Sets *stored when a data byte landed in the image.
template <class Digits>
inline bool ApplyRecord(std::string_view line, std::uint8_t* image, const Digits& digits, bool* stored)
{
    HexLinePlace place;
    const HexLineRole role = ReadRecordHead(line, digits, &place);
    if (role == HexLineRole::kEnd)
        return false;
    StoreRecord(line, place, image, digits, stored);
    return true;
}
