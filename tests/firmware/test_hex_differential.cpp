// Generated well-formed HEX files must give the same image here, on each of
// the reader's paths, as in tools that others wrote: srec_cat always, objcopy
// and python's intelhex on the files they read the same way (neither takes
// overlapping records).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "firmware/FirmwareUpdater.h"
#include "HexTestSupport.h"

using namespace hextest;

namespace {

constexpr int kFiles = 300;

struct Generated {
    std::string path;
    Image image;  // what the records say, worked out here, not by the reader
    std::vector<std::pair<HexVariant, Image>> ours;  // what each path of the reader made of the file
    bool overlaps = false;
    std::size_t low = kImageSize;
    std::size_t high = 0;  // one past the last byte set
};

struct Interval {
    unsigned address;
    unsigned length;
};

// Records placed at random (overlaps likely), or cut from disjoint pieces of
// the window and shuffled.
std::vector<Interval> Layout(std::mt19937& rng, int kind)
{
    std::vector<Interval> out;
    auto pick = [&](unsigned lo, unsigned hi) { return std::uniform_int_distribution<unsigned>(lo, hi)(rng); };
    if (kind == 0) {
        const unsigned n = pick(1, 60);
        for (unsigned i = 0; i < n; ++i) {
            const unsigned a = pick(0, 0x3FFF);
            out.push_back({a, std::min(pick(0, 255), 0x4000 - a)});
        }
    } else if (kind == 1) {
        unsigned a = pick(0, 300);
        while (a < 0x4000 && out.size() < 80) {
            const unsigned len = std::min(pick(0, 255), 0x4000 - a);
            out.push_back({a, len});
            a += len + pick(0, 600);
        }
        std::shuffle(out.begin(), out.end(), rng);
    } else {
        // Crowded into a small area, the top of the window included.
        const unsigned base = pick(0, 1) ? 0x3F00 : pick(0, 0x3000);
        const unsigned n = pick(2, 30);
        for (unsigned i = 0; i < n; ++i) {
            const unsigned a = std::min(base + pick(0, 0x100), 0x3FFFu);
            out.push_back({a, std::min(pick(0, 255), 0x4000 - a)});
        }
    }
    return out;
}

std::vector<Generated> GenerateAll(const ScratchDir& dir)
{
    std::mt19937 rng(20261207);
    auto coin = [&] { return std::uniform_int_distribution<int>(0, 1)(rng) == 1; };
    std::vector<Generated> files;
    for (int f = 0; f < kFiles; ++f) {
        Generated g;
        g.image = Erased();
        std::vector<int> covered(kImageSize, 0);
        std::string text;
        const int crlfMode = f % 3;  // LF, CRLF, or mixed line by line
        for (const Interval& iv : Layout(rng, f % 3 == 0 ? 0 : (f % 3 == 1 ? 1 : 2))) {
            std::vector<std::uint8_t> data(iv.length);
            for (auto& b : data)
                b = static_cast<std::uint8_t>(rng());
            text += Record(iv.address, data, 0, coin());
            text += (crlfMode == 1 || (crlfMode == 2 && coin())) ? "\r\n" : "\n";
            for (unsigned i = 0; i < iv.length; ++i) {
                g.image[iv.address + i] = data[i];
                g.overlaps |= ++covered[iv.address + i] > 1;
            }
            if (iv.length > 0) {
                g.low = std::min<std::size_t>(g.low, iv.address);
                g.high = std::max<std::size_t>(g.high, iv.address + iv.length);
            }
        }
        text += kEof + (crlfMode == 1 ? "\r\n" : "\n");
        g.path = dir.Write("f" + std::to_string(f) + ".hex", text);
        files.push_back(std::move(g));
    }
    return files;
}

bool Have(const std::string& check)
{
    return std::system((check + " >/dev/null 2>&1").c_str()) == 0;
}

class HexDifferential : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new ScratchDir;
        s_files = new std::vector<Generated>(GenerateAll(*s_dir));
        const HexVariant before = CurrentHexVariant();
        for (HexVariant variant : kAllHexVariants) {
            if (!HexVariantAvailable(variant))
                continue;
            UseHexVariant(variant);
            for (Generated& g : *s_files) {
                CFirmwareUpdater u;
                Image image;
                if (u.LoadHexFile(g.path.c_str()) == 1)
                    image.assign(u.Image(), u.Image() + kImageSize);
                g.ours.emplace_back(variant, std::move(image));
            }
        }
        UseHexVariant(before);
    }
    static void TearDownTestSuite()
    {
        delete s_files;
        delete s_dir;
        s_files = nullptr;
        s_dir = nullptr;
    }

    // Runs `script` once, with the files' paths on its standard input, one a
    // line; it writes PATH.SUFFIX for each file it accepts.
    static void RunOverAll(const std::string& script, const std::string& name)
    {
        const std::string scriptPath = s_dir->Write(name + ".sh", script);
        std::string listPath = s_dir->Write(name + ".list", [] {
            std::string list;
            for (const Generated& g : *s_files)
                list += g.path + "\n";
            return list;
        }());
        const std::string log = (s_dir->Path() / (name + ".log")).string();
        const int rc = std::system(("sh '" + scriptPath + "' < '" + listPath + "' > '" + log + "' 2>&1").c_str());
        EXPECT_EQ(rc, 0) << ReadFile(log);
    }

    // Compares each picked file's PATH.SUFFIX with the reader's image (only
    // the span of addresses set, if `span`). Returns how many were compared.
    template <class Pick>
    static int Compare(const std::string& suffix, Pick pick, bool span)
    {
        int compared = 0;
        for (const Generated& g : *s_files) {
            if (!pick(g))
                continue;
            const std::size_t from = span ? g.low : 0;
            const std::size_t to = span ? g.high : kImageSize;
            const std::string theirs = ReadFile(g.path + suffix);
            for (const auto& [path, image] : g.ours) {
                const std::string mine(image.begin() + static_cast<std::ptrdiff_t>(from),
                                       image.begin() + static_cast<std::ptrdiff_t>(to));
                EXPECT_TRUE(theirs == mine)
                    << g.path << " (" << ::testing::PrintToString(path) << "): " << theirs.size()
                    << " bytes, differ from offset "
                    << std::mismatch(theirs.begin(), theirs.end(), mine.begin(), mine.end()).first - theirs.begin();
            }
            ++compared;
        }
        return compared;
    }

    static ScratchDir* s_dir;
    static std::vector<Generated>* s_files;
};

ScratchDir* HexDifferential::s_dir = nullptr;
std::vector<Generated>* HexDifferential::s_files = nullptr;

}  // namespace

TEST_F(HexDifferential, ReaderMatchesWhatTheRecordsSay)
{
    int overlapping = 0;
    for (const Generated& g : *s_files) {
        ASSERT_EQ(g.ours.size(), static_cast<std::size_t>(std::count_if(std::begin(kAllHexVariants), std::end(kAllHexVariants),
                                                                          HexVariantAvailable)));
        for (const auto& [path, image] : g.ours)
            ASSERT_EQ(image, g.image) << g.path << " (" << ::testing::PrintToString(path) << ")";
        overlapping += g.overlaps;
    }
    // The generator must keep producing both kinds.
    EXPECT_GT(overlapping, kFiles / 4);
    EXPECT_GT(kFiles - overlapping, kFiles / 4);
}

TEST_F(HexDifferential, SameAsSrecCat)
{
    if (!Have("command -v srec_cat"))
        GTEST_SKIP() << "srec_cat is not installed (Debian package srecord)";
    RunOverAll("set -e\nwhile read -r f; do\n"
               "  srec_cat -multiple \"$f\" -Intel -fill 0xFF 0 0x4000 -crop 0 0x4000 -o \"$f.srec\" -Binary "
               "2>/dev/null || { echo \"srec_cat failed on $f\"; srec_cat -multiple \"$f\" -Intel -o /dev/null "
               "-Binary; exit 1; }\n"
               "done\n",
               "srec");
    EXPECT_EQ(Compare(".srec", [](const Generated&) { return true; }, false), kFiles);
}

TEST_F(HexDifferential, SameAsObjcopyWithoutOverlaps)
{
    if (!Have("command -v objcopy"))
        GTEST_SKIP() << "objcopy is not installed (Debian package binutils)";
    // objcopy keeps overlapping records as clashing sections, so only files
    // without overlaps count. Its output spans the lowest to the highest
    // address set.
    RunOverAll("set -e\nwhile read -r f; do\n"
               "  objcopy -I ihex -O binary --gap-fill 0xFF \"$f\" \"$f.objcopy\"\n"
               "done\n",
               "objcopy");
    EXPECT_GT(Compare(".objcopy", [](const Generated& g) { return !g.overlaps && g.high > 0; }, true), kFiles / 4);
}

TEST_F(HexDifferential, SameAsPythonIntelhex)
{
    std::string py;
    for (const char* candidate : {"/usr/bin/python3", "python3"})
        if (py.empty() && Have(std::string(candidate) + " -c 'import intelhex'"))
            py = candidate;
    if (py.empty())
        GTEST_SKIP() << "python3 with intelhex is not installed (Debian package python3-intelhex)";
    const std::string prog = s_dir->Write("ih.py",
                                          "import sys\n"
                                          "from intelhex import IntelHex, AddressOverlapError\n"
                                          "for f in sys.stdin.read().split():\n"
                                          "    ih = IntelHex()\n"
                                          "    try:\n"
                                          "        ih.loadhex(f)\n"
                                          "    except AddressOverlapError:\n"
                                          "        continue\n"
                                          "    with open(f + '.ih', 'wb') as out:\n"
                                          "        out.write(ih.tobinstr(start=0, size=0x4000, pad=0xFF))\n");
    RunOverAll("exec " + py + " '" + prog + "'\n", "intelhex");
    // It refuses exactly the files with overlaps.
    for (const Generated& g : *s_files)
        EXPECT_EQ(std::ifstream(g.path + ".ih").good(), !g.overlaps) << g.path;
    EXPECT_GT(Compare(".ih", [](const Generated& g) { return !g.overlaps; }, false), kFiles / 4);
}
