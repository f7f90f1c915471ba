// tolvanex-cli checksum and image, run as a separate process.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <csignal>
#include <chrono>
#include <thread>

#include <sys/stat.h>
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

namespace {

std::string Q(const std::string& s)
{
    return Quote(s);
}

std::string Env(const std::string& scene, const std::string& record = {}, long delayUs = 0)
{
    std::string env = "env TVX_FAKE_HID=" + scene + " TVX_FAKE_DELAY_US=" + std::to_string(delayUs);
    if (!record.empty())
        env += " TVX_FAKE_RECORD=" + Quote(record);
    return env + " ";
}

std::size_t SizeOf(const std::string& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : static_cast<std::size_t>(size);
}

}  // namespace

TEST_F(Cli, FlashRefusesAnImageThatNoRecordWrote)
{
    std::string binary;
    for (int i = 0; i < 1024; ++i)
        binary += static_cast<char>(i * 7);
    const struct {
        const char* name;
        std::string text;
        bool sends;
    } cases[] = {
        {"empty", "", false},
        {"binary", binary, false},
        {"text", "hola\nesto no es un HEX\n", false},
        {"extended address first", ":020000040000FA\n" + Record(0, {1}) + "\n", false},
        {"outside the window", Record(0x4000, {1, 2}) + "\n", false},
        {"one byte, even 0xFF", Record(0x10, {0xFF}) + "\n", true},
    };
    const std::string record = (m_io.Path() / "reports").string();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = m_dir.Write("in.hex", c.text);
        Result r = Run({"checksum", in});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, "C000\n");  // loading is as before

        fs::remove(record);
        r = RunShell(Env("controller", record) + Q(TOLVANEX_FAKE_CLI) + " -v flash " + Q(in));
        if (c.sends) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(SizeOf(record), 2049u);
        } else {
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find("el archivo no contiene datos para el mando"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("Request"), std::string::npos) << "searched: " << r.err;
            EXPECT_EQ(SizeOf(record), 0u);
        }
    }
}

TEST_F(Cli, ReadsOnlyRegularFiles)
{
    const std::string fifo = (m_dir.Path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> refused = {"/dev/zero", "/dev/null", fifo, "/proc/self/status", "/proc/version",
                                        "/sys/kernel/uevent_seqnum", "/proc/kmsg"};
    for (const std::string& path : refused) {
        if (!fs::exists(path))
            continue;
        SCOPED_TRACE(path);
        // Bounded: a read that blocks or never ends shows as 124.
        Result r = RunShell("timeout 20 " + Q(TOLVANEX_CLI) + " checksum " + Q(path) + " </dev/null");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("no se puede abrir «" + path + "»: "), std::string::npos) << r.err;
    }
    // "-" is standard input, a pipe included: the user asked for it.
    const std::string sample = TOLVANEX_SAMPLE_HEX;
    Result r = RunShell("cat " + Q(sample) + " | " + Q(TOLVANEX_CLI) + " checksum -");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, ChecksumText(sample));
}

TEST_F(Cli, TwoUpdatesNeverShareAController)
{
    // The in-memory stack plays a controller that another update holds.
    const std::string in = m_dir.Write("in.hex", Record(0, {1}) + "\n");
    const struct {
        const char* scene;
        int exitCode;
        bool saysBusy;
    } cases[] = {{"busy", 3, true}, {"none", 3, false}, {"controller", 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        Result r = RunShell(Env(c.scene) + Q(TOLVANEX_FAKE_CLI) + " flash " + Q(in) + " </dev/null");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(r.err.find("el mando está en uso por otro proceso") != std::string::npos, c.saysBusy) << r.err;
        EXPECT_EQ(r.out, c.exitCode == 3 ? "Mando no conectado\n" : "Actualización OK!!!!\n");
    }
}

TEST_F(Cli, ImageTreatsEachKindOfOutputAsItIs)
{
    const std::string sample = TOLVANEX_SAMPLE_HEX;
    CFirmwareUpdater u;
    ASSERT_EQ(u.LoadHexFile(sample.c_str()), 1);
    const std::string image(reinterpret_cast<const char*>(u.Image()), kImageSize);
    const fs::path d = m_dir.Path();
    const std::string cli = Q(TOLVANEX_CLI) + " image " + Q(sample) + " -o ";

    struct Case {
        const char* name;
        std::function<std::string()> setUp;  // makes what is there; returns OUT
        std::string line;                    // the run, OUT appended, when not the plain one
        int exitCode;
        std::function<void()> check;
    };
    const Case cases[] = {
        {"device", [] { return std::string("/dev/null"); }, {}, 0,
         [] { EXPECT_TRUE(fs::is_character_file("/dev/null")); }},
        {"full device", [] { return std::string("/dev/full"); }, {}, 2,
         [] { EXPECT_TRUE(fs::is_character_file("/dev/full")); }},
        {"FIFO",
         [&] {
             EXPECT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);
             return (d / "fifo").string();
         },
         "cat " + Q((d / "fifo").string()) + " > " + Q((m_io.Path() / "from-fifo").string()) + " & " + cli, 0,
         [&] {
             EXPECT_EQ(ReadFile(m_io.Path() / "from-fifo"), image);
             EXPECT_TRUE(fs::is_fifo(d / "fifo"));
         }},
        {"symbolic link",
         [&] {
             m_dir.Write("target.bin", "old");
             fs::create_symlink("target.bin", d / "link.bin");
             return (d / "link.bin").string();
         },
         {}, 0,
         [&] {
             EXPECT_TRUE(fs::is_symlink(d / "link.bin"));
             EXPECT_EQ(ReadFile(d / "target.bin"), image);
         }},
        {"dangling symbolic link",
         [&] {
             fs::create_symlink("made.bin", d / "dangling.bin");
             return (d / "dangling.bin").string();
         },
         {}, 0, [&] { EXPECT_EQ(ReadFile(d / "made.bin"), image); }},
        {"hard link, mode and owner",
         [&] {
             m_dir.Write("linked.bin", "old");
             fs::create_hard_link(d / "linked.bin", d / "other-name.bin");
             ::chmod((d / "linked.bin").c_str(), 0640);
             if (::geteuid() == 0 && ::chown((d / "linked.bin").c_str(), 65534, 65534) != 0)
                 ADD_FAILURE() << "chown";
             return (d / "linked.bin").string();
         },
         {}, 0,
         [&] {
             struct stat st {};
             ASSERT_EQ(::stat((d / "linked.bin").c_str(), &st), 0);
             EXPECT_EQ(st.st_mode & 07777, 0640u);
             if (::geteuid() == 0) {
                 EXPECT_EQ(st.st_uid, 65534u);
             }
             EXPECT_EQ(ReadFile(d / "linked.bin"), image);
             EXPECT_EQ(ReadFile(d / "other-name.bin"), "old");  // the price of never half-writing
         }},
        {"the input itself",
         [&] {
             fs::copy_file(sample, d / "src.hex");
             return (d / "src.hex").string();
         },
         Q(TOLVANEX_CLI) + " image " + Q((d / "src.hex").string()) + " -o ", 2,
         [&] { EXPECT_EQ(ReadFile(d / "src.hex"), ReadFile(sample)); }},
        {"the input through a link",
         [&] {
             fs::create_symlink("src.hex", d / "src-link.hex");
             return (d / "src.hex").string();
         },
         Q(TOLVANEX_CLI) + " image " + Q((d / "src-link.hex").string()) + " -o ", 2,
         [&] { EXPECT_EQ(ReadFile(d / "src.hex"), ReadFile(sample)); }},
        {"a name of 250 characters", [&] { return (d / std::string(250, 'n')).string(); }, {}, 0,
         [&] { EXPECT_EQ(ReadFile(d / std::string(250, 'n')), image); }},
        {"standard output", [] { return std::string("-"); }, {}, 0,
         [&] { EXPECT_EQ(ReadFile(m_io.Path() / "stdout"), image); }},
        {"a write error",
         [&] {
             m_dir.Write("big.bin", "old");
             return (d / "big.bin").string();
         },
         "trap '' XFSZ; ulimit -f 8; " + cli, 2, [&] { EXPECT_EQ(ReadFile(d / "big.bin"), "old"); }},
        {"a stop signal before the rename",
         [&] {
             m_dir.Write("stopped.bin", "old");
             return (d / "stopped.bin").string();
         },
         "perl -MPOSIX -e 'sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM)); kill TERM => $$; exec @ARGV' " +
             cli,
         2, [&] { EXPECT_EQ(ReadFile(d / "stopped.bin"), "old"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = c.setUp();
        const auto before = Listing();
        Result r = RunShell((c.line.empty() ? cli : c.line) + Q(out) + " </dev/null; rc=$?; wait; exit $rc");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.exitCode != 0) {
            EXPECT_NE(r.err.find("no se puede escribir «" + out + "»: "), std::string::npos) << r.err;
        }
        c.check();
        // No temporary file is ever left beside OUT.
        for (const std::string& name : Listing())
            EXPECT_TRUE(before.count(name) != 0 || name == "made.bin" || name == std::string(250, 'n')) << name;
    }
}

TEST_F(Cli, OutputErrorsAreFailures)
{
    const std::string sample = TOLVANEX_SAMPLE_HEX;
    const std::string cli = Q(TOLVANEX_CLI);
    const std::string lines[] = {
        cli + " checksum " + Q(sample) + " >/dev/full",
        cli + " checksum " + Q(sample) + " >&-",
        cli + " --version >/dev/full",
        cli + " --help >&-",
        cli + " checksum --help >/dev/full",
        cli + " image " + Q(sample) + " -o - >/dev/full",
        cli + " image " + Q(sample) + " -o - >&-",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        Result r = RunShell(line + " </dev/null");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("no se puede escribir la salida estándar: "), std::string::npos) << r.err;
    }
}

TEST_F(Cli, FlashHoldsTheFirstStopRequest)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n");
    const std::string record = (m_io.Path() / "reports").string();
    const struct {
        std::vector<int> signals;
        bool whole;  // every report went out
    } cases[] = {
        {{SIGINT}, true},
        {{SIGTERM}, true},
        {{SIGINT, SIGINT}, false},
        {{SIGTERM, SIGTERM}, false},
        {{SIGHUP, SIGHUP}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.signals.size() << " x " << strsignal(c.signals[0]));
        fs::remove(record);
        const std::string err = (m_io.Path() / "stderr").string();
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // A process group of its own, as a terminal's job, so signals reach nobody else.
            ::setpgid(0, 0);
            ::setenv("TVX_FAKE_HID", "controller", 1);
            ::setenv("TVX_FAKE_DELAY_US", "1000", 1);
            ::setenv("TVX_FAKE_RECORD", record.c_str(), 1);
            std::freopen("/dev/null", "r", stdin);
            std::freopen("/dev/null", "w", stdout);
            std::freopen(err.c_str(), "w", stderr);
            ::execl(TOLVANEX_FAKE_CLI, TOLVANEX_FAKE_CLI, "flash", in.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int waited = 0; waited < 20000 && SizeOf(record) < 100; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (int sig : c.signals) {
            ::kill(pid, sig);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(128 + WTERMSIG(status), 128 + c.signals[0]);
        EXPECT_NE(ReadFile(err).find("envío en curso: repita para abortar; el mando puede quedar inutilizable"),
                  std::string::npos);
        if (c.whole) {
            EXPECT_EQ(SizeOf(record), 2049u);
        } else {
            EXPECT_LT(SizeOf(record), 2049u);
        }
    }
}

TEST_F(Cli, DiagnosticsOnlyWhenAskedFor)
{
    // The real HID stack, which holds no controller here: the search ends at the end of the list.
    const std::string sample = TOLVANEX_SAMPLE_HEX;
    const struct {
        std::vector<std::string> args;
        bool shown;
    } cases[] = {
        {{"flash", sample}, false},
        {{"-v", "flash", sample}, true},
        {{"flash", "--verbose", sample}, true},
        {{"flash", sample, "-v"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size());
        Result r = Run(c.args);
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_EQ(r.out, "Mando no conectado\n");
        if (c.shown) {
            EXPECT_NE(r.err.find("Request interface data error\n"), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
}

TEST_F(Cli, ArgumentsEndOptionsNameValuesAndShowHelp)
{
    const std::string sample = TOLVANEX_SAMPLE_HEX;
    fs::copy_file(sample, m_dir.Path() / "-guion.hex");
    const std::string sum = ChecksumText(sample);
    const std::string cd = "cd " + Q(m_dir.Path().string()) + " && " + Q(TOLVANEX_CLI) + " ";
    const struct {
        std::string line;
        int exitCode;
        std::string out;  // a part of stdout
        std::string err;  // a part of stderr
    } cases[] = {
        {"checksum -- -guion.hex", 0, sum, ""},
        {"checksum -guion.hex", 1, "", "opción desconocida: -g"},
        {"image otro.hex -o", 1, "", "a la opción -o le falta su valor (SALIDA)"},
        {"image otro.hex --output", 1, "", "a la opción --output le falta su valor (SALIDA)"},
        {"image -o a.bin -- -guion.hex", 0, "", ""},
        {"image --output=b.bin -- -guion.hex", 0, "", ""},
        {"image -oc.bin -- -guion.hex", 0, "", ""},
        {"--verbose=1 checksum x", 1, "", "la opción --verbose no lleva valor"},
        {"checksum --help", 0, "uso: tolvanex-cli checksum [OPCIONES] ARCHIVO", ""},
        {"image -h", 0, "uso: tolvanex-cli image [OPCIONES] ARCHIVO -o SALIDA", ""},
        {"flash --help", 0, "uso: tolvanex-cli flash", ""},
        {"flash -x", 1, "", "uso: tolvanex-cli flash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Result r = RunShell(cd + c.line + " </dev/null");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        if (c.exitCode == 0) {
            EXPECT_EQ(r.err, "");
        }
    }
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        EXPECT_EQ(ReadFile(m_dir.Path() / name).size(), kImageSize) << name;
}

namespace {

// Each line of `text`, with its line end.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// A shell test that `file` holds one JSON document per line (python3 reads each).
std::string JsonPerLine(const std::string& file)
{
    return "python3 -c 'import json,sys\nfor l in open(sys.argv[1]): json.loads(l)' " + Quote(file);
}

}  // namespace

TEST_F(Cli, CheckTellsWarningsWithLineNumbers)
{
    const std::string clean = Record(0, {1, 2}) + "\n" + kEof + "\n";
    const struct {
        const char* name;
        std::string text;
        int exitCode;
        std::vector<std::string> out;  // parts of stdout, in order
    } cases[] = {
        {"clean", clean, 0,
         {"cobertura de 0x0000-0x3FFF", "  0x0000 +...............\n", "checksum: BE05\n", "sin avisos\n"}},
        {"a wrong checksum and an overlap", Record(0, {1, 2}) + "\n:01000100AA00\n", 5,
         {"in.hex:2: aviso: suma del registro incorrecta: pone 00 y debería ser 54\n",
          "in.hex:2: aviso: 1 byte desde 0x0001 ya lo escribió la línea 1; vale el de esta\n", "2 avisos\n"}},
        {"extended address first", ":020000040000FA\n" + clean, 5,
         {"in.hex:2: aviso: 1 registro viene después del registro de tipo 04 (dirección lineal extendida) de la "
          "línea 1, que termina la lectura: el cargador no lo lee\n",
          "in.hex: aviso: ningún registro guarda un byte en 0x0000-0x3FFF", "checksum: C000\n"}},
        {"many of one kind",
         [] {
             std::string t;
             for (int i = 0; i < 150; ++i)
                 t += Record(0x20, {7}) + "\n";
             return t;
         }(),
         5, {"in.hex:101: aviso: 1 byte desde 0x0020 ya lo escribió la línea 100",
             "in.hex: aviso: 49 registros que escriben sobre otros más (solo se muestran los 100 primeros)\n",
             "149 avisos\n"}},
        {"a whole cell and the last byte",
         [] {
             std::string t;
             for (unsigned a = 0x100; a < 0x200; a += 32)
                 t += Record(a, std::vector<std::uint8_t>(32, 0)) + "\n";
             return t + Record(0x3FFF, {0x10}) + "\n";
         }(),
         0, {"  0x0000 .#..............\n", "  0x3000 ...............+\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = m_dir.Write("in.hex", c.text);
        Result r = RunShell("cd " + Q(m_dir.Path().string()) + " && " + Q(TOLVANEX_CLI) + " check in.hex");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        EXPECT_EQ(r.err, "");
        std::size_t at = 0;
        for (const std::string& part : c.out) {
            at = r.out.find(part, at);
            EXPECT_NE(at, std::string::npos) << part << "\n--- in:\n" << r.out;
        }
        // The same from standard input, named as such.
        r = RunShell(Q(TOLVANEX_CLI) + " check - < " + Q(in));
        EXPECT_EQ(r.exitCode, c.exitCode);
        if (c.exitCode != 0) {
            EXPECT_NE(r.out.find("(entrada estándar):"), std::string::npos) << r.out;
        }
    }
    Result r = Run({"check", (m_dir.Path() / "no-existe.hex").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
}

TEST_F(Cli, ListTellsEveryInterfaceAndWhyItDoesNotOpen)
{
    const struct {
        const char* scene;
        std::vector<std::string> text;  // parts of the text, in order
        std::string json;               // python3 condition on the document d
    } cases[] = {
        {"none", {"  ninguna\n", "Ninguna sirve: una actualización diría «Mando no conectado».\n"},
         "d[\"interfaces\"] == [] and d[\"chosen\"] is None and d[\"hint\"] is None"},
        {"controller",
         {"[0] /dev/fake-controller\n    0E8F:310D  «Tolvanex SWITCH Controller»  informe de salida: 9 bytes\n"
          "    se abre; es el que tomaría una actualización\n",
          "Una actualización tomaría [0] /dev/fake-controller.\n"},
         "d[\"chosen\"] == 0 and d[\"interfaces\"][0][\"output_report_length\"] == 9 and d[\"interfaces\"][0][\"opens\"]"},
        {"busy", {"ocupado: lo tiene otra actualización u otro programa\n", "Ninguna sirve"},
         "d[\"interfaces\"][0][\"problem\"] == \"busy\" and not d[\"interfaces\"][0][\"opens\"]"},
        {"denied",
         {"no se abre: sin permiso\n", "Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.\n",
          "res/linux/70-tolvanex.rules", "sudo udevadm control --reload"},
         "d[\"permission_problem\"] and \"70-tolvanex.rules\" in d[\"hint\"] and d[\"interfaces\"][0][\"vendor_id\"] == \"0E8F\""},
        {"crowd",
         {"[0] /dev/fake-keyboard\n    046D:C31C  «Teclado»  informe de salida: 0 bytes\n"
          "    no se abre: es un teclado o un ratón, que el sistema reserva para sí\n",
          "[1] /dev/fake-mouse\n    046D:C31C  informe de salida: 0 bytes\n    se abre, pero es un teclado",
          "[2] /dev/fake-gone\n    ????:????  informe de salida: ?\n    no se abre: ya no está",
          "[3] /dev/fake-denied\n", "    no se abre: sin permiso\n", "[4] /dev/fake-busy\n", "    ocupado",
          "[5] /dev/fake-controller\n", "se abre; es el que tomaría una actualización\n",
          "[6] /dev/fake-second\n    0E8F:310D  informe de salida: 9 bytes\n    se abre\n",
          "Una actualización tomaría [5] /dev/fake-controller.\n", "Hay un mando 0E8F:310D"},
         "[i[\"problem\"] for i in d[\"interfaces\"]] == [\"system\", None, \"gone\", \"permission\", \"busy\", None, None] "
         "and d[\"chosen\"] == 5 and d[\"interfaces\"][1][\"system_owned\"] and d[\"interfaces\"][1][\"product\"] is None"},
    };
    const std::string json = (m_io.Path() / "list.json").string();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        Result r = RunShell(Env(c.scene) + Q(TOLVANEX_FAKE_CLI) + " list");
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        std::size_t at = 0;
        for (const std::string& part : c.text) {
            at = r.out.find(part, at);
            EXPECT_NE(at, std::string::npos) << part << "\n--- in:\n" << r.out;
        }
        r = RunShell(Env(c.scene) + Q(TOLVANEX_FAKE_CLI) + " list --json > " + Q(json));
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(Lines(ReadFile(json)).size(), 1u);
        r = RunShell("python3 -c 'import json,sys\nd = json.load(open(sys.argv[1]))\nassert " + c.json + "' " +
                     Q(json));
        EXPECT_EQ(r.exitCode, 0) << r.err << ReadFile(json);
    }
}

TEST_F(Cli, FlashForScriptsAndForPeopleWhoWait)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n");
    const std::string warned = m_dir.Write("warned.hex", Record(0, {1, 2, 3}) + "\n" + Record(1, {9}) + "\n");
    const std::string record = (m_io.Path() / "reports").string();
    const std::string fake = Q(TOLVANEX_FAKE_CLI) + " flash ";
    const std::string overlap = "warned.hex:2: aviso: 1 byte desde 0x0001 ya lo escribió la línea 1";
    const struct {
        const char* name;
        std::string line;
        int exitCode;
        std::string out;  // all of stdout; "json" for JSON lines, checked below
        std::string err;  // a part of stderr; "" for none at all
        bool sends;
    } cases[] = {
        {"plain", Env("controller", record) + fake + Q(in), 0, "Actualización OK!!!!\n", "", true},
        {"quiet", Env("controller", record) + fake + "-q " + Q(in), 0, "", "", true},
        {"quiet, no controller", Env("none", record) + fake + "--quiet " + Q(in), 3, "", "Mando no conectado\n", false},
        {"quiet, the transfer fails", Env("fails") + fake + "-q " + Q(in), 4, "", "Error sucedido!\n", false},
        {"warnings go on", Env("controller", record) + fake + Q(warned), 0, "Actualización OK!!!!\n", overlap, true},
        {"quiet hides warnings", Env("controller", record) + fake + "-q " + Q(warned), 0, "", "", true},
        {"strict refuses", Env("controller", record) + fake + "--strict " + Q(warned), 5, "",
         "«" + warned + "»: 1 aviso y --strict: no se envía nada", false},
        {"strict, clean", Env("controller", record) + fake + "--strict " + Q(in), 0, "Actualización OK!!!!\n", "", true},
        {"json", Env("controller", record, 200) + fake + "--progress=json " + Q(in), 0, "json", "", true},
        {"json, no controller", Env("none", record) + fake + "--progress json " + Q(in), 3, "json", "", false},
        {"json, busy", Env("busy", record) + fake + "--progress=json " + Q(in), 3, "json",
         "el mando está en uso por otro proceso", false},
        {"json, no data", Env("controller", record) + fake + "--progress=json " + Q(m_dir.Write("e.hex", "")), 2,
         "json", "el archivo no contiene datos para el mando", false},
        {"permission", Env("denied", record) + fake + Q(in), 3, "Mando no conectado\n",
         "Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.\nLa regla de udev "
         "res/linux/70-tolvanex.rules",
         false},
        {"wait", Env("controller", record) + "TVX_FAKE_APPEAR_MS=1000 " + fake + "--wait " + Q(in), 0,
         "Actualización OK!!!!\n", "tolvanex-cli: esperando al mando (Ctrl+C para dejarlo)...\n", true},
        {"wait, bounded", Env("controller", record) + "TVX_FAKE_APPEAR_MS=600 " + fake + "--wait=20 " + Q(in), 0,
         "Actualización OK!!!!\n", "esperando al mando hasta 20 s", true},
        {"wait, too short", Env("controller", record) + "TVX_FAKE_APPEAR_MS=5000 " + fake + "--wait=1 " + Q(in), 3,
         "Mando no conectado\n", "esperando al mando hasta 1 s", false},
        {"no wait", Env("controller", record) + "TVX_FAKE_APPEAR_MS=300 " + fake + Q(in), 3, "Mando no conectado\n",
         "", false},
        {"json and quiet", fake + "--progress=json -q " + Q(in), 1, "", "--quiet y --progress=json no van juntas",
         false},
        {"not json", fake + "--progress=xml " + Q(in), 1, "", "--progress solo admite «json»", false},
        {"wait for what", fake + "--wait=pronto " + Q(in), 1, "", "--wait=SEGUNDOS espera un número entero", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(record);
        Result r = RunShell(c.line + " </dev/null");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(SizeOf(record), c.sends ? 2049u : 0u);
        if (c.err.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        }
        if (c.out != "json") {
            EXPECT_EQ(r.out, c.out);
            continue;
        }
        // One object per line: found, then the progress rising to 10000, then the result.
        const std::string out = (m_io.Path() / "stdout").string();
        EXPECT_EQ(RunShell(JsonPerLine(out)).exitCode, 0) << r.out;
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_FALSE(lines.empty());
        const std::string result = c.exitCode == 0   ? "{\"event\":\"result\",\"ok\":true,\"message\":\"Actualización OK!!!!\"}\n"
                                   : c.exitCode == 3 ? "{\"event\":\"result\",\"ok\":false,\"message\":\"Mando no conectado\"}\n"
                                                     : "";
        if (!result.empty()) {
            EXPECT_EQ(lines.back(), result);
        } else {
            EXPECT_NE(lines.back().find("\"ok\":false,\"message\":\"«"), std::string::npos) << lines.back();
        }
        if (c.exitCode != 0)
            continue;
        EXPECT_EQ(lines.front(), "{\"event\":\"found\",\"path\":\"/dev/fake-controller\",\"output_report_length\":9}\n");
        int last = -1;
        for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
            int value = -1;
            ASSERT_EQ(std::sscanf(lines[i].c_str(), "{\"event\":\"progress\",\"value\":%d,\"of\":10000}", &value), 1)
                << lines[i];
            EXPECT_GT(value, last);
            last = value;
        }
        EXPECT_EQ(last, 10000);
        EXPECT_GT(lines.size(), 10u) << "a transfer of 0.4 s shows its progress";
    }

    // A reader that goes away early cuts no transfer short: the broken pipe
    // ends the program only afterwards, as it ends any other.
    fs::remove(record);
    const std::string rc = (m_io.Path() / "rc").string();
    RunShell("{ " + Env("controller", record, 200) + fake + "--progress=json " + Q(in) + "; echo $? > " + Q(rc) +
             "; } | head -n 1");
    EXPECT_EQ(SizeOf(record), 2049u);
    EXPECT_EQ(ReadFile(rc), std::to_string(128 + SIGPIPE) + "\n");
}

TEST_F(Cli, CtrlCEndsTheWaitAtOnce)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1}) + "\n");
    const std::string err = (m_io.Path() / "stderr").string();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setpgid(0, 0);
        ::setenv("TVX_FAKE_HID", "none", 1);
        std::freopen("/dev/null", "r", stdin);
        std::freopen("/dev/null", "w", stdout);
        std::freopen(err.c_str(), "w", stderr);
        ::execl(TOLVANEX_FAKE_CLI, TOLVANEX_FAKE_CLI, "flash", "--wait", in.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int waited = 0; waited < 20000 && ReadFile(err).find("esperando") == std::string::npos; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_EQ(ReadFile(err).find("envío en curso"), std::string::npos) << "nothing is held during a wait";
    EXPECT_LT(took, std::chrono::seconds(2));  // no poll period, however slow the machine, comes near
}
