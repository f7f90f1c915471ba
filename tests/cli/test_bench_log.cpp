// The bench's log on a disk that fills up and frees again within one run:
// the line cut short is not glued to the next one.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "HexTestSupport.h"
#include "cli/BenchLog.h"
#include "cli/Output.h"

namespace {

using hextest::ReadFile;
using hextest::ScratchDir;

TEST(BenchLog, ALineCutShortIsNotGluedToTheNext)
{
    ScratchDir dir;
    // Lines up to 50 bytes short of 4096; the file size limit plays the full disk.
    std::string before;
    for (int i = 0; i < 2023; ++i)
        before += "x\n";
    const std::string path = dir.Write("bench.log", before);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t hard = limit.rlim_max;
        limit.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        cli::COutput out;
        cli::CBenchLog log(out);
        std::string why;
        cli::FleetOutcome outcome;
        outcome.entry.path = "/dev/hidraw7";
        outcome.transfer.ok = true;
        if (!log.Open(path, &why))
            ::_exit(2);
        log.Record(outcome);  // cut short
        const bool lost = log.Lost();
        limit.rlim_cur = hard;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        log.Record(outcome);  // whole
        log.Record(outcome);
        ::_exit(lost ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the line cut short is counted as lost";
    const std::string text = ReadFile(path);
    ASSERT_EQ(text.substr(0, before.size()), before);
    const std::string after = text.substr(before.size());
    const std::size_t first = after.find('\n');
    ASSERT_NE(first, std::string::npos) << after;
    EXPECT_EQ(first, 50u) << "the cut line ends where the disk filled: " << after;
    // Two whole lines after it, each in one piece.
    const std::string rest = after.substr(first + 1);
    const std::size_t second = rest.find('\n');
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(rest.substr(0, second + 1), rest.substr(second + 1)) << rest;
    EXPECT_TRUE(rest.starts_with("{\"time\":")) << rest;
    EXPECT_TRUE(after.starts_with(rest.substr(0, 50))) << "the cut line is the start of one";
}

}  // namespace
