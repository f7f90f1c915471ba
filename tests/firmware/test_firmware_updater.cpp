// CFirmwareUpdater's image, loaded flag and checksum around whole loads.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "firmware/FirmwareUpdater.h"
#include "HexTestSupport.h"
#ifdef __linux__
#include "tests/support/ReadsDenied.h"
#endif

using namespace hextest;

namespace {

Image ImageOf(const CFirmwareUpdater& u)
{
    return {u.Image(), u.Image() + kImageSize};
}

std::string Checksum(const CFirmwareUpdater& u)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.4X", static_cast<unsigned>(u.ComputeChecksum()));
    return buf;
}

// A file that sets the whole image to `value`, then applies `more`.
std::string Filled(std::uint8_t value, const std::string& more = {})
{
    std::string text;
    for (unsigned a = 0; a < kImageSize; a += 128)
        text += Record(a, std::vector<std::uint8_t>(128, value)) + "\r\n";
    return text + more + kEof + "\r\n";
}

}  // namespace

TEST(FirmwareUpdater, FreshObject)
{
    CFirmwareUpdater u;
    EXPECT_EQ(ImageOf(u), Erased());
    EXPECT_EQ(u.IsHexLoaded(), 0);
    EXPECT_EQ(u.GetProgress(), 0);
    EXPECT_EQ(u.ComputeChecksum(), 0xC000);
}

TEST(FirmwareUpdater, ChecksumValues)
{
    ScratchDir dir;
    struct Case {
        std::string text;
        int sum;
        const char* shown;
    };
    const Case cases[] = {
        {"", 0xC000, "C000"},
        {Record(0, {0}) + "\n", 0xBF01, "BF01"},
        {Record(0, {1, 2, 3, 4}) + "\n", 0xBC0E, "BC0E"},
        {Filled(0), 0x0000, "0000"},
        {Record(0x3FF0, std::vector<std::uint8_t>(16, 0x12)) + "\n", 0xC000 - 16 * 0xFF + 16 * 0x12, "B130"},
        {Filled(0, Record(0, {0x0A}) + "\n"), 0x000A, "000A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        CFirmwareUpdater u;
        ASSERT_EQ(u.LoadHexFile(dir.Write("f.hex", c.text).c_str()), 1);
        EXPECT_EQ(u.IsHexLoaded(), 1);
        EXPECT_EQ(u.ComputeChecksum(), c.sum);
        EXPECT_EQ(Checksum(u), c.shown);
    }
}

TEST(FirmwareUpdater, ReloadReplacesTheWholeImage)
{
    ScratchDir dir;
    CFirmwareUpdater u;
    ASSERT_EQ(u.LoadHexFile(dir.Write("a.hex", Record(0, {1, 2, 3, 4}) + "\n").c_str()), 1);
    ASSERT_EQ(u.LoadHexFile(dir.Write("b.hex", Record(2, {7, 8, 9, 10}) + "\n").c_str()), 1);
    Image want = Erased();
    std::memcpy(want.data() + 2, "\x07\x08\x09\x0A", 4);
    EXPECT_EQ(ImageOf(u), want);
    EXPECT_EQ(u.IsHexLoaded(), 1);
    // An empty file, and one whose first record is type 04, erase all.
    ASSERT_EQ(u.LoadHexFile(dir.Write("c.hex", "").c_str()), 1);
    EXPECT_EQ(ImageOf(u), Erased());
    ASSERT_EQ(u.LoadHexFile(dir.Write("b.hex", Record(2, {7})).c_str()), 1);
    ASSERT_EQ(u.LoadHexFile(dir.Write("d.hex", ":020000040000FA\n" + Record(0, {1}) + "\n").c_str()), 1);
    EXPECT_EQ(ImageOf(u), Erased());
    EXPECT_EQ(u.IsHexLoaded(), 1);
}

using FirmwareUpdaterOnEachVariant = OnEachVariant;
HEX_TEST_ON_EACH_VARIANT(FirmwareUpdaterOnEachVariant);

TEST_P(FirmwareUpdaterOnEachVariant, TellsWhetherAnyRecordStoredAByte)
{
    const std::pair<std::string, int> cases[] = {
        {"", 0},
        {"no es un HEX\n", 0},
        {":020000040000FA\n" + Record(0, {1}) + "\n", 0},
        {Record(0x10, {}) + "\n", 0},
        {Record(0x4000, {1}) + "\n" + Record(0xFFFF, {1, 2}) + "\n", 0},
        {Record(0x3FFF, {0xFF, 0xFF}) + "\n", 1},
        {Record(0, {1}) + "\n" + kEof + "\n", 1},
        {Record(0x100, std::vector<std::uint8_t>(200, 0xFF)) + "\n", 1},
        {"\n" + Record(0x3FF0, std::vector<std::uint8_t>(40, 7)), 1},
    };
    CFirmwareUpdater u;
    for (const auto& [text, hasData] : cases) {
        SCOPED_TRACE(text);
        MemorySource source(text);
        ASSERT_EQ(u.LoadHex(source), 1);
        EXPECT_EQ(u.HasData(), hasData);
        EXPECT_EQ(u.IsHexLoaded(), 1);
    }
}

TEST(FirmwareUpdater, FailedOpenChangesNothing)
{
    ScratchDir dir;
    const std::string missing = (dir.Path() / "nada.hex").string();
    const std::string folder = dir.Path().string();
    {
        CFirmwareUpdater u;
        EXPECT_EQ(u.LoadHexFile(missing.c_str()), 0);
        EXPECT_EQ(u.LoadHexFile(folder.c_str()), 0);
        EXPECT_EQ(ImageOf(u), Erased());
        EXPECT_EQ(u.IsHexLoaded(), 0);
        EXPECT_EQ(u.ComputeChecksum(), 0xC000);
    }
    {
        CFirmwareUpdater u;
        ASSERT_EQ(u.LoadHexFile(dir.Write("a.hex", Record(0x123, {5, 6, 7}) + "\n").c_str()), 1);
        const Image before = ImageOf(u);
        const int sum = u.ComputeChecksum();
        EXPECT_EQ(u.LoadHexFile(missing.c_str()), 0);
        EXPECT_EQ(u.LoadHexFile(folder.c_str()), 0);
        EXPECT_EQ(ImageOf(u), before);
        EXPECT_EQ(u.ComputeChecksum(), sum);
        EXPECT_EQ(u.IsHexLoaded(), 1);
    }
}

TEST(FirmwareUpdater, ReadErrorKeepsEverythingAsItWas)
{
    // Enough records to fill several reader blocks, so that some are applied
    // before the failure whichever block it hits.
    std::string big;
    for (unsigned i = 0; big.size() < 900 * 1024; ++i)
        big += Record((i * 32) % kImageSize, std::vector<std::uint8_t>(32, static_cast<std::uint8_t>(i))) + "\n";

    for (std::size_t failAfter : {std::size_t{0}, std::size_t{100}, std::size_t{256 * 1024},
                                  std::size_t{256 * 1024 + 1}, std::size_t{700 * 1024}}) {
        SCOPED_TRACE(failAfter);
        for (bool loadedBefore : {false, true}) {
            CFirmwareUpdater u;
            if (loadedBefore) {
                MemorySource first(Record(0x10, {0xAA, 0xBB}) + "\n");
                ASSERT_EQ(u.LoadHex(first), 1);
            }
            const Image before = ImageOf(u);
            const int flagBefore = u.IsHexLoaded();
            for (std::size_t chunk : {SIZE_MAX, std::size_t{1000}}) {
                MemorySource failing(big, chunk, failAfter);
                try {
                    u.LoadHex(failing);
                    ADD_FAILURE() << "no exception";
                } catch (const CFileException& e) {
                    EXPECT_EQ(e.FileName(), "disco/roto.hex");
                    EXPECT_EQ(e.OsError(), EIO);
                    EXPECT_EQ(std::string(e.what()), "disco/roto.hex: error de entrada/salida");
                }
                EXPECT_EQ(failing.Position(), failAfter);
                EXPECT_EQ(ImageOf(u), before);
                EXPECT_EQ(u.IsHexLoaded(), flagBefore);
            }
        }
    }
    // A code that has no text of its own is told by its number.
    EXPECT_EQ(CFileException("x.hex", 31420).Reason(), "error 31420");
}

#ifdef __linux__
TEST(FirmwareUpdater, ReadErrorFromARealFile)
{
    // Opens fine, but the kernel refuses every read.
    ScratchDir dir;
    const std::string path = dir.Write("denied.hex", Record(0, {1}) + "\n");
    testsupport::ReadsDenied denied(path);
    if (!denied.Active())
        GTEST_SKIP() << "fanotify permission events are not available here";
    CFirmwareUpdater u;
    try {
        u.LoadHexFile(path.c_str());
        ADD_FAILURE() << path << " read without error";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.FileName(), path);
        EXPECT_EQ(e.OsError(), EPERM);
        EXPECT_EQ(e.Reason(), "operación no permitida");
    }
    EXPECT_EQ(u.IsHexLoaded(), 0);
    EXPECT_EQ(ImageOf(u), Erased());
}
#endif
