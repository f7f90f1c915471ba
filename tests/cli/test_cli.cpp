// tolvanex-cli checksum and image, run as a separate process.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "firmware/FirmwareUpdater.h"
#include "HexTestSupport.h"

using namespace hextest;
namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class Cli : public ::testing::Test {
protected:
    // Runs the tool with `args`.
    Result Run(const std::vector<std::string>& args)
    {
        std::vector<std::string> command = {TOLVANEX_CLI};
        command.insert(command.end(), args.begin(), args.end());
        return RunCommand(command);
    }

    Result RunCommand(const std::vector<std::string>& command)
    {
        std::string cmd;
        for (const auto& a : command)
            cmd += (cmd.empty() ? "" : " ") + Quote(a);
        const fs::path out = m_io.Path() / "stdout";
        const fs::path err = m_io.Path() / "stderr";
        cmd += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
        const int status = std::system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
    }

    std::set<std::string> Listing() const
    {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir.Path()))
            names.insert(e.path().filename().string());
        return names;
    }

    ScratchDir m_dir;  // the files under test
    ScratchDir m_io;   // the captured output, apart so that listings stay clean
};

std::string ChecksumText(const std::string& path)
{
    CFirmwareUpdater u;
    if (u.LoadHexFile(path.c_str()) != 1)
        return "?";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.4X\n", static_cast<unsigned>(u.ComputeChecksum()));
    return buf;
}

}  // namespace

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

TEST_F(Cli, ImageWritesTheWholeImage)
{
    const std::string in = m_dir.Write("in.hex", Record(0x10, {1, 2, 3}) + "\n" + Record(0x3FFF, {9, 9}) + "\n");
    const std::string out = (m_dir.Path() / "out.bin").string();
    for (int round = 0; round < 2; ++round) {  // creates, then replaces
        Result r = Run({"image", in, "-o", out});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "");
        CFirmwareUpdater u;
        ASSERT_EQ(u.LoadHexFile(in.c_str()), 1);
        EXPECT_EQ(ReadFile(out), std::string(reinterpret_cast<const char*>(u.Image()), kImageSize));
        EXPECT_EQ(Listing(), (std::set<std::string>{"in.hex", "out.bin"}));
    }
    // "-o" may come first.
    const std::string sample = TOLVANEX_SAMPLE_HEX;
    EXPECT_EQ(Run({"image", "-o", out, sample}).exitCode, 0);
    CFirmwareUpdater u;
    ASSERT_EQ(u.LoadHexFile(sample.c_str()), 1);
    EXPECT_EQ(ReadFile(out), std::string(reinterpret_cast<const char*>(u.Image()), kImageSize));
}

TEST_F(Cli, UnreadableInput)
{
    const std::string missing = (m_dir.Path() / "no-existe.hex").string();
    const std::string folder = (m_dir.Path() / "carpeta").string();
    fs::create_directory(folder);
    std::vector<std::string> bad = {missing, folder};
#ifdef __linux__
    bad.push_back("/proc/self/mem");  // opens, then fails to read
#endif
    const std::string out = m_dir.Write("out.bin", "old contents");
    const auto before = Listing();
    for (const std::string& path : bad) {
        SCOPED_TRACE(path);
        Result r = Run({"checksum", path});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;

        r = Run({"image", path, "-o", out});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(out), "old contents");
        EXPECT_EQ(Listing(), before);
    }
}

TEST_F(Cli, NoPermission)
{
    // Root reads files whatever their mode, so run the tool as nobody then.
    std::vector<std::string> prefix;
    if (::geteuid() == 0) {
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        std::vector<std::string> probe = prefix;
        probe.insert(probe.end(), {TOLVANEX_CLI, "--version"});
        if (RunCommand(probe).exitCode != 0)
            GTEST_SKIP() << "cannot run the tool as an unprivileged user here";
    }
    fs::permissions(m_dir.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const std::string locked = m_dir.Write("locked.hex", Record(0, {1}) + "\n");
    fs::permissions(locked, fs::perms::none);
    std::vector<std::string> args = prefix;
    args.insert(args.end(), {TOLVANEX_CLI, "checksum", locked});
    Result r = RunCommand(args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(locked), std::string::npos) << r.err;
}

TEST_F(Cli, UnwritableOutput)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1}) + "\n");
    const std::string out = (m_dir.Path() / "falta" / "out.bin").string();
    Result r = Run({"image", in, "-o", out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(out), std::string::npos) << r.err;
    EXPECT_EQ(Listing(), (std::set<std::string>{"in.hex"}));
}

TEST_F(Cli, UsageErrors)
{
    const std::string in = m_dir.Write("in.hex", "");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"nada"},
        {"checksum"},
        {"checksum", in, in},
        {"checksum", "--rapido", in},
        {"image", in},
        {"image", in, "-o"},
        {"image", "-o", (m_dir.Path() / "x.bin").string()},
        {"image", in, "-o", "a.bin", "-o", "b.bin"},
        {"image", in, in, "-o", (m_dir.Path() / "x.bin").string()},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.empty() ? "(none)" : args[0] + " ... " + std::to_string(args.size()));
        Result r = Run(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("uso:"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Listing(), (std::set<std::string>{"in.hex"}));
}

TEST_F(Cli, HelpAndVersion)
{
    for (const char* flag : {"--help", "-h"}) {
        Result r = Run({flag});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.out.find("checksum"), std::string::npos);
        EXPECT_NE(r.out.find("image"), std::string::npos);
        EXPECT_EQ(r.err, "");
    }
    Result r = Run({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("tolvanex-cli"), std::string::npos);
    EXPECT_EQ(r.err, "");
}
