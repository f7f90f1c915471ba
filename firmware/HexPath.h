#pragma once
// The HEX reader has two ways through the text, both to the same rules: plain
// C++ for any processor, and AVX2 vector code where the build and the
// processor have it. The reader takes the best one available; tests pick each
// in turn.

#include <cstdint>

#include "firmware/HexLines.h"

enum class HexPath { Portable, Avx2 };

inline constexpr HexPath kAllHexPaths[] = {HexPath::Portable, HexPath::Avx2};

inline const char* HexPathName(HexPath path)
{
    return path == HexPath::Avx2 ? "Avx2" : "Portable";
}

// True when this build and this processor can run `path`.
bool HexPathAvailable(HexPath path);
// The path the reader takes from now on: the best available unless a test chose.
HexPath CurrentHexPath();
// For tests: take `path` (which must be available) until told otherwise.
void UseHexPath(HexPath path);

// What one path consists of: the search for line ends, and the loop that
// applies each line to the image until a record of another type ends the read
// (true when a data record stored a byte).
struct HexKernels {
    CHexLines::Scan scan;
    bool (*load)(CHexLines& lines, std::uint8_t* image);
};

// The vector path's kernels, or null when this build or this processor has none.
const HexKernels* Avx2HexKernels();
