#pragma once
// A HEX reader that keeps every line in memory and applies each rule in the
// most direct way, to hold the real reader's paths against.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "firmware/FirmwareImage.h"
#include "firmware/HexDigits.h"

namespace hextest {

inline void ReferenceRead(std::string_view text, std::uint8_t* image)
{
    std::memset(image, kErasedByte, kImageSize);
    text = text.substr(0, text.find('\x1A'));
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string line(text.substr(0, lf));
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.pop_back();
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);

        if (line.size() < 11 || line[0] != ':')
            continue;
        const unsigned count = HexByteAt(line, 1);
        const unsigned address = HexByteAt(line, 3) * 256u + HexByteAt(line, 5);
        if (HexByteAt(line, 7) != 0)
            return;
        for (unsigned i = 0; i < count; ++i) {
            const unsigned position = address + i;
            const std::size_t low = 10 + 2 * std::size_t{i};
            if (position < kImageSize && low < line.size())
                image[position] = HexByteAt(line, static_cast<int>(9 + 2 * i));
        }
    }
}

}  // namespace hextest
