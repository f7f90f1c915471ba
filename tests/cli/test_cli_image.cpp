// tolvanex-cli image: every kind of output, written as it is.

#include "CliTest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>

using namespace clitest;

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
        std::string errHas = {};  // beside the usual start of the complaint
    };
    // Root may write anything: what the user may not write is tried as nobody.
    const bool root = ::geteuid() == 0;
    const std::string asUser = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
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
        // Past the limit the write fails, as if ignored: the signal would leave the temporary file.
        {"a write past the size limit",
         [&] {
             m_dir.Write("limited.bin", "old");
             return (d / "limited.bin").string();
         },
         "ulimit -f 8; " + cli, 2, [&] { EXPECT_EQ(ReadFile(d / "limited.bin"), "old"); }, "ulimit -f"},
        {"a file of the kernel's", [] { return std::string("/proc/version"); }, {}, 2, [] {},
         "es un archivo del sistema (/proc, /sys), donde no se escribe"},
        {"a folder of the kernel's", [] { return std::string("/proc/tolvanex.bin"); }, {}, 2, [] {},
         "es un archivo del sistema (/proc, /sys), donde no se escribe"},
        {"a stop signal before the rename",
         [&] {
             m_dir.Write("stopped.bin", "old");
             return (d / "stopped.bin").string();
         },
         "perl -MPOSIX -e 'sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM)); kill TERM => $$; exec @ARGV' " +
             cli,
         2, [&] { EXPECT_EQ(ReadFile(d / "stopped.bin"), "old"); }},
        {"a file the user may not write",
         [&] {
             fs::permissions(d, fs::perms::all);
             m_dir.Write("theirs.bin", "old");
             fs::permissions(d / "theirs.bin", root ? fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                                           fs::perms::others_read
                                                     : fs::perms::owner_read);
             return (d / "theirs.bin").string();
         },
         asUser + cli, 2, [&] { EXPECT_EQ(ReadFile(d / "theirs.bin"), "old"); }},
        {"a folder the user may not write",
         [&] {
             fs::create_directory(d / "closed");
             m_dir.Write("closed/open.bin", "old");
             fs::permissions(d / "closed/open.bin", fs::perms::all);
             fs::permissions(d / "closed", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                               fs::perms::others_exec);
             return (d / "closed/open.bin").string();
         },
         asUser + cli, 2,
         [&] {
             EXPECT_EQ(ReadFile(d / "closed/open.bin"), "old");
             fs::permissions(d / "closed", fs::perms::all);
         },
         "carpeta «" + (d / "closed").string() + "»"},
        {"standard input that is OUT",
         [&] {
             fs::copy_file(sample, d / "piped.hex");
             return (d / "piped.hex").string();
         },
         "f() { " + Q(TOLVANEX_CLI) + " image - -o \"$1\" < \"$1\"; }; f ", 2,
         [&] { EXPECT_EQ(ReadFile(d / "piped.hex"), ReadFile(sample)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = c.setUp();
        const auto before = Listing();
        Result r = RunShell((c.line.empty() ? cli : c.line) + Q(out) + " </dev/null; rc=$?; wait; exit $rc");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.exitCode != 0) {
            EXPECT_NE(r.err.find("no se puede escribir «" + out + "»: "), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.errHas), std::string::npos) << r.err;
        }
        c.check();
        // No temporary file is ever left beside OUT.
        for (const std::string& name : Listing())
            EXPECT_TRUE(before.count(name) != 0 || name == "made.bin" || name == std::string(250, 'n')) << name;
    }
    // A terminal gets no image: its bytes would garble the screen.
    const Result t = RunShell("script -qec " + Q(cli + "-") + " /dev/null </dev/null");
    EXPECT_EQ(t.exitCode, 2) << t.out;
    EXPECT_NE(t.out.find("la imagen no se escribe en un terminal"), std::string::npos) << t.out;
    EXPECT_LT(t.out.size(), 1000u);
}
