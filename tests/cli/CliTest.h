#pragma once
// What the tests of tolvanex-cli share: the tool run as a separate process,
// its output captured, and a scratch folder for the files under test.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "HexTestSupport.h"
#include "firmware/Catalogue.h"
#include "firmware/FirmwareUpdater.h"
#include "tests/support/Stall.h"

namespace clitest {

using namespace hextest;
namespace fs = std::filesystem;

struct Result {
    int exitCode;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& s)
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
        return RunShell(cmd + " </dev/null");
    }

    // A shell line, its output captured unless the line sends it elsewhere first.
    Result RunShell(const std::string& line)
    {
        const fs::path out = m_io.Path() / "stdout";
        const fs::path err = m_io.Path() / "stderr";
        const std::string cmd =
            "exec >" + Quote(out.string()) + " 2>" + Quote(err.string()) + "; " + line;
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

// The SHA-256 of `bytes`, as a catalogue writes it.
inline std::string Sha256Of(const std::string& bytes)
{
    Sha256Digest digest{};
    int error = 0;
    EXPECT_TRUE(SysSha256(bytes.data(), bytes.size(), &digest, &error));
    return Sha256Text(digest);
}

// One release of a catalogue.
inline std::string Entry(const std::string& version, const std::string& file, const std::string& sha)
{
    return R"({"version":")" + version + R"(","date":"2026-11-30","file":")" + file + R"(","sha256":")" + sha +
           R"(","notes":"Notas"})";
}

inline std::string ChecksumText(const std::string& path)
{
    CFirmwareUpdater u;
    if (u.LoadHexFile(path.c_str()) != 1)
        return "?";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.4X\n", static_cast<unsigned>(u.ComputeChecksum()));
    return buf;
}

// For the scenes of the in-memory HID stack (tests/cli/fake_cli.cpp).
inline std::string Q(const std::string& s)
{
    return Quote(s);
}

inline std::string Env(const std::string& scene, const std::string& record = {}, long delayUs = 0)
{
    std::string env = "env TVX_FAKE_HID=" + scene + " TVX_FAKE_DELAY_US=" + std::to_string(delayUs);
    if (!record.empty())
        env += " TVX_FAKE_RECORD=" + Quote(record);
    return env + " ";
}

inline std::size_t SizeOf(const std::string& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : static_cast<std::size_t>(size);
}

// The in-memory tool started as a terminal's job: a process group of its own,
// so that the signals a test sends reach nobody else. `env` holds NAME=value;
// `launcher` (nohup, a shell...) starts the tool, given it and `args` last.
inline pid_t StartFakeJob(const std::vector<std::string>& env, const std::vector<std::string>& args,
                          const std::string& out, const std::string& err,
                          const std::vector<std::string>& launcher = {})
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        for (const std::string& e : env) {
            const std::size_t eq = e.find('=');
            ::setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        std::freopen("/dev/null", "r", stdin);
        std::freopen(out.c_str(), "w", stdout);
        std::freopen(err.c_str(), "w", stderr);
        std::vector<char*> argv;
        for (const std::string& a : launcher)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(const_cast<char*>(TOLVANEX_FAKE_CLI));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

inline void Nap()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// How many times `text` occurs in the file at `path`.
inline std::size_t CountIn(const std::string& path, const std::string& text)
{
    const std::string all = ReadFile(path);
    std::size_t n = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
        ++n;
    return n;
}

// The job's wait status, once it ends; -1, the job killed and the test
// failed, if its `record` and `err` stop growing first.
inline int WaitJob(pid_t pid, const std::string& record, const std::string& err)
{
    int status = 0;
    pid_t got = 0;
    if (!stall::Until(
            "the job to end", [&] { return (got = ::waitpid(pid, &status, WNOHANG)) != 0; },
            [&] { return SizeOf(record) + SizeOf(err); }, Nap)) {
        ADD_FAILURE() << "the job stalled";
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return got == pid ? status : -1;
}

// `signals` sent to the job once `record` holds 100 reports, each after the
// job has answered the one before ("... en curso ..." on `err`: two at once
// would be one); its wait status.
inline int StopUnderWay(pid_t pid, const std::string& record, const std::string& err, const std::vector<int>& signals)
{
    const auto moving = [&] { return SizeOf(record) + SizeOf(err); };
    EXPECT_TRUE(stall::Until("100 reports", [&] { return SizeOf(record) >= 100; }, moving, Nap));
    for (std::size_t i = 0; i < signals.size(); ++i) {
        if (i > 0) {
            EXPECT_TRUE(stall::Until(
                "the job to answer a stop request", [&] { return CountIn(err, "en curso") >= i; }, moving, Nap));
        }
        ::kill(pid, signals[i]);
    }
    return WaitJob(pid, record, err);
}

// Each line of `text`, with its line end.
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// The stream of reports that a controller receives for `hex`, one line of hex digits each.
inline std::string Stream(const std::string& hex)
{
    CFirmwareUpdater u;
    EXPECT_EQ(u.LoadHexFile(hex.c_str()), 1);
    std::string text = "00444f574e4c4f4144\n";
    char byte[3];
    for (int report = 0; report < 2048; ++report) {
        text += "00";
        for (int i = 0; i < 8; ++i) {
            std::snprintf(byte, sizeof byte, "%02x", u.Image()[report * 8 + i]);
            text += byte;
        }
        text += "\n";
    }
    return text;
}

// A shell test that `file` holds one JSON document per line (python3 reads each).
inline std::string JsonPerLine(const std::string& file)
{
    return "python3 -c 'import json,sys\nfor l in open(sys.argv[1]): json.loads(l)' " + Quote(file);
}

}  // namespace clitest
