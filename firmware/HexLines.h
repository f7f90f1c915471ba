#pragma once
// Splits what a byte source hands out into the lines of a HEX file: a line
// ends at LF, a CR just before the LF goes with it, and a 0x1A byte ends the
// input. Lines have no length limit, yet memory stays bounded: of a line that
// runs across two reads only the characters a record can use are kept.
//
// A kept line still tells its whole length and its CRs (ExtentOf).
//
// The search for line ends is done a slice at a time by a scan function (plain
// C++ or vector code), which marks the LFs of each 64 bytes in one word; the
// lines are then taken from those words without another look at the text.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "firmware/HexRecord.h"

class CByteSource;

class CHexLines {
public:
    // Marks the LFs of p[0..n) in lineFeeds (bit i of word w for p[64w + i];
    // bits at n and beyond stay clear) and returns the offset of the first
    // 0x1A, or n. It may read up to the next multiple of 64 bytes past n.
    using Scan = std::size_t (*)(const char* p, std::size_t n, std::uint64_t* lineFeeds);

    // Every line handed out has at least this many readable bytes after its
    // end, so vector code may load past the line and drop what it loaded.
    static constexpr std::size_t kPadding = 64;
    // A record has at most 9 + 2 x 255 + 2 characters (its checksum
    // included, which a lint checks); one more tells a longer line.
    static constexpr std::size_t kKeptChars = 9 + 2 * 255 + 2 + 1;
    static constexpr std::size_t kBlockSize = 256 * 1024;
    static constexpr std::size_t kSliceSize = 8 * 1024;

    CHexLines(CByteSource& source, Scan scan);
    ~CHexLines();
    CHexLines(const CHexLines&) = delete;
    CHexLines& operator=(const CHexLines&) = delete;

    // Calls onLine(std::string_view) with each line, without its line end,
    // until it returns false or the input ends. A read error throws
    // CFileException. The view holds until onLine returns.
    template <class OnLine>
    void ForEachLine(OnLine onLine);
    // Makes ExtentOf tell the whole of the lines from now on; a read that
    // does not ask spends nothing on it.
    void TrackExtents();
    // The whole of `line`, the line onLine has just been given: more than its
    // text shows when only its start was kept.
    HexLineExtent ExtentOf(std::string_view line) const;

    // Once ForEachLine has ended: when a 0x1A byte ended the input, calls
    // onLine with each line after it (the rest of its own line first), of
    // which only the first kKeptChars characters, and returns true. It reads
    // the input to its real end. False when no 0x1A byte ended the input.
    template <class OnLine>
    bool ForEachLineAfterEndByte(OnLine onLine);
    // True when the last line ForEachLine handed out ended at the 0x1A byte,
    // not at a line feed.
    bool EndByteCutLine() const { return m_endByte != kNoEndByte && m_lastLineCut; }

private:
    struct Spanning;
    // Where the walk through the marked LFs stands.
    struct Position {
        const std::uint64_t* word = nullptr;  // next word of marks
        const std::uint64_t* wordsEnd = nullptr;
        const char* wordText = nullptr;  // text of the word that `bits` came from
        std::uint64_t bits = 0;          // marks not taken yet
        const char* lineStart = nullptr;
    };

    // Marks the next slice, reading the next block first if need be; false at
    // the end of the input.
    bool Refill();
    // The next block of the input into the buffer; 0 at its end.
    std::size_t ReadBlock();
    std::string_view JoinSpanningLine(const char* lf);
    std::string_view FinishLastLine();

    CByteSource& m_source;
    Scan m_scan;
    std::unique_ptr<char[]> m_buffer;  // 64 bytes before the text, the block, the padding
    std::unique_ptr<std::uint64_t[]> m_lineFeeds;
    std::unique_ptr<Spanning> m_kept;
    char* m_text;
    std::size_t m_length = 0;   // bytes of the block in use
    std::size_t m_scanned = 0;  // bytes of the block whose LFs are marked
    Position m_at;
    bool m_spanning = false;  // the line at m_at.lineStart began in an earlier read
    bool m_endOfInput = false;
    static constexpr std::size_t kNoEndByte = SIZE_MAX;
    std::size_t m_endByte = kNoEndByte;  // where in the block a 0x1A ended the input
    std::size_t m_blockRead = 0;         // bytes the last read handed out, the 0x1A's block
    bool m_lastLineCut = false;
};

// The start of a line that runs across reads, its full length and, for a
// watched read, its CRs.
struct CHexLines::Spanning {
    char kept[kKeptChars + kPadding];
    std::size_t keptLength = 0;
    std::size_t totalLength = 0;
    char lastTwo[2] = {};   // the line's last two characters so far
    bool tracking = false;  // only a watched read needs the CRs counted
    std::size_t firstCr = HexLineExtent::kNoCr;
    std::size_t crs = 0;
    HexLineExtent extent;  // of the line Finish handed out last, when tracking

    // How many CRs p[0..n) holds; sixteen bytes at a time where it can.
    static std::size_t CountCrs(const char* p, std::size_t n);

    void Append(const char* p, std::size_t n)
    {
        const std::size_t take = std::min(kKeptChars - keptLength, n);
        std::memcpy(kept + keptLength, p, take);
        keptLength += take;
        if (tracking) {
            if (const void* cr = firstCr == HexLineExtent::kNoCr ? std::memchr(p, '\r', n) : nullptr)
                firstCr = totalLength + static_cast<std::size_t>(static_cast<const char*>(cr) - p);
            if (firstCr != HexLineExtent::kNoCr)
                crs += CountCrs(p, n);
        }
        totalLength += n;
        if (n >= 2)
            std::memcpy(lastTwo, p + n - 2, 2);
        else if (n == 1)
            lastTwo[0] = std::exchange(lastTwo[1], p[0]);
    }

    // The usable characters of the finished line; a CR goes only before a LF.
    std::string_view Finish(bool atLineFeed)
    {
        std::size_t length = totalLength;
        char last = length > 0 ? lastTwo[1] : '\0';
        const bool crBeforeLf = atLineFeed && last == '\r';
        if (crBeforeLf) {
            --length;
            last = length > 0 ? lastTwo[0] : '\0';
        }
        // A CR that ends the line has nothing of it after it.
        if (tracking)
            extent = {length, firstCr < length ? firstCr : HexLineExtent::kNoCr,
                      crs - (crBeforeLf ? 1 : 0) - (last == '\r' ? 1 : 0)};
        const std::size_t usable = std::min(length, keptLength);
        keptLength = 0;
        totalLength = 0;
        firstCr = HexLineExtent::kNoCr;
        crs = 0;
        return {kept, usable};
    }
};

inline HexLineExtent CHexLines::ExtentOf(std::string_view line) const
{
    return line.data() == m_kept->kept ? m_kept->extent : HexLineExtent::Of(line);
}

template <class OnLine>
void CHexLines::ForEachLine(OnLine onLine)
{
    // The walk is kept in locals, where the image stores in onLine cannot
    // touch it, and onLine has one call site, so that it is inlined.
    Position at = m_at;
    bool last = false;
    for (;;) {
        while (at.bits == 0 && at.word != at.wordsEnd) {
            at.bits = *at.word++;
            at.wordText += 64;
        }
        std::string_view line;
        if (at.bits != 0) [[likely]] {
            const char* lf = at.wordText + std::countr_zero(at.bits);
            at.bits &= at.bits - 1;
            if (m_spanning) [[unlikely]] {
                m_at.lineStart = at.lineStart;
                line = JoinSpanningLine(lf);
            } else {
                std::size_t length = static_cast<std::size_t>(lf - at.lineStart);
                if (length > 0 && lf[-1] == '\r')
                    --length;
                line = {at.lineStart, length};
            }
            at.lineStart = lf + 1;
        } else {
            m_at = at;
            if (Refill()) {
                at = m_at;
                continue;
            }
            // A last line without a line feed counts like any other.
            if (!m_spanning)
                return;
            line = FinishLastLine();
            last = true;
        }
        if (!onLine(line) || last) {
            m_at = at;
            return;
        }
    }
}

template <class OnLine>
bool CHexLines::ForEachLineAfterEndByte(OnLine onLine)
{
    if (m_endByte == kNoEndByte)
        return false;
    const char* p = m_text + m_endByte + 1;
    const char* end = m_text + m_blockRead;
    for (;;) {
        while (p < end) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (lf == nullptr) {
                m_kept->Append(p, static_cast<std::size_t>(end - p));
                break;
            }
            m_kept->Append(p, static_cast<std::size_t>(lf - p));
            onLine(m_kept->Finish(true));
            p = lf + 1;
        }
        const std::size_t n = ReadBlock();
        if (n == 0)
            break;
        p = m_text;
        end = m_text + n;
    }
    if (m_kept->totalLength != 0)
        onLine(m_kept->Finish(false));
    return true;
}

// The plain C++ scan, for any processor.
std::size_t ScanHexLinesPortable(const char* p, std::size_t n, std::uint64_t* lineFeeds);
