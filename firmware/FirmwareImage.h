#pragma once
#include <cstddef>
#include <cstdint>

// The firmware image covers addresses 0x0000 to 0x3FFF; a byte no record sets is 0xFF.
constexpr std::size_t kImageSize = 0x4000;
constexpr std::uint8_t kErasedByte = 0xFF;
