// SHA-256 of the system's backend against the published test vectors.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sys/Sha256.h"

namespace {

std::string Hex(const Sha256Digest& digest)
{
    std::string text;
    for (std::uint8_t b : digest) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        text += two;
    }
    return text;
}

}  // namespace

TEST(Sha256, GivesThePublishedDigests)
{
    const struct {
        const char* name;
        std::string data;
        const char* digest;
    } cases[] = {
        {"nothing", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"448 bits, two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"a million a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"bytes 0 to 255",
         [] {
             std::string all;
             for (int i = 0; i < 256; ++i)
                 all += static_cast<char>(i);
             return all;
         }(),
         "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sha256Digest digest{};
        int error = 0;
        ASSERT_TRUE(SysSha256(c.data.data(), c.data.size(), &digest, &error)) << SysErrorText(error);
        EXPECT_EQ(Hex(digest), c.digest);
    }
}
