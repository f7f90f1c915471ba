#pragma once
// Helpers shared by the firmware tests: HEX text builders, in-memory byte
// sources (one that fails on purpose), a scratch folder, and a fixture that
// runs a test on each of the reader's paths.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "firmware/ByteSource.h"
#include "firmware/FileException.h"
#include "firmware/FirmwareImage.h"
#include "firmware/HexVariant.h"
#include "tests/support/MemorySource.h"

namespace hextest {

using Image = std::vector<std::uint8_t>;

inline Image Erased()
{
    return Image(kImageSize, kErasedByte);
}

inline std::string Hex2(unsigned v, bool lower = false)
{
    char buf[3];
    std::snprintf(buf, sizeof buf, lower ? "%02x" : "%02X", v & 0xFFu);
    return buf;
}

// One well-formed record (no line end), checksum included.
inline std::string Record(unsigned address, const std::vector<std::uint8_t>& data, unsigned type = 0,
                          bool lower = false)
{
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::string s = ":" + Hex2(static_cast<unsigned>(data.size()), lower) + Hex2(address >> 8, lower) +
                    Hex2(address, lower) + Hex2(type, lower);
    for (std::uint8_t b : data) {
        s += Hex2(b, lower);
        sum += b;
    }
    return s + Hex2((0x100 - (sum & 0xFF)) & 0xFF, lower);
}

inline const std::string kEof = ":00000001FF";

using testsupport::MemorySource;

// A folder of its own under the system's temp folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir()
    {
        // mkdtemp without POSIX: a random name that did not exist yet.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            auto candidate = std::filesystem::temp_directory_path() / ("tolvanex-test-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec))
                m_path = candidate;
        }
        if (m_path.empty())
            std::abort();
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string Write(const std::string& name, const std::string& content) const
    {
        const auto p = m_path / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }

private:
    std::filesystem::path m_path;
};

inline std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A test that runs once on each variant of the reader (skipped where the
// processor lacks it), with that variant chosen for its length.
class OnEachVariant : public ::testing::TestWithParam<HexVariant> {
protected:
    void SetUp() override
    {
        if (!HexVariantAvailable(GetParam()))
            GTEST_SKIP() << "this processor cannot run that variant";
        m_before = CurrentHexVariant();
        UseHexVariant(GetParam());
    }
    void TearDown() override { UseHexVariant(m_before); }

private:
    HexVariant m_before = HexVariant::Portable;
};

inline std::string VariantName(const ::testing::TestParamInfo<HexVariant>& info)
{
    return HexVariantName(info.param);
}

// Instantiates the OnEachVariant tests of `suite` for every variant.
#define HEX_TEST_ON_EACH_VARIANT(suite) \
    INSTANTIATE_TEST_SUITE_P(Variants, suite, ::testing::ValuesIn(kAllHexVariants), hextest::VariantName)

}  // namespace hextest

// How gtest shows a path in messages.
inline void PrintTo(HexVariant variant, std::ostream* os)
{
    *os << HexVariantName(variant);
}
