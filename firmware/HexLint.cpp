#include "firmware/HexLint.h"

#include <algorithm>

#include "firmware/HexDigits.h"

namespace {

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool StartsWithByteOrderMark(std::string_view line)
{
    for (std::string_view mark :
         {std::string_view("\xEF\xBB\xBF"), std::string_view("\xFF\xFE"), std::string_view("\xFE\xFF")}) {
        if (line.substr(0, mark.size()) == mark)
            return true;
    }
    return false;
}

bool IsRecord(std::string_view line)
{
    return line.size() >= kMinRecordLength && line[0] == ':';
}

}  // namespace

CHexLint::CHexLint() : m_storedBy(kImageSize, 0)
{
}

HexWarning* CHexLint::Add(HexWarningKind kind, std::uint64_t first, std::uint64_t second, std::uint64_t third)
{
    if (m_counts[static_cast<std::size_t>(kind)]++ >= kKeptPerKind)
        return nullptr;
    const auto narrow = [](std::uint64_t n) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, UINT32_MAX));
    };
    HexWarning w{kind};
    w.line = m_line;
    w.first = narrow(first);
    w.second = narrow(second);
    w.third = narrow(third);
    m_warnings.push_back(w);
    return &m_warnings.back();
}

std::size_t CHexLint::Total() const
{
    std::size_t total = 0;
    for (std::size_t n : m_counts)
        total += n;
    return total;
}

void CHexLint::OnEndByte(bool midLine)
{
    // The rest of the 0x1A's own line comes next, under the same number.
    m_endByteLine = midLine ? m_line : m_line + 1;
    m_line = m_endByteLine - 1;
}

void CHexLint::OnLine(std::string_view line, const HexLineExtent& extent, HexLineRole role, const HexLinePlace& place)
{
    ++m_line;
    if (role == HexLineRole::kAfterEnd || role == HexLineRole::kAfterEndByte) {
        // What the loader never reads; a closing end-of-file record there costs nothing.
        if (IsRecord(line) && HexByteAt(line, 7) != 0x01) {
            // Records that an earlier end record already kept from the read count there.
            if (role == HexLineRole::kAfterEndByte && m_endLine == 0)
                ++m_recordsAfterEndByte;
            else if (m_recordsAfterEnd++ == 0)
                m_firstAfterEnd = m_line;
        }
        return;
    }

    // A CR with more of the line after it: the loader took the line for one,
    // so only what comes before the first CR is a record of its own.
    if (extent.innerCrs != 0)
        Add(HexWarningKind::kCrOnlyLineEnds, extent.innerCrs);

    if (role == HexLineRole::kNotRecord) {
        if (m_line == 1 && StartsWithByteOrderMark(line)) {
            Add(HexWarningKind::kByteOrderMark);
        } else if (HexWarning* w = Add(HexWarningKind::kNotRecord, extent.length)) {
            w->character = line.empty() ? '\0' : line[0];
        }
        return;
    }
    LintRecord(line, std::min(extent.firstCr, extent.length), role, place);
}

void CHexLint::LintRecord(std::string_view line, std::size_t recordLength, HexLineRole role, const HexLinePlace& place)
{
    // The record's text, as far as the line's text goes: all that its digits need.
    const std::string_view record = line.substr(0, recordLength);
    // The header lies within the line, since the loader took it for a record.
    const unsigned count = HexByteAt(line, 1);
    const std::size_t length = 11 + 2 * std::size_t{count};

    // Digits from the byte count to the checksum; what lies past them is the count's problem.
    std::uint32_t nonHex = 0;
    std::size_t firstNonHex = 0;
    const std::size_t digitsEnd = std::min(record.size(), length);
    for (std::size_t i = 1; i < digitsEnd; ++i) {
        if (!IsHexDigit(record[i]) && nonHex++ == 0)
            firstNonHex = i;
    }
    if (nonHex != 0) {
        if (HexWarning* w = Add(HexWarningKind::kNonHexDigit, nonHex)) {
            w->column = firstNonHex + 1;
            w->character = record[firstNonHex];
        }
    }

    if (recordLength != length) {
        Add(HexWarningKind::kCountMismatch, count, recordLength);
    } else if (nonHex == 0) {
        unsigned sum = 0;
        for (std::size_t i = 1; i + 2 < length; i += 2)
            sum += HexByteAt(record, static_cast<int>(i));
        const unsigned written = HexByteAt(record, static_cast<int>(length - 2));
        const unsigned right = (0x100 - (sum & 0xFF)) & 0xFF;
        if (written != right)
            Add(HexWarningKind::kBadChecksum, written, right);
    }

    if (role == HexLineRole::kEnd) {
        m_endLine = m_line;
        m_endType = HexByteAt(line, 7);
        return;
    }

    // Data: the bytes whose digits the line holds, at positions that never wrap.
    const std::size_t address = std::size_t{HexByteAt(line, 3)} << 8 | HexByteAt(line, 5);
    const std::size_t bytes = std::min<std::size_t>(count, (line.size() - 9) / 2);
    if (address + bytes > kImageSize) {
        const std::size_t outside = std::max(address, kImageSize);
        Add(HexWarningKind::kOutsideWindow, static_cast<std::uint32_t>(outside),
            static_cast<std::uint32_t>(address + bytes - outside));
    }

    const auto line32 = static_cast<std::uint32_t>(std::min<std::size_t>(m_line, UINT32_MAX));
    std::size_t overlapped = 0;
    std::size_t firstOverlap = 0;
    for (std::size_t a = place.address; a < place.address + place.count; ++a) {
        if (m_storedBy[a] != 0 && overlapped++ == 0)
            firstOverlap = a;
    }
    if (overlapped != 0)
        Add(HexWarningKind::kOverlap, static_cast<std::uint32_t>(firstOverlap), static_cast<std::uint32_t>(overlapped),
            m_storedBy[firstOverlap]);
    std::fill_n(m_storedBy.begin() + static_cast<std::ptrdiff_t>(place.address), place.count, line32);
    m_stored = m_stored || place.count != 0;
}

void CHexLint::Finish()
{
    if (m_recordsAfterEnd != 0) {
        m_line = m_firstAfterEnd;
        Add(HexWarningKind::kAfterEnd, m_recordsAfterEnd, static_cast<std::uint32_t>(m_endLine), m_endType);
        m_recordsAfterEnd = 0;
    }
    if (m_recordsAfterEndByte != 0) {
        m_line = m_endByteLine;
        Add(HexWarningKind::kAfterEndByte, m_recordsAfterEndByte);
        m_recordsAfterEndByte = 0;
    }
    if (!m_stored) {
        m_line = 0;
        Add(HexWarningKind::kNoData);
    }
}

CHexLint::Cell CHexLint::CellState(std::size_t index) const
{
    const auto begin = m_storedBy.begin() + static_cast<std::ptrdiff_t>(index * kCellSize);
    const auto stored = std::count_if(begin, begin + kCellSize, [](std::uint32_t line) { return line != 0; });
    if (stored == 0)
        return Cell::kEmpty;
    return static_cast<std::size_t>(stored) == kCellSize ? Cell::kFull : Cell::kPartial;
}
