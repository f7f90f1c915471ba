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

// False when the line is a record of a type other than data, which ends the
// read. Sets *stored when a data byte landed in the image.
template <class Digits>
inline bool ApplyRecord(std::string_view line, std::uint8_t* image, const Digits& digits, bool* stored)
{
    if (line.size() < kMinRecordLength || line[0] != ':')
        return true;
    const std::uint32_t head = digits.Head(line.data() + 1);
    if ((head >> 24) != 0)
        return false;
    const std::size_t address = (head & 0xFF00) | ((head >> 16) & 0xFF);
    if (address >= kImageSize)
        return true;
    // Only bytes whose two digits both lie inside the line are stored, and
    // positions never wrap past 0xFFFF, so nothing at 0x4000 or above is kept.
    const std::size_t room = kImageSize - address;
    const std::size_t n = std::min({std::size_t{head & 0xFF}, (line.size() - 9) / 2, room});
    if (n == 0)
        return true;
    *stored = true;
    digits.Store(image + address, line.data() + 9, n, room);
    return true;
}
