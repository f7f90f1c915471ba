// The lint of HEX files: each kind of warning with its line, and a load that
// a watched read leaves exactly as an unwatched one.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "HexTestSupport.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/HexLint.h"

using namespace hextest;

namespace {

using K = HexWarningKind;

// kind, line, first, second, third
using Seen = std::tuple<K, std::size_t, std::uint32_t, std::uint32_t, std::uint32_t>;

std::vector<Seen> Lint(const std::string& text, std::size_t chunk = SIZE_MAX)
{
    MemorySource source(text, chunk);
    CHexLint lint;
    CFirmwareUpdater updater;
    updater.LoadHex(source, &lint);
    lint.Finish();
    std::vector<Seen> seen;
    for (const HexWarning& w : lint.Warnings())
        seen.emplace_back(w.kind, w.line, w.first, w.second, w.third);
    return seen;
}

const std::string kData = Record(0x0000, {1, 2, 3, 4});

}  // namespace

TEST(HexLint, TellsEachKindWithItsLine)
{
    std::string wrongSum = Record(0x10, {0xAA});
    wrongSum.back() = wrongSum.back() == '0' ? '1' : '0';
    const struct {
        const char* name;
        std::string text;
        std::vector<Seen> want;
    } cases[] = {
        {"clean, CRLF, lower case", kData + "\r\n" + Record(0x3FFC, {9, 9, 9, 9}, 0, true) + "\r\n" + kEof + "\r\n", {}},
        {"wrong checksum", kData + "\n" + wrongSum + "\n" + kEof + "\n",
         {{K::kBadChecksum, 2, std::uint32_t(std::stoul(wrongSum.substr(11), nullptr, 16)),
           std::uint32_t(std::stoul(Record(0x10, {0xAA}).substr(11), nullptr, 16)), 0}}},
        {"count says more than the line holds", ":04000000010203F6\n" + kEof + "\n", {{K::kCountMismatch, 1, 4, 17, 0}}},
        {"count says less", ":0100000001020300\n", {{K::kCountMismatch, 1, 1, 17, 0}}},
        {"trailing blank", kData + " \n", {{K::kCountMismatch, 1, 4, 20, 0}}},
        {"bytes past 0x3FFF", Record(0x3FFE, {1, 2, 3, 4}) + "\n", {{K::kOutsideWindow, 1, 0x4000, 2, 0}}},
        {"a record wholly outside", kData + "\n" + Record(0xFFFF, {5, 6}) + "\n",
         {{K::kOutsideWindow, 2, 0xFFFF, 2, 0}}},
        {"records after the end", kData + "\n" + kEof + "\n" + Record(0x20, {1}) + "\n" + Record(0x30, {1}) + "\n",
         {{K::kAfterEnd, 3, 2, 2, 1}}},
        {"extended address first", ":020000040000FA\n" + kData + "\n" + kEof + "\n",
         {{K::kAfterEnd, 2, 1, 1, 4}, {K::kNoData, 0, 0, 0, 0}}},
        {"a closing end record after a start address is fine", kData + "\n:0400000500000000F7\n" + kEof + "\n", {}},
        {"overlap", Record(0x10, {1, 2, 3, 4}) + "\n" + Record(0x08, {0, 0}) + "\n" + Record(0x12, {7, 7, 7}) + "\n",
         {{K::kOverlap, 3, 0x12, 2, 1}}},
        {"not records", kData + "\n\n # comentario\n:0000\n",
         {{K::kNotRecord, 2, 0, 0, 0}, {K::kNotRecord, 3, 13, 0, 0}, {K::kNotRecord, 4, 5, 0, 0}}},
        {"byte-order mark", "\xEF\xBB\xBF" + kData + "\n" + Record(0x20, {1}) + "\n", {{K::kByteOrderMark, 1, 0, 0, 0}}},
        {"CR-only line ends", kData + "\r" + Record(0x20, {1}) + "\r" + kEof + "\r",
         {{K::kCrOnlyLineEnds, 1, 2, 0, 0}}},
        {"a lone CR at the very end is harmless", kData + "\n" + kEof + "\r", {}},
        {"non-hex digits", ":04000000010G03G4F2\n", {{K::kNonHexDigit, 1, 2, 0, 0}}},
        // Lines longer than a read (256 KiB), of which the reader keeps only the start.
        {"a record line of 262,144 characters", kData + std::string(262144 - kData.size(), '0') + "\n",
         {{K::kCountMismatch, 1, 4, 262144, 0}}},
        {"a line of 300,000 that is no record", std::string(300000, ' ') + "\n" + kData + "\n",
         {{K::kNotRecord, 1, 300000, 0, 0}}},
        {"7,739 CR-only ends", kData + [] {
             std::string crs;
             for (int i = 0; i < 7739; ++i)
                 crs += "\r" + Record(0x20, {1}) + std::string(30, ' ');
             return crs;
         }() + "\r\n",
         {{K::kCrOnlyLineEnds, 1, 7739, 0, 0}}},
        {"the first CR far into a long line", kData + std::string(2000, '0') + "\r" + kEof + "\rx\r\r\n",
         {{K::kCrOnlyLineEnds, 1, 2, 0, 0}, {K::kCountMismatch, 1, 4, 2019, 0}}},
        {"nothing stored", "", {{K::kNoData, 0, 0, 0, 0}}},
        {"a 0x1A between lines ends the read", kData + "\n\x1A" + Record(0x20, {1}) + "\n" + Record(0x30, {1}) + "\n" + kEof,
         {{K::kAfterEndByte, 2, 2, 0, 0}}},
        {"a 0x1A inside a line", kData + "\n" + Record(0x20, {1}).substr(0, 5) + "\x1A\n" + Record(0x30, {1}) + "\n",
         {{K::kNotRecord, 2, 5, 0, 0}, {K::kAfterEndByte, 2, 1, 0, 0}}},
        {"a 0x1A after the end record", kData + "\n" + kEof + "\n\x1A" + Record(0x20, {1}) + "\n",
         {{K::kAfterEnd, 3, 1, 2, 1}}},
        {"a 0x1A that closes the file", kData + "\n" + kEof + "\n\x1A\x1A", {}},
        {"a binary", std::string("\x7F" "ELF\x02\x01\x01\0\0\0\n\x03\0>\0", 16), {{K::kNotRecord, 1, 10, 0, 0},
                                                                                  {K::kNotRecord, 2, 5, 0, 0},
                                                                                  {K::kNoData, 0, 0, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Lint(c.text), c.want);
        // Reads cut anywhere change nothing.
        EXPECT_EQ(Lint(c.text, 3), c.want);
    }
}

TEST(HexLint, FirstNonHexCharacterAndColumn)
{
    MemorySource source(Record(0x20, {1}) + "\n:04000000010G03G4F2\n");
    CHexLint lint;
    CFirmwareUpdater updater;
    updater.LoadHex(source, &lint);
    ASSERT_EQ(lint.Warnings().size(), 1u);
    EXPECT_EQ(lint.Warnings()[0].line, 2u);
    EXPECT_EQ(lint.Warnings()[0].column, 13u);
    EXPECT_EQ(lint.Warnings()[0].character, 'G');
}

TEST(HexLint, KeepsTheFirstOfEachKindAndCountsTheRest)
{
    std::string text;
    for (int i = 0; i < 150; ++i)
        text += Record(0x10, {1}) + "\n" + "?\n";
    MemorySource source(text);
    CHexLint lint;
    CFirmwareUpdater updater;
    updater.LoadHex(source, &lint);
    lint.Finish();
    EXPECT_EQ(lint.Count(HexWarningKind::kOverlap), 149u);
    EXPECT_EQ(lint.Count(HexWarningKind::kNotRecord), 150u);
    EXPECT_EQ(lint.Total(), 299u);
    ASSERT_EQ(lint.Warnings().size(), 2 * CHexLint::kKeptPerKind);
    EXPECT_EQ(lint.Warnings().back().line, 201u);  // the 100th overlap; all in line order
}

TEST(HexLint, CoverageMapCountsWhatWasStored)
{
    std::string text;
    for (unsigned a = 0x100; a < 0x200; a += 16)  // cell 1 whole
        text += Record(a, std::vector<std::uint8_t>(16, 0xFF)) + "\n";
    text += Record(0x3FFF, {0}) + "\n";            // the last byte of the last cell
    text += Record(0x4000, {1}) + "\n";            // outside: stores nothing
    text += kEof + "\n" + Record(0x0000, {1}) + "\n";  // after the end: never read
    MemorySource source(text);
    CHexLint lint;
    CFirmwareUpdater updater;
    updater.LoadHex(source, &lint);
    for (std::size_t cell = 0; cell < CHexLint::kCells; ++cell) {
        const auto want = cell == 1 ? CHexLint::Cell::kFull
                          : cell == CHexLint::kCells - 1 ? CHexLint::Cell::kPartial
                                                          : CHexLint::Cell::kEmpty;
        EXPECT_EQ(lint.CellState(cell), want) << cell;
    }
}

TEST_P(OnEachVariant, AWatchedLoadIsTheSameLoad)
{
    std::string longLine = ":" + std::string(3000, '0') + "\n";
    const std::string texts[] = {
        kData + "\n" + kEof + "\n" + Record(0x40, {5}) + "\n",
        ":020000040000FA\n" + kData + "\n",
        kData + "\r" + Record(0x20, {1}) + "\n" + longLine + Record(0x3FFE, {1, 2, 3}) + "\n\x1A" + Record(0x50, {1}),
        Record(0x10, {1, 2}) + "\n" + Record(0x11, {3, 4}) + "\n" + ":0400200001G20304",
    };
    for (const std::string& text : texts) {
        for (std::size_t chunk : {SIZE_MAX, std::size_t{7}}) {
            CFirmwareUpdater plain;
            MemorySource a(text, chunk);
            plain.LoadHex(a);
            CFirmwareUpdater watched;
            MemorySource b(text, chunk);
            CHexLint lint;
            watched.LoadHex(b, &lint);
            EXPECT_EQ(Image(watched.Image(), watched.Image() + kImageSize), Image(plain.Image(), plain.Image() + kImageSize));
            EXPECT_EQ(watched.HasData(), plain.HasData());
        }
    }
}
HEX_TEST_ON_EACH_VARIANT(OnEachVariant);
