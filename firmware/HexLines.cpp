#include "firmware/HexLines.h"

#if defined(__SSE2__) && (defined(__x86_64__) || defined(_M_X64))
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <utility>

#include "firmware/ByteSource.h"

namespace {

constexpr char kEndOfInput = 0x1A;
constexpr std::size_t kFront = 64;  // so that the word before the block's first one has text to point at

}  // namespace

CHexLines::CHexLines(CByteSource& source, Scan scan)
    // Left uninitialised, as make_unique_for_overwrite would (which not every
    // standard library has yet): the scan writes before it reads.
    : m_source(source), m_scan(scan), m_buffer(new char[kFront + kBlockSize + kPadding]),
      m_lineFeeds(new std::uint64_t[kSliceSize / 64]), m_kept(std::make_unique<Spanning>()),
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
        m_length = ReadBlock();
        m_blockRead = m_length;
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
        m_endByte = m_scanned + stop;
        m_length = m_endByte;
        m_endOfInput = true;
    }
    m_scanned += stop;
    m_at.word = m_lineFeeds.get();
    m_at.wordsEnd = m_at.word + (stop + 63) / 64;
    m_at.wordText = slice - 64;
    m_at.bits = 0;
    return true;
}

std::size_t CHexLines::ReadBlock()
{
    return m_source.Read(m_text, kBlockSize);
}

std::string_view CHexLines::JoinSpanningLine(const char* lf)
{
    m_kept->Append(m_at.lineStart, static_cast<std::size_t>(lf - m_at.lineStart));
    m_spanning = false;
    return m_kept->Finish(true);
}

std::size_t CHexLines::Spanning::CountCrs(const char* p, std::size_t n)
{
    std::size_t total = 0;
#if defined(__SSE2__) && (defined(__x86_64__) || defined(_M_X64))
    const __m128i cr = _mm_set1_epi8('\r');
    while (n >= 16) {
        // At most 255 rounds, so that no byte of the sum overflows.
        const std::size_t rounds = std::min<std::size_t>(n / 16, 255);
        __m128i sum = _mm_setzero_si128();
        for (std::size_t r = 0; r < rounds; ++r, p += 16)
            sum = _mm_sub_epi8(sum, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), cr));
        const __m128i halves = _mm_sad_epu8(sum, _mm_setzero_si128());
        total += static_cast<std::size_t>(_mm_cvtsi128_si64(halves)) +
                 static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(halves, halves)));
        n -= rounds * 16;
    }
#endif
    return total + static_cast<std::size_t>(std::count(p, p + n, '\r'));
}

void CHexLines::TrackExtents()
{
    m_kept->tracking = true;
}

std::string_view CHexLines::FinishLastLine()
{
    m_spanning = false;
    m_lastLineCut = true;
    return m_kept->Finish(false);
}
std::size_t ScanHexLinesPortable(const char* p, std::size_t n, std::uint64_t* lineFeeds)
{
    // memchr is the quickest search plain C++ has: C libraries tune it.
    if (const void* stop = std::memchr(p, kEndOfInput, n))
        n = static_cast<std::size_t>(static_cast<const char*>(stop) - p);
    std::fill_n(lineFeeds, (n + 63) / 64, 0);
    const char* const end = p + n;
    for (const char* q = p; (q = static_cast<const char*>(std::memchr(q, '\n', static_cast<std::size_t>(end - q))));
         ++q) {
        const auto i = static_cast<std::size_t>(q - p);
        lineFeeds[i / 64] |= std::uint64_t{1} << (i % 64);
    }
    return n;
}
