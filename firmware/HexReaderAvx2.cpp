// The reader's vector variant: AVX2 finds the line ends 64 bytes at a time and
// turns 64 digits into 32 bytes at once. Only the functions marked for AVX2
// use it, and only once the processor has said it can run them, so the rest
// of the build stays plain x86-64.

#include "firmware/HexVariant.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "firmware/FirmwareImage.h"
#include "firmware/HexRecord.h"

#define TOLVANEX_AVX2 __attribute__((target("avx2,bmi")))

namespace {

// 32 bytes read from kFirstBytes + 32 - k select the first k lanes.
alignas(64) const unsigned char kFirstBytes[64] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The Digits of ApplyRecord for this variant, with its constants made once per
// load and held in registers.
struct DigitCode {
    // The digit value comes from tables indexed by the low and the high four
    // bits of each character (vpshufb looks up 32 at once): which kinds of
    // digit each half allows, what to add to the low half for that kind, and
    // at last 0 for a character that is no digit.
    __m256i lowNibble, lowKinds, highKinds, addForKind, noDigitToZero, weights;

    TOLVANEX_AVX2 DigitCode()
        : lowNibble(Keep(_mm256_set1_epi8(0x0F))),
          // Bit 0: can be '0'-'9' (low half 0-9); bit 1: can be 'A'-'F' or 'a'-'f' (1-6).
          lowKinds(Keep(_mm256_setr_epi8(1, 3, 3, 3, 3, 3, 3, 1, 1, 1, 0, 0, 0, 0, 0, 0,  //
                                         1, 3, 3, 3, 3, 3, 3, 1, 1, 1, 0, 0, 0, 0, 0, 0))),
          // High half 3 is the digits, 4 and 6 the letters.
          highKinds(Keep(_mm256_setr_epi8(0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
                                          0, 0, 0, 1, 2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0))),
          // Kind 0 (none) sets the top bit, which the last look-up turns into 0.
          addForKind(Keep(_mm256_setr_epi8(
              -128, 0, 9, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128,  //
              -128, 0, 9, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, -128))),
          noDigitToZero(Keep(_mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,  //
                                              0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15))),
          weights(Keep(_mm256_set1_epi16(0x0110)))  // high digit x 16 + low digit
    {
    }

    // Hides the value from constant folding, which would have GCC build the
    // constant again for every line.
    TOLVANEX_AVX2 static __m256i Keep(__m256i v)
    {
        __asm__("" : "+x"(v));
        return v;
    }

    // The digit value of each byte: '0'-'9', 'A'-'F' and 'a'-'f' give 0 to
    // 15, every other byte 0.
    TOLVANEX_AVX2 __m256i Values(__m256i c) const
    {
        const __m256i low = _mm256_and_si256(c, lowNibble);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(c, 4), lowNibble);
        // A character of 0x80 or above finds kind 0 in the first look-up.
        const __m256i kind = _mm256_and_si256(_mm256_shuffle_epi8(lowKinds, c), _mm256_shuffle_epi8(highKinds, high));
        return _mm256_shuffle_epi8(noDigitToZero, _mm256_add_epi8(low, _mm256_shuffle_epi8(addForKind, kind)));
    }

    TOLVANEX_AVX2 static __m128i Low(__m256i v) { return _mm256_castsi256_si128(v); }

    TOLVANEX_AVX2 __m128i Values(__m128i c) const
    {
        const __m128i low = _mm_and_si128(c, Low(lowNibble));
        const __m128i high = _mm_and_si128(_mm_srli_epi16(c, 4), Low(lowNibble));
        const __m128i kind = _mm_and_si128(_mm_shuffle_epi8(Low(lowKinds), c), _mm_shuffle_epi8(Low(highKinds), high));
        return _mm_shuffle_epi8(Low(noDigitToZero), _mm_add_epi8(low, _mm_shuffle_epi8(Low(addForKind), kind)));
    }

    TOLVANEX_AVX2 std::uint32_t Head(const char* p) const
    {
        const __m128i pairs =
            _mm_maddubs_epi16(Values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))), Low(weights));
        return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(pairs, pairs)));
    }

    // The 32 bytes that 64 digits spell, the high digit first in each pair.
    TOLVANEX_AVX2 __m256i Bytes64(const char* digits) const
    {
        const __m256i a =
            _mm256_maddubs_epi16(Values(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(digits))), weights);
        const __m256i b =
            _mm256_maddubs_epi16(Values(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(digits + 32))), weights);
        // packus works within each 128-bit half: put the four quarters back in order.
        return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
    }

    TOLVANEX_AVX2 void Store(std::uint8_t* out, const char* digits, std::size_t n, std::size_t room) const
    {
        std::size_t i = 0;
        for (; i + 32 <= n; i += 32)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), Bytes64(digits + 2 * i));
        if (i == n)
            return;
        // The last few bytes: what lies past them in the image must stay.
        const std::size_t rest = n - i;
        const __m256i bytes = Bytes64(digits + 2 * i);
        if (i + 32 <= room) {
            const __m256i take = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kFirstBytes + 32 - rest));
            auto* at = reinterpret_cast<__m256i*>(out + i);
            _mm256_storeu_si256(at, _mm256_blendv_epi8(_mm256_loadu_si256(at), bytes, take));
        } else {
            alignas(32) std::uint8_t tmp[32];
            _mm256_store_si256(reinterpret_cast<__m256i*>(tmp), bytes);
            std::memcpy(out + i, tmp, rest);
        }
    }
};

TOLVANEX_AVX2 std::size_t Scan(const char* p, std::size_t n, std::uint64_t* lineFeeds)
{
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i endOfInput = _mm256_set1_epi8(0x1A);
    __m256i seen = _mm256_setzero_si256();  // any 0x1A, looked for exactly below
    const std::size_t words = (n + 63) / 64;
    for (std::size_t w = 0; w < words; ++w) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64 * w));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64 * w + 32));
        lineFeeds[w] = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, lf))) |
                       std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, lf)))} << 32;
        seen =
            _mm256_or_si256(seen, _mm256_or_si256(_mm256_cmpeq_epi8(a, endOfInput), _mm256_cmpeq_epi8(b, endOfInput)));
    }
    if (n % 64 != 0)
        lineFeeds[words - 1] &= (std::uint64_t{1} << (n % 64)) - 1;
    if (!_mm256_testz_si256(seen, seen)) [[unlikely]] {
        // It may lie in what was loaded past n.
        if (const void* stop = std::memchr(p, 0x1A, n)) {
            const auto at = static_cast<std::size_t>(static_cast<const char*>(stop) - p);
            lineFeeds[at / 64] &= (std::uint64_t{1} << (at % 64)) - 1;
            return at;
        }
    }
    return n;
}

// Flattened: the line walk and the record code become one loop.
TOLVANEX_AVX2 __attribute__((flatten)) bool Load(CHexLines& lines, std::uint8_t* image)
{
    const DigitCode code;
    bool stored = false;
    lines.ForEachLine([&code, image, &stored](std::string_view line)
                          TOLVANEX_AVX2 { return ApplyRecord(line, image, code, &stored); });
    return stored;
}

const HexKernels kAvx2 = {Scan, Load};

}  // namespace

const HexKernels* Avx2HexKernels()
{
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi");
    }();
    return supported ? &kAvx2 : nullptr;
}

#else

const HexKernels* Avx2HexKernels()
{
    return nullptr;
}

#endif
