#pragma once
// A lint of a HEX file with line numbers: it watches the loader's one read
// and tells what the loader passes over in silence. It changes nothing in how
// the file loads.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "firmware/HexReader.h"

enum class HexWarningKind {
    kByteOrderMark,   // the first line begins with a byte-order mark, so it is no record
    kNotRecord,       // a line that is not a record: empty, no colon first, or too short
    kCrOnlyLineEnds,  // CRs inside a line: the loader sees one long line
    kNonHexDigit,     // a character that is no hexadecimal digit inside a record: read as 0
    kCountMismatch,   // the record's byte count does not match the line's length
    kBadChecksum,     // the record's checksum is wrong
    kOutsideWindow,   // data bytes outside 0x0000-0x3FFF: dropped
    kOverlap,         // data bytes that an earlier record stored already
    kAfterEnd,        // records after the first record that is not data: never read
    kAfterEndByte,    // records after a 0x1A byte, which ends the input: never read
    kNoData,          // no record stored a byte
};

// What each kind carries in `first`, `second` and `third`:
//   kNotRecord       the line's length; `character` its first one
//   kCrOnlyLineEnds  how many CRs have more of the line after them
//   kNonHexDigit     how many such characters; `column` and `character` the first
//   kCountMismatch   the byte count, the line's length
//   kBadChecksum     the checksum written, the right one
//   kOutsideWindow   the first address outside, how many bytes (addresses do not wrap)
//   kOverlap         the first address stored twice, how many bytes, the line that stored it before
//   kAfterEnd        how many records, the line of the record that ended the read, its type
//   kAfterEndByte    how many records (the warning stands at the 0x1A's line)
struct HexWarning {
    HexWarningKind kind;
    std::size_t line = 0;  // 1 = the first; 0 = the whole file
    std::size_t column = 0;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    std::uint32_t third = 0;
    char character = 0;
};

class CHexLint final : public CHexLineObserver {
public:
    static constexpr std::size_t kCellSize = 256;
    static constexpr std::size_t kCells = kImageSize / kCellSize;
    enum class Cell { kEmpty, kPartial, kFull };

    CHexLint();

    void OnLine(std::string_view line, const HexLineExtent& extent, HexLineRole role,
                const HexLinePlace& place) override;
    void OnEndByte(bool midLine) override;
    // Adds what only the whole read tells; call once, when the read has ended.
    void Finish();

    // In line order, whole-file warnings last; of each kind only the first
    // kKeptPerKind, so that a file of a million bad lines stays readable.
    static constexpr std::size_t kKeptPerKind = 100;
    const std::vector<HexWarning>& Warnings() const { return m_warnings; }
    // How many of `kind` there were, the ones not kept included.
    std::size_t Count(HexWarningKind kind) const { return m_counts[static_cast<std::size_t>(kind)]; }
    std::size_t Total() const;
    // How much of cell `index` (bytes 256 x index onward) some record stored.
    Cell CellState(std::size_t index) const;

private:
    void LintRecord(std::string_view line, std::size_t recordLength, HexLineRole role, const HexLinePlace& place);
    // The warning kept, or null when its kind has had its share.
    // Counts and lengths past 2^32 - 1 show as that.
    HexWarning* Add(HexWarningKind kind, std::uint64_t first = 0, std::uint64_t second = 0, std::uint64_t third = 0);

    std::size_t m_line = 0;
    std::vector<std::uint32_t> m_storedBy;  // per image byte, the line that last stored it; 0 = none
    std::vector<HexWarning> m_warnings;
    std::size_t m_counts[static_cast<std::size_t>(HexWarningKind::kNoData) + 1] = {};
    bool m_stored = false;
    std::size_t m_endLine = 0;
    unsigned m_endType = 0;
    std::size_t m_firstAfterEnd = 0;
    std::uint32_t m_recordsAfterEnd = 0;
    std::size_t m_endByteLine = 0;
    std::uint32_t m_recordsAfterEndByte = 0;
};
