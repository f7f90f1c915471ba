// The HEX reader's line and record rules, fed from memory, on each of the
// reader's paths.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "firmware/HexDigits.h"
#include "firmware/HexLines.h"
#include "firmware/HexReader.h"
#include "HexReference.h"
#include "HexTestSupport.h"

using namespace hextest;

namespace {

constexpr std::size_t kBlock = CHexLines::kBlockSize;

Image Read(const std::string& text, std::size_t chunk = SIZE_MAX)
{
    Image image = Erased();
    MemorySource source(text, chunk);
    ReadHex(source, image.data());
    return image;
}

std::vector<std::uint8_t> At(const Image& image, std::size_t address, std::size_t n)
{
    return {image.begin() + static_cast<std::ptrdiff_t>(address),
            image.begin() + static_cast<std::ptrdiff_t>(address + n)};
}

using Bytes = std::vector<std::uint8_t>;

// Twelve characters: the first data byte is AB; a second byte is stored only
// if a thirteenth character sneaks into the line (it would make "C?").
const std::string kProbe = ":02001000ABC";

using HexLines = OnEachVariant;
using HexRecords = OnEachVariant;
using HexFields = OnEachVariant;
using HexAddressWindow = OnEachVariant;
HEX_TEST_ON_EACH_VARIANT(HexLines);
HEX_TEST_ON_EACH_VARIANT(HexRecords);
HEX_TEST_ON_EACH_VARIANT(HexFields);
HEX_TEST_ON_EACH_VARIANT(HexAddressWindow);

}  // namespace

TEST_P(HexLines, LineEnds)
{
    const std::string a = Record(0, {1, 2, 3});
    const std::string b = Record(0x100, {4, 5});
    const Image lf = Read(a + "\n" + b + "\n" + kEof + "\n");
    EXPECT_EQ(At(lf, 0, 4), (Bytes{1, 2, 3, 0xFF}));
    EXPECT_EQ(At(lf, 0x100, 3), (Bytes{4, 5, 0xFF}));
    EXPECT_EQ(Read(a + "\r\n" + b + "\r\n" + kEof + "\r\n"), lf);
    EXPECT_EQ(Read(a + "\n" + b + "\r\n"), lf);

    // A CR goes with the LF right after it, and only then.
    EXPECT_EQ(Read(kProbe + "\r\n")[0x11], 0xFF);
    EXPECT_EQ(Read(kProbe + "\r\r\n")[0x11], 0xC0);
    EXPECT_EQ(Read(kProbe + "\r")[0x11], 0xC0);  // last line, no LF
    EXPECT_EQ(Read(":02001000AB\rC\n")[0x11], 0x0C);
    // A lone CR does not end a line: the second record is data of the first.
    const Image cr = Read(":0100000011\r" + Record(1, {0x22}) + "\n");
    EXPECT_EQ(cr[0], 0x11);
    EXPECT_EQ(cr[1], 0xFF);
    // Blank lines and lines of other things are passed over.
    EXPECT_EQ(Read("\n\r\n# note\n" + a + "\n\n"), Read(a + "\n"));
}

TEST_P(HexLines, EndOfInputByte)
{
    const std::string a = Record(0, {0x11}) + "\n";
    const std::string b = Record(1, {0x22}) + "\n";
    EXPECT_EQ(Read(a + "\x1A" + b)[1], 0xFF);
    EXPECT_EQ(Read(a + b + "\x1A")[1], 0x22);
    // Mid-line: the line ends there as a last line without LF.
    const Image mid = Read(":0200000011\x1A" "22\n" + b);
    EXPECT_EQ(mid[0], 0x11);
    EXPECT_EQ(mid[1], 0xFF);
    EXPECT_EQ(Read(kProbe + "\r\x1A\n")[0x11], 0xC0);

    // In a later block, at its first byte, and inside a line that spans blocks.
    const std::string pad(kBlock - a.size() - 1, 'x');
    EXPECT_EQ(Read(a + pad + "\n\x1A" + b)[1], 0xFF);
    EXPECT_EQ(Read(pad + "\n" + a + std::string(kBlock, 'y') + "\x1A\n" + b)[1], 0xFF);
    const Image spanned = Read(std::string(kBlock - 5, '#') + "\n:0200000011\x1A" "22\n" + b);
    EXPECT_EQ(At(spanned, 0, 2), (Bytes{0x11, 0xFF}));
    // Many blocks in: 0x1A found after several full reads, with short reads too.
    std::string many;
    while (many.size() < 3 * kBlock)
        many += a;
    for (std::size_t chunk : {SIZE_MAX, std::size_t{4093}})
        EXPECT_EQ(Read(many + "\x1A" + b, chunk)[1], 0xFF);
}

TEST_P(HexLines, NoLengthLimitAndLastLineKept)
{
    // Long lines before a record, and a long record line, are read whole.
    const std::string longText(3 * kBlock + 17, 'z');
    const std::string rec = Record(0x20, {9, 8, 7});
    EXPECT_EQ(At(Read(longText + "\n" + rec + "\n"), 0x20, 3), (Bytes{9, 8, 7}));
    EXPECT_EQ(At(Read(rec + longText + "\n" + Record(0x30, {6}) + "\n"), 0x20, 4), (Bytes{9, 8, 7, 0xFF}));
    EXPECT_EQ(Read(rec + longText + "\n" + Record(0x30, {6}) + "\n")[0x30], 6);
    // A huge line that begins like an end record still ends the read.
    EXPECT_EQ(Read(kEof + longText + "\n" + rec)[0x20], 0xFF);

    // A last line without LF counts, whatever its length (multiples of 128 too).
    const std::size_t lengths[] = {11,  12,   127,  128,        129,    256,        384,       512,       519,
                                   520, 521,  1024, 4096, kBlock - 1, kBlock, kBlock + 1, 2 * kBlock};
    for (std::size_t length : lengths) {
        const std::size_t fit = (length - 9) / 2;
        const std::size_t count = std::min<std::size_t>(255, fit);
        std::string line = ":" + Hex2(static_cast<unsigned>(count)) + "000000";
        while (line.size() < length)
            line += Hex2(static_cast<unsigned>(line.size()) & 0x7F);
        line.resize(length);
        for (const std::string& before : {std::string(), Record(0x3000, {1}) + "\n"}) {
            const Image image = Read(before + line);
            SCOPED_TRACE(length);
            EXPECT_EQ(image[0], HexByteAt(line, 9));
            EXPECT_EQ(image[count - 1], HexByteAt(line, static_cast<int>(9 + 2 * (count - 1))));
            EXPECT_EQ(image[count], 0xFF);
        }
    }
}

TEST_P(HexLines, BlockBoundaryAnywhereInALine)
{
    // The probe line with CRLF, then a record: cut the input at a block
    // boundary at every offset from before the line to after its LF.
    const std::string tail = Record(0x40, {0x5A, 0xA5}) + "\n";
    const std::string line = kProbe + "\r\n";
    for (std::size_t cut = 0; cut <= line.size() + 1; ++cut) {
        SCOPED_TRACE(cut);
        std::string text(kBlock - cut - 1, '.');
        text += "\n" + line + tail;
        const Image image = Read(text);
        EXPECT_EQ(At(image, 0x10, 2), (Bytes{0xAB, 0xFF}));  // CR split from LF must not stay
        EXPECT_EQ(At(image, 0x40, 2), (Bytes{0x5A, 0xA5}));
        // The same input read a few bytes at a time.
        EXPECT_EQ(Read(text.substr(kBlock - cut - 40), 7), image);
    }
    // A record longer than what the reader keeps, spanning the boundary.
    for (std::size_t cut : {std::size_t{1}, std::size_t{9}, std::size_t{300}, std::size_t{519},
                            std::size_t{520}, std::size_t{521}, std::size_t{600}}) {
        SCOPED_TRACE(cut);
        Bytes data(255);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * 7 + 3);
        std::string text(kBlock - cut - 1, '.');
        text += "\n" + Record(0x1000, data) + std::string(1000, '9') + "\r\n" + tail;
        const Image image = Read(text);
        EXPECT_EQ(At(image, 0x1000, 256), [&] { Bytes b = data; b.push_back(0xFF); return b; }());
        EXPECT_EQ(image[0x40], 0x5A);
    }
}

TEST_P(HexLines, LongMixedTextAsTheReference)
{
    // Several blocks of records of every length (the counts not always
    // matching), junk, lower case, stray CRs and non-digits, so that lines
    // start and end at every offset of the reader's blocks and slices.
    std::mt19937 rng(1207);
    auto pick = [&](unsigned lo, unsigned hi) { return std::uniform_int_distribution<unsigned>(lo, hi)(rng); };
    std::string text;
    while (text.size() < 3 * kBlock + CHexLines::kSliceSize / 3) {
        std::vector<std::uint8_t> data(pick(0, 60) == 0 ? pick(0, 255) : pick(0, 40));
        for (auto& b : data)
            b = static_cast<std::uint8_t>(rng());
        std::string line = Record(pick(0, 0x4100), data, 0, pick(0, 3) == 0);
        switch (pick(0, 9)) {
        case 0: line[1 + pick(0, static_cast<unsigned>(line.size()) - 2)] = static_cast<char>(pick(0x20, 0x7E)); break;
        case 1: line.resize(pick(0, static_cast<unsigned>(line.size()))); break;
        case 2: line[1] = 'F'; break;  // a count past the end of the line
        case 3: line = std::string(pick(0, 300), '#'); break;
        case 4: line += "\r"; break;
        default: break;
        }
        text += line + (pick(0, 1) ? "\n" : "\r\n");
    }
    text += Record(0x10, {1, 2}, 4) + "\n" + Record(0x10, {3, 4}) + "\n";
    Image want = Erased();
    ReferenceRead(text, want.data());
    ASSERT_NE(want, Erased());
    for (std::size_t chunk : {SIZE_MAX, std::size_t{4093}, std::size_t{64}, std::size_t{1}}) {
        SCOPED_TRACE(chunk);
        EXPECT_EQ(Read(text, chunk), want);
    }
}

TEST_P(HexRecords, WhatCountsAsARecord)
{
    const std::string after = Record(0x10, {0x77}) + "\n";
    // Ten characters beginning with a colon: passed over, reading goes on.
    EXPECT_EQ(Read(":00000001F\n" + after)[0x10], 0x77);
    // Eleven: a whole end record, so the read stops.
    EXPECT_EQ(Read(kEof + "\n" + after)[0x10], 0xFF);
    EXPECT_EQ(Read(kEof + "\r\n" + after)[0x10], 0xFF);
    // Eleven characters of data record: its one byte is stored.
    EXPECT_EQ(Read(":0100200042\n")[0x20], 0x42);
    // A space, a tab or any other character before the colon: not a record.
    EXPECT_EQ(Read(" " + kEof + "\n" + after)[0x10], 0x77);
    EXPECT_EQ(Read("\t" + Record(0x10, {1}) + "\n")[0x10], 0xFF);
    EXPECT_EQ(Read(";" + Record(0x10, {1}).substr(1) + "\n")[0x10], 0xFF);
    // A byte-order mark costs the first line.
    const Image bom = Read("\xEF\xBB\xBF" + Record(0, {0x11}) + "\n" + Record(1, {0x22}) + "\n");
    EXPECT_EQ(At(bom, 0, 2), (Bytes{0xFF, 0x22}));
    // The input may be empty or hold no record at all.
    EXPECT_EQ(Read(""), Erased());
    EXPECT_EQ(Read("\n\n\n"), Erased());
}

TEST(HexDigits, Values)
{
    for (int c = 0; c < 256; ++c) {
        int want = 0;
        if (c >= '0' && c <= '9')
            want = c - '0';
        else if (c >= 'A' && c <= 'F')
            want = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            want = c - 'a' + 10;
        EXPECT_EQ(HexDigitValue(static_cast<char>(c)), want) << "character " << c;
    }
    EXPECT_EQ(HexByteAt("3G", 0), 0x30);
    EXPECT_EQ(HexByteAt("G3", 0), 0x03);
    EXPECT_EQ(HexByteAt("xab", 1), 0xAB);
    EXPECT_EQ(HexByteAt("Ff", 0), 0xFF);
    EXPECT_EQ(HexByteAt(":\xC0\xB9", 1), 0x00);
}

TEST_P(HexFields, EveryCharacterAsEitherDigit)
{
    // Each byte value that can stand inside a line, as the high and as the
    // low digit of a data byte, at every place in the record's digits.
    std::string chars;
    for (int c = 0; c < 256; ++c)
        if (c != '\n' && c != 0x1A)
            chars += static_cast<char>(c);
    std::string text;
    Image want = Erased();
    unsigned address = 0;
    for (std::size_t shift = 0; shift < 7; ++shift) {
        for (std::size_t i = 0; i < chars.size();) {
            const std::size_t n = std::min<std::size_t>(120, chars.size() - i);
            std::string line = ":" + Hex2(static_cast<unsigned>(2 * n)) + Hex2(address >> 8) + Hex2(address) + "00";
            for (std::size_t k = 0; k < n; ++k) {
                const char c = chars[(i + k + shift) % chars.size()];
                const char other = "0123456789abcdefABCDEF"[(i + k) % 22];
                line += {c, other, other, c};
                want[address + 2 * k] = static_cast<std::uint8_t>(HexDigitValue(c) << 4 | HexDigitValue(other));
                want[address + 2 * k + 1] = static_cast<std::uint8_t>(HexDigitValue(other) << 4 | HexDigitValue(c));
            }
            text += line + "00\n";
            address += static_cast<unsigned>(2 * n);
            i += n;
        }
    }
    ASSERT_LT(address, kImageSize);
    EXPECT_EQ(Read(text), want);
}

TEST_P(HexFields, RecordsAreTrusted)
{
    // Lower case, and a wrong record checksum: applied all the same.
    EXPECT_EQ(At(Read(Record(0x2AB, {0xDE, 0xAD}, 0, true) + "\n"), 0x2AB, 2), (Bytes{0xDE, 0xAD}));
    EXPECT_EQ(At(Read(":02000000BEEF00\n"), 0, 2), (Bytes{0xBE, 0xEF}));
    // Non-digits count as 0 in every field.
    EXPECT_EQ(At(Read(":0G00100011\n"), 0x10, 1), (Bytes{0xFF}));  // count 0x00
    EXPECT_EQ(Read(":01G010ZZ11\n")[0x10], 0x11);                    // address 0x0010, type 0x00
    EXPECT_EQ(Read(":010010G1xx\n" + Record(0x20, {1}) + "\n")[0x20], 0xFF);  // type "G1" is 01
    EXPECT_EQ(Read(":0100100g3G\n")[0x10], 0x30);
}

TEST_P(HexAddressWindow, BytesOutsideAreDropped)
{
    const std::string next = Record(0x100, {0x42}) + "\n";
    // Across the top: the first two land, the rest go.
    const Image top = Read(Record(0x3FFE, {1, 2, 3, 4}) + "\n" + next);
    EXPECT_EQ(At(top, 0x3FFC, 4), (Bytes{0xFF, 0xFF, 1, 2}));
    EXPECT_EQ(top[0], 0xFF);
    EXPECT_EQ(top[0x100], 0x42);
    // Above the window: nothing stored, and reading goes on.
    for (unsigned address : {0x4000u, 0x4001u, 0x8000u, 0xC000u, 0xFFFFu, 0xFF00u}) {
        SCOPED_TRACE(address);
        Image want = Erased();
        want[0x100] = 0x42;
        EXPECT_EQ(Read(Record(address, Bytes(255, 0)) + "\n" + next), want);
    }
    // Positions run past 0xFFFF without wrapping back to 0.
    EXPECT_EQ(Read(Record(0xFFF0, Bytes(0x40, 0x5A)) + "\n"), Erased());
    // Byte count 0 stores nothing, also right at the top.
    EXPECT_EQ(Read(Record(0x10, {}) + "\n" + Record(0x3FFF, {}) + "\n" + next)[0x100], 0x42);
    EXPECT_EQ(Read(Record(0x10, {}) + "\n")[0x10], 0xFF);
}

TEST_P(HexAddressWindow, EveryLengthKeepsItsNeighbours)
{
    // Records of 0 to 70 bytes, in the window and across its top, over bytes
    // an earlier record set: exactly their own bytes change.
    for (unsigned count = 0; count <= 70; ++count) {
        for (unsigned address : {0x0000u, 0x1FE1u, 0x3F80u, 0x4000u - count, 0x3FF0u, 0x3FFFu}) {
            SCOPED_TRACE(testing::Message() << count << " bytes at " << address);
            const unsigned below = address >= 40 ? address - 40 : 0;
            const unsigned above = std::min(below + 120, unsigned{kImageSize});
            std::string text = Record(below, Bytes(above - below, 0xA5)) + "\n";
            Bytes data(count);
            for (unsigned i = 0; i < count; ++i)
                data[i] = static_cast<std::uint8_t>(0x11 * (i % 15) + 1);
            text += Record(address, data) + "\n";
            Image want = Erased();
            for (unsigned a = below; a < above; ++a)
                want[a] = 0xA5;
            for (unsigned i = 0; i < count && address + i < kImageSize; ++i)
                want[address + i] = data[i];
            EXPECT_EQ(Read(text), want);
        }
    }
}

TEST_P(HexAddressWindow, CountLongerThanTheLine)
{
    // The digits inside the line are data, the checksum's included; a byte
    // with a digit past the end is not stored.
    EXPECT_EQ(At(Read(":05000000AABBCC\n"), 0, 4), (Bytes{0xAA, 0xBB, 0xCC, 0xFF}));
    EXPECT_EQ(At(Read(":05000000AABBC\n"), 0, 3), (Bytes{0xAA, 0xBB, 0xFF}));
    EXPECT_EQ(At(Read(":FF000000AA"), 0, 2), (Bytes{0xAA, 0xFF}));
    // The count, not the line, limits how much is taken.
    EXPECT_EQ(At(Read(":02000000AABBCCDD\n"), 0, 3), (Bytes{0xAA, 0xBB, 0xFF}));
}

TEST_P(HexRecords, LaterRecordsOverwrite)
{
    const std::string a = Record(0x200, {1, 2, 3, 4});
    const std::string b = Record(0x202, {9, 9, 9});
    EXPECT_EQ(At(Read(a + "\n" + b + "\n"), 0x200, 6), (Bytes{1, 2, 9, 9, 9, 0xFF}));
    EXPECT_EQ(At(Read(b + "\n" + a + "\n"), 0x200, 6), (Bytes{1, 2, 3, 4, 9, 0xFF}));
    // The last one wins also when it writes 0xFF.
    EXPECT_EQ(Read(Record(0, {0}) + "\n" + Record(0, {0xFF}) + "\n")[0], 0xFF);
}

TEST_P(HexRecords, AnyOtherTypeEndsTheRead)
{
    for (unsigned type : {1u, 2u, 3u, 4u, 5u, 6u, 0x10u, 0x80u, 0xFFu}) {
        SCOPED_TRACE(type);
        const std::string other = Record(0, {0, 0, 0, 0}, type) + "\n";
        const Image image = Read(Record(0, {0x11}) + "\n" + other + Record(1, {0x22}) + "\n");
        EXPECT_EQ(At(image, 0, 3), (Bytes{0x11, 0xFF, 0xFF}));  // its own data not stored either
        EXPECT_FALSE(ApplyHexLine(other.substr(0, other.size() - 1), Erased().data()));
    }
    // A first record of type 04: nothing after it counts.
    EXPECT_EQ(Read(":020000040000FA\n" + Record(0, {1, 2, 3}) + "\n" + kEof + "\n"), Erased());
    // Ten characters of "end record" do not stop anything.
    EXPECT_TRUE(ApplyHexLine(":00000001F", Erased().data()));
}
