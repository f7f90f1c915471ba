#include "firmware/HexLines.h"

#include <algorithm>
#include <cstring>

#include "firmware/ByteSource.h"

namespace {

constexpr char kEndOfInput = 0x1A;
constexpr std::size_t kFront = 64;  // so that the word before the block's first one has text to point at

// One bit per byte of `x` that equals the byte in every lane of `pattern`,
// bit k for byte k (the bytes in memory order).
inline unsigned MatchBits(std::uint64_t x, std::uint64_t pattern)
{
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    const std::uint64_t t = x ^ pattern;
    // High bit of each byte set exactly where that byte of t is zero.
    const std::uint64_t zero = ~(((t & kLow7) + kLow7) | t | kLow7);
    return static_cast<unsigned>(((zero >> 7) * 0x0102040810204080ull) >> 56);
}

// Eight bytes, the first in the lowest bits on any machine (one load where
// the machine is little-endian).
inline std::uint64_t Load64(const char* p)
{
    std::uint64_t x = 0;
    for (unsigned k = 0; k < 8; ++k)
        x |= std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
    return x;
}

}  // namespace

// The start of a line that runs across reads, and its full length.
struct CHexLines::Spanning {
    char kept[kKeptChars + kPadding];
    std::size_t keptLength = 0;
    std::size_t totalLength = 0;
    bool endsInCr = false;

    void Append(const char* p, std::size_t n)
    {
        const std::size_t take = std::min(kKeptChars - keptLength, n);
        std::memcpy(kept + keptLength, p, take);
        keptLength += take;
        totalLength += n;
        if (n > 0)
            endsInCr = p[n - 1] == '\r';
    }

    // The usable characters of the finished line; a CR goes only before a LF.
    std::string_view Finish(bool atLineFeed)
    {
        std::size_t length = totalLength;
        if (atLineFeed && endsInCr)
            --length;
        const std::size_t usable = std::min(length, keptLength);
        keptLength = 0;
        totalLength = 0;
        endsInCr = false;
        return {kept, usable};
    }
};

CHexLines::CHexLines(CByteSource& source, Scan scan)
    : m_source(source),
      m_scan(scan),
      m_buffer(std::make_unique_for_overwrite<char[]>(kFront + kBlockSize + kPadding)),
      m_lineFeeds(std::make_unique_for_overwrite<std::uint64_t[]>(kSliceSize / 64)),
      m_kept(std::make_unique<Spanning>()),
      m_text(m_buffer.get() + kFront)
{
    // Loads past the end only ever see these bytes, or text of earlier reads.
    std::memset(m_text + kBlockSize, 0, kPadding);
    m_at.lineStart = m_text;
}

CHexLines::~CHexLines() = default;

bool CHexLines::Refill()
{
    if (m_scanned == m_length) {
        // The rest of the block begins a line that the next read goes on with.
        const char* end = m_text + m_length;
        if (m_at.lineStart < end) {
            m_kept->Append(m_at.lineStart, static_cast<std::size_t>(end - m_at.lineStart));
            m_spanning = true;
        }
        m_at.lineStart = end;
        if (m_endOfInput)
            return false;
        m_length = m_source.Read(m_text, kBlockSize);
        m_scanned = 0;
        m_at.lineStart = m_text;
        if (m_length == 0) {
            m_endOfInput = true;
            return false;
        }
    }
    const std::size_t n = std::min(kSliceSize, m_length - m_scanned);
    const char* slice = m_text + m_scanned;
    const std::size_t stop = m_scan(slice, n, m_lineFeeds.get());
    if (stop < n) {
        m_length = m_scanned + stop;
        m_endOfInput = true;
    }
    m_scanned += stop;
    m_at.word = m_lineFeeds.get();
    m_at.wordsEnd = m_at.word + (stop + 63) / 64;
    m_at.wordText = slice - 64;
    m_at.bits = 0;
    return true;
}

std::string_view CHexLines::JoinSpanningLine(const char* lf)
{
    m_kept->Append(m_at.lineStart, static_cast<std::size_t>(lf - m_at.lineStart));
    m_spanning = false;
    return m_kept->Finish(true);
}

std::string_view CHexLines::FinishLastLine()
{
    m_spanning = false;
    return m_kept->Finish(false);
}
std::size_t ScanHexLinesPortable(const char* p, std::size_t n, std::uint64_t* lineFeeds)
{
    constexpr std::uint64_t kLf = 0x0A0A0A0A0A0A0A0Aull;
    constexpr std::uint64_t kEnd = 0x1A1A1A1A1A1A1A1Aull;
    const std::size_t words = (n + 63) / 64;
    for (std::size_t w = 0; w < words; ++w) {
        const char* q = p + 64 * w;
        std::uint64_t lf = 0;
        std::uint64_t end = 0;
        for (unsigned k = 0; k < 8; ++k) {
            const std::uint64_t x = Load64(q + 8 * k);
            lf |= std::uint64_t{MatchBits(x, kLf)} << (8 * k);
            end |= std::uint64_t{MatchBits(x, kEnd)} << (8 * k);
        }
        const std::size_t left = n - 64 * w;
        if (left < 64) {
            const std::uint64_t inside = (std::uint64_t{1} << left) - 1;
            lf &= inside;
            end &= inside;
        }
        if (end != 0) {
            const unsigned at = static_cast<unsigned>(std::countr_zero(end));
            lineFeeds[w] = lf & ((std::uint64_t{1} << at) - 1);
            return 64 * w + at;
        }
        lineFeeds[w] = lf;
    }
    return n;
}
