// tolvanex-cli checksum.

#include "CliTest.h"

using namespace clitest;

TEST_F(Cli, ChecksumPrintsFourUpperCaseDigits)
{
    const std::string sample = TOLVANEX_SAMPLE_HEX;
    Result r = Run({"checksum", sample});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, ChecksumText(sample));
    EXPECT_EQ(r.err, "");

    const std::pair<std::string, std::string> cases[] = {
        {"", "C000\n"},
        {Record(0, {0}) + "\n", "BF01\n"},
        {Record(0, {1, 2, 3, 4}) + "\r\n", "BC0E\n"},
        {Record(0, {0xFF - 0x0A}, 0, true) + "\n", "BFF6\n"},
    };
    for (const auto& [text, want] : cases) {
        r = Run({"checksum", m_dir.Write("in.hex", text)});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, want);
    }
    // Leading zeros are kept.
    std::string zeros;
    for (unsigned a = 0; a < kImageSize; a += 64)
        zeros += Record(a, std::vector<std::uint8_t>(64, 0)) + "\n";
    EXPECT_EQ(Run({"checksum", m_dir.Write("in.hex", zeros + Record(0, {0x0A}) + "\n")}).out, "000A\n");
}
