// The reader's vector path: AVX2 finds the line ends 64 bytes at a time and
// turns 64 digits into 32 bytes at once. Only the functions marked for AVX2
// use it, and only once the processor has said it can run them, so the rest
// of the build stays plain x86-64.

#include "firmware/HexPath.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "firmware/FirmwareImage.h"

#define TOLVANEX_AVX2 __attribute__((target("avx2,bmi")))

namespace {

constexpr std::size_t kMinRecordLength = 11;

// 32 bytes read from kFirstBytes + 32 - k select the first k lanes.
alignas(64) const unsigned char kFirstBytes[64] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The digit code: its constants are made once per load and held in
// registers. Left to itself GCC builds each one again for every line.
struct DigitCode {
    __m256i zeroChar, nine, caseBit, lowerA, five, ten, weights;

    TOLVANEX_AVX2 DigitCode()
        : zeroChar(Keep(_mm256_set1_epi8('0'))),
          nine(Keep(_mm256_set1_epi8(9))),
          caseBit(Keep(_mm256_set1_epi8(0x20))),
          lowerA(Keep(_mm256_set1_epi8('a'))),
          five(Keep(_mm256_set1_epi8(5))),
          ten(Keep(_mm256_set1_epi8(10))),
          weights(Keep(_mm256_set1_epi16(0x0110)))  // high digit x 16 + low digit
    {
    }

    // Hides the value from constant folding.
    TOLVANEX_AVX2 static __m256i Keep(__m256i v)
    {
        __asm__("" : "+x"(v));
        return v;
    }

    // The digit value of each byte: '0'-'9', 'A'-'F' and 'a'-'f' give 0 to
    // 15, every other byte 0.
    TOLVANEX_AVX2 __m256i Values(__m256i c) const
    {
        const __m256i d = _mm256_sub_epi8(c, zeroChar);
        const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(d, nine), d);
        // Setting bit 5 folds 'A'-'F' onto 'a'-'f' and nothing else onto them.
        const __m256i l = _mm256_sub_epi8(_mm256_or_si256(c, caseBit), lowerA);
        const __m256i isLetter = _mm256_cmpeq_epi8(_mm256_min_epu8(l, five), l);
        return _mm256_or_si256(_mm256_and_si256(d, isDigit), _mm256_and_si256(_mm256_add_epi8(l, ten), isLetter));
    }

    TOLVANEX_AVX2 static __m128i Low(__m256i v) { return _mm256_castsi256_si128(v); }

    TOLVANEX_AVX2 __m128i Values(__m128i c) const
    {
        const __m128i d = _mm_sub_epi8(c, Low(zeroChar));
        const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(d, Low(nine)), d);
        const __m128i l = _mm_sub_epi8(_mm_or_si128(c, Low(caseBit)), Low(lowerA));
        const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(l, Low(five)), l);
        return _mm_or_si128(_mm_and_si128(d, isDigit), _mm_and_si128(_mm_add_epi8(l, Low(ten)), isLetter));
    }

    // The four bytes that the eight digits at p spell (byte count, address
    // high and low, record type), the first in the lowest bits.
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

    // The same rules as ApplyHexLine, for a line with CHexLines' padding after it.
    TOLVANEX_AVX2 bool ApplyLine(std::string_view line, std::uint8_t* image) const
    {
        const char* p = line.data();
        if (line.size() < kMinRecordLength || p[0] != ':')
            return true;
        const std::uint32_t head = Head(p + 1);
        if ((head >> 24) != 0)
            return false;
        const std::size_t address = (head & 0xFF00) | ((head >> 16) & 0xFF);
        if (address >= kImageSize)
            return true;
        const std::size_t n = std::min({std::size_t{head & 0xFF}, (line.size() - 9) / 2, kImageSize - address});
        const char* digits = p + 9;
        std::uint8_t* out = image + address;
        std::size_t i = 0;
        for (; i + 32 <= n; i += 32)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), Bytes64(digits + 2 * i));
        if (i == n)
            return true;
        // The last few bytes: what lies past them in the image must stay.
        const std::size_t rest = n - i;
        const __m256i bytes = Bytes64(digits + 2 * i);
        if (address + i + 32 <= kImageSize) {
            const __m256i take = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kFirstBytes + 32 - rest));
            auto* at = reinterpret_cast<__m256i*>(out + i);
            _mm256_storeu_si256(at, _mm256_blendv_epi8(_mm256_loadu_si256(at), bytes, take));
        } else {
            alignas(32) std::uint8_t tmp[32];
            _mm256_store_si256(reinterpret_cast<__m256i*>(tmp), bytes);
            std::memcpy(out + i, tmp, rest);
        }
        return true;
    }
};

TOLVANEX_AVX2 std::size_t Scan(const char* p, std::size_t n, std::uint64_t* lineFeeds)
{
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i endOfInput = _mm256_set1_epi8(0x1A);
    const std::size_t words = (n + 63) / 64;
    for (std::size_t w = 0; w < words; ++w) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64 * w));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64 * w + 32));
        std::uint64_t bits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, lf))) |
                             std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, lf)))}
                                 << 32;
        const __m256i ea = _mm256_cmpeq_epi8(a, endOfInput);
        const __m256i eb = _mm256_cmpeq_epi8(b, endOfInput);
        const std::size_t left = n - 64 * w;
        if (left < 64)
            bits &= (std::uint64_t{1} << left) - 1;
        if (!_mm256_testz_si256(_mm256_or_si256(ea, eb), _mm256_or_si256(ea, eb))) [[unlikely]] {
            const std::uint64_t end = static_cast<std::uint32_t>(_mm256_movemask_epi8(ea)) |
                                      std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(eb))} << 32;
            const auto at = static_cast<std::size_t>(std::countr_zero(end));
            if (at < left) {
                lineFeeds[w] = bits & ((std::uint64_t{1} << at) - 1);
                return 64 * w + at;
            }
        }
        lineFeeds[w] = bits;
    }
    return n;
}

// Flattened: the line walk and the record code become one loop.
TOLVANEX_AVX2 __attribute__((flatten)) void Load(CHexLines& lines, std::uint8_t* image)
{
    const DigitCode code;
    lines.ForEachLine([&code, image](std::string_view line) TOLVANEX_AVX2 { return code.ApplyLine(line, image); });
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
