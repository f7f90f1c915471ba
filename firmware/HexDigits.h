#pragma once
// Hexadecimal digits as the HEX reader reads them: anything that is not a
// digit counts as 0.

#include <array>
#include <cstdint>
#include <string_view>

namespace hexdetail {
constexpr std::array<std::uint8_t, 256> MakeDigitTable()
{
    std::array<std::uint8_t, 256> t{};
    for (int c = '0'; c <= '9'; ++c)
        t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 0x30);
    for (int c = 'A'; c <= 'F'; ++c)
        t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 0x37);
    for (int c = 'a'; c <= 'f'; ++c)
        t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 0x57);
    return t;
}
inline constexpr std::array<std::uint8_t, 256> kDigitValue = MakeDigitTable();
}  // namespace hexdetail

// The value 0..15 of one hexadecimal digit; 0 for any other character.
inline std::uint8_t HexDigitValue(char c)
{
    return hexdetail::kDigitValue[static_cast<unsigned char>(c)];
}

// The byte whose high digit is at `pos` and low digit right after it. The
// caller keeps both inside the line.
inline std::uint8_t HexByteAt(std::string_view line, int pos)
{
    const auto p = static_cast<std::size_t>(pos);
    return static_cast<std::uint8_t>((HexDigitValue(line[p]) << 4) | HexDigitValue(line[p + 1]));
}
