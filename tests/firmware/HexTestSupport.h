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
#include "firmware/HexPath.h"

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

// Hands out the bytes of a string, at most `chunk` per Read; after `failAfter`
// bytes have been handed out, the next Read throws like a failing disk.
class MemorySource : public CByteSource {
public:
    explicit MemorySource(std::string data, std::size_t chunk = SIZE_MAX, std::size_t failAfter = SIZE_MAX)
        : m_data(std::move(data)), m_chunk(chunk), m_failAfter(failAfter)
    {
    }
    std::size_t Read(void* buffer, std::size_t size) override
    {
        if (m_pos >= m_failAfter)
            throw CFileException("disco/roto.hex", EIO);
        std::size_t n = std::min({size, m_chunk, m_data.size() - m_pos, m_failAfter - m_pos});
        std::copy_n(m_data.data() + m_pos, n, static_cast<char*>(buffer));
        m_pos += n;
        ++m_reads;
        return n;
    }
    std::size_t Position() const { return m_pos; }

private:
    std::string m_data;
    std::size_t m_chunk;
    std::size_t m_failAfter;
    std::size_t m_pos = 0;
    std::size_t m_reads = 0;
};

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

// A test that runs once on each path of the reader (skipped where the
// processor lacks it), with that path chosen for its length.
class OnEachPath : public ::testing::TestWithParam<HexPath> {
protected:
    void SetUp() override
    {
        if (!HexPathAvailable(GetParam()))
            GTEST_SKIP() << "this processor cannot run that path";
        m_before = CurrentHexPath();
        UseHexPath(GetParam());
    }
    void TearDown() override { UseHexPath(m_before); }

private:
    HexPath m_before = HexPath::Portable;
};

inline std::string PathName(const ::testing::TestParamInfo<HexPath>& info)
{
    return HexPathName(info.param);
}

// Instantiates the OnEachPath tests of `suite` for every path.
#define HEX_TEST_ON_EACH_PATH(suite) \
    INSTANTIATE_TEST_SUITE_P(Paths, suite, ::testing::ValuesIn(kAllHexPaths), hextest::PathName)

}  // namespace hextest

// How gtest shows a path in messages.
inline void PrintTo(HexPath path, std::ostream* os)
{
    *os << HexPathName(path);
}
