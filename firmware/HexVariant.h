#pragma once
// The HEX reader has two variants, both to the same rules: plain
// C++ for any processor, and AVX2 vector code where the build and the
// processor have it. The reader takes the best one available; tests pick each
// in turn.

#include <cstdint>

#include "firmware/HexLines.h"

enum class HexVariant { Portable, Avx2 };

inline constexpr HexVariant kAllHexVariants[] = {HexVariant::Portable, HexVariant::Avx2};

inline const char* HexVariantName(HexVariant variant)
{
    return variant == HexVariant::Avx2 ? "Avx2" : "Portable";
}

// True when this build and this processor can run `variant`.
bool HexVariantAvailable(HexVariant variant);
// The variant the reader takes from now on: the best available unless a test chose.
HexVariant CurrentHexVariant();
// For tests: take `variant` (which must be available) until told otherwise.
void UseHexVariant(HexVariant variant);

// What one variant consists of: the search for line ends, and the loop that
// applies each line to the image until a record of another type ends the read
// (true when a data record stored a byte).
struct HexKernels {
    CHexLines::Scan scan;
    bool (*load)(CHexLines& lines, std::uint8_t* image);
};

// The vector variant's kernels, or null when this build or this processor has none.
const HexKernels* Avx2HexKernels();
