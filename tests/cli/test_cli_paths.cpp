// Every option that names a file, given every kind of path: what it reads
// (FILE, --catalogue, the release's file) and what it writes (-o, --log).
// No run writes over one of its inputs, nor sends anything when refused.

#include "CliTest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "firmware/Catalogue.h"

using namespace clitest;

namespace {

// A file's bytes, or its size alone for a large one, and when it changed.
std::string Snapshot(const fs::path& p)
{
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0)
        return "missing";
    if (!S_ISREG(st.st_mode))
        return std::to_string(st.st_mode);  // a FIFO's time changes as it is read
    const std::string when = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (st.st_size > (1 << 20))
        return std::to_string(st.st_size) + " " + when;
    return ReadFile(p) + when;
}

// Every name under `dir`, with the kind and size of what it names.
std::set<std::string> Tree(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        std::error_code ec;
        names.insert(e.path().lexically_relative(dir).string() + (e.is_symlink() ? " link" : ""));
    }
    return names;
}

// The tool under `argv`, with `fifo` opened for reading beforehand so that
// the tool finds its reader there; what came through is written to `got`.
std::string ReadingFifo(const std::string& fifo, const std::string& got, const std::string& command)
{
    return "python3 -c 'import os,subprocess,sys\n"
           "r = os.open(sys.argv[1], os.O_RDONLY | os.O_NONBLOCK)\n"
           "rc = subprocess.call(sys.argv[3], shell=True)\n"
           "data = b\"\"\n"
           "while True:\n"
           "    try:\n"
           "        chunk = os.read(r, 65536)\n"
           "    except BlockingIOError:\n"
           "        break\n"
           "    if not chunk:\n"
           "        break\n"
           "    data += chunk\n"
           "open(sys.argv[2], \"wb\").write(data)\n"
           "sys.exit(rc)' " +
           Q(fifo) + " " + Q(got) + " " + Q(command);
}

}  // namespace

TEST_F(Cli, EachPathOptionTakesEachKindOfPath)
{
    const fs::path d = m_dir.Path();
    const std::string sample = ReadFile(TOLVANEX_SAMPLE_HEX);
    // FILE and its other names.
    const std::string hex = m_dir.Write("x.hex", sample);
    fs::create_symlink("x.hex", d / "x-sym.hex");
    fs::create_hard_link(d / "x.hex", d / "x-hard.hex");
    const std::string ro = m_dir.Write("ro.hex", sample);
    fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    // A 2 GiB file that starts as a HEX file, the rest a hole.
    const std::string big = m_dir.Write("big.hex", sample);
    fs::resize_file(big, 2ull << 30);
    const std::string bigOut = m_dir.Write("big.bin", "");
    fs::resize_file(bigOut, 2ull << 30);
    const std::string bigLog = m_dir.Write("big.log", "");
    fs::resize_file(bigLog, 2ull << 30);
    fs::create_directory(d / "folder");
    const std::string folder = (d / "folder").string();
    const std::string missing = (d / "nope" / "x").string();
    const std::string fifo = (d / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);

    // The catalogue, its other names, and a release of every kind of file.
    fs::create_directories(d / "site" / "releases");
    const fs::path site = d / "site";
    const std::string rel = m_dir.Write("site/releases/1.2.hex", sample);
    m_dir.Write("site/-", sample);
    m_dir.Write("site/releases/ro.hex", sample);
    fs::permissions(site / "releases/ro.hex", fs::perms::owner_read | fs::perms::others_read);
    fs::create_symlink("1.2.hex", site / "releases/link.hex");
    fs::create_hard_link(rel, site / "releases/hard.hex");
    fs::create_symlink("/dev/full", site / "releases/full.hex");
    fs::create_directory(site / "releases/dir.hex");
    ASSERT_EQ(::mkfifo((site / "releases/fifo.hex").c_str(), 0666), 0);
    fs::create_hard_link(big, site / "releases/big.hex");
    // Refused by its size before a byte is hashed: its SHA-256 in the catalogue does not matter.
    const std::string bigSha = Sha256Of("");
    const std::string sha = Sha256Of(sample);
    const std::string cat =
        m_dir.Write("site/firmware.json",
                    R"({"format":1,"releases":[)" + Entry("1.2", "releases/1.2.hex", sha) + "," +
                        Entry("1.3", "releases/link.hex", sha) + "," + Entry("1.4", "releases/hard.hex", sha) + "," +
                        Entry("1.5", "-", sha) + "," + Entry("1.6", "releases/ro.hex", sha) + "," +
                        Entry("1.7", "releases/full.hex", sha) + "," + Entry("1.8", "releases/dir.hex", sha) + "," +
                        Entry("1.9", "releases/fifo.hex", sha) + "," + Entry("1.10", "nope/1.2.hex", sha) + "," +
                        Entry("1.11", "firmware.json", sha) + "," + Entry("1.12", "releases/big.hex", bigSha) + "]}");
    fs::create_symlink("firmware.json", site / "cat-sym.json");
    fs::create_hard_link(cat, site / "cat-hard.json");
    const std::string catRo = m_dir.Write("site/ro.json", ReadFile(cat));
    fs::permissions(catRo, fs::perms::owner_read | fs::perms::others_read);
    const std::string catBig = m_dir.Write("site/big.json", "");
    fs::resize_file(catBig, 2ull << 30);

    // Root may write anything: what the user may not write is tried as nobody.
    const bool root = ::geteuid() == 0;
    const std::string asUser = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    fs::permissions(m_io.Path(), fs::perms::all);  // nobody's fake controller writes its record there
    const std::string record = (m_io.Path() / "reports").string();
    const std::string got = (m_io.Path() / "got").string();
    const std::string out = (d / "out.bin").string();
    const std::string log = (d / "bench.log").string();
    const std::string cli = Q(TOLVANEX_CLI) + " ";
    const std::string fake = Env("controller", record) + Q(TOLVANEX_FAKE_CLI) + " flash ";
    const std::string fromCat = fake + "--catalogue=" + Q(cat) + " --release=";
    const std::string image = cli + "image " + Q(hex) + " -o ";
    const std::string imageCat = cli + "image --catalogue=" + Q(cat) + " --release=1.2 -o ";
    const std::string logged = fake + Q(hex) + " --log ";
    const std::string shared = (m_io.Path() / "shared").string();  // beside the captured output, out of the tree
    const std::string loggedCat = fromCat + "1.2 --log ";
    // A FIFO that a writer waits at, let go once the tool is done with it.
    const auto written = [&](const std::string& line) {
        return "{ cat " + Q(hex) + " > " + Q(fifo) + " & } ; " + line + "; rc=$?; cat " + Q(fifo) +
               " >/dev/null; wait; exit $rc";
    };
    // A small file system that is full: a mount namespace of our own, gone with it.
    const std::string mnt = (d / "mnt").string();
    fs::create_directory(mnt);
    const bool canMount = RunShell("unshare -rm sh -c 'mount -t tmpfs -o size=8k none " + Q(mnt) + "'").exitCode == 0;
    const auto full = [&](const std::string& inside) {
        return "unshare -rm sh -c " + Q("mount -t tmpfs -o size=8k none " + Q(mnt) + " && head -c 4096 /dev/zero > " +
                                        Q(mnt + "/fill") + " && " + inside);
    };
    const std::string mntLog = mnt + "/bench.log";
    const std::string imageBytes = [&] {
        CFirmwareUpdater u;
        EXPECT_EQ(u.LoadHexFile(hex.c_str()), 1);
        return std::string(reinterpret_cast<const char*>(u.Image()), kImageSize);
    }();

    const std::string kind = "no es un archivo normal";
    struct Row {
        const char* option;
        const char* kind;
        std::string line;
        int exitCode;
        std::string err;  // a part of stderr; "" for nothing at all
        bool sends = false;
        std::function<void()> check = {};
        const char* skip = nullptr;  // why the row cannot run here, when it cannot
    };
    const char* const needsMount = canMount ? nullptr : "no mount namespace here (unshare -rm failed)";
    const Row rows[] = {
        {"FILE", "standard input", fake + "- < " + Q(hex), 0, "", true},
        {"FILE", "a symbolic link", fake + Q((d / "x-sym.hex").string()), 0, "", true},
        {"FILE", "a hard link", fake + Q((d / "x-hard.hex").string()), 0, "", true},
        {"FILE", "a FIFO with a writer", written(fake + Q(fifo)), 2, kind},
        {"FILE", "a FIFO, no writer", fake + Q(fifo), 2, kind},
        {"FILE", "a folder", fake + Q(folder), 2, "«" + folder + "»: es una carpeta"},
        {"FILE", "/dev/full", fake + "/dev/full", 2, kind},
        {"FILE", "a read-only file", fake + Q(ro), 0, "", true},
        {"FILE", "a missing folder", fake + Q(missing), 2, "«" + missing + "»: no existe"},
        // FILE is read as a stream, as the window reads it: its size costs time, not memory.
        {"FILE", "2 GiB", fake + Q(big), 0, "", true},

        {"--catalogue", "standard input", fake + "--catalogue=- --release=1.2 < " + Q(cat), 1,
         "--catalogue no lee la entrada estándar"},
        {"--catalogue", "a symbolic link", fake + "--catalogue=" + Q((site / "cat-sym.json").string()) + " --release=1.2",
         0, "", true},
        {"--catalogue", "a hard link", fake + "--catalogue=" + Q((site / "cat-hard.json").string()) + " --release=1.2", 0,
         "", true},
        {"--catalogue", "a FIFO with a writer", written(fake + "--catalogue=" + Q(fifo) + " --release=1.2"), 2, kind},
        {"--catalogue", "a FIFO, no writer", fake + "--catalogue=" + Q(fifo) + " --release=1.2", 2, kind},
        {"--catalogue", "a folder", fake + "--catalogue=" + Q(folder) + " --release=1.2", 2, "es una carpeta"},
        {"--catalogue", "/dev/full", fake + "--catalogue=/dev/full --release=1.2", 2, kind},
        {"--catalogue", "a read-only file", fake + "--catalogue=" + Q(catRo) + " --release=1.2", 0, "", true},
        {"--catalogue", "a missing folder", fake + "--catalogue=" + Q(missing) + " --release=1.2", 2, "no existe"},
        {"--catalogue", "2 GiB", fake + "--catalogue=" + Q(catBig) + " --release=1.2", 2, "tiene más de 1024 KiB"},

        {"release", "a symbolic link", fromCat + "1.3", 0, "", true},
        {"release", "a hard link", fromCat + "1.4", 0, "", true},
        {"release", "a file named «-», not standard input", fromCat + "1.5 < " + Q(hex), 0, "", true},
        {"release", "a FIFO", fromCat + "1.9", 2, kind},
        {"release", "a folder", fromCat + "1.8", 2, "es una carpeta"},
        {"release", "/dev/full", fromCat + "1.7", 2, kind},
        {"release", "a read-only file", fromCat + "1.6", 0, "", true},
        {"release", "a missing folder", fromCat + "1.10", 2, "no existe"},
        {"release", "the catalogue itself", fromCat + "1.11", 2, "no es el que publica el catálogo"},
        {"release", "2 GiB", fromCat + "1.12", 2, "tiene más de 1024 KiB"},

        {"-o", "the HEX file", image + Q(hex), 2, "«" + hex + "»: es el mismo archivo que la entrada «" + hex + "»"},
        {"-o", "a symbolic link to the HEX file", image + Q((d / "x-sym.hex").string()), 2,
         "es el mismo archivo que la entrada «" + hex + "»"},
        {"-o", "a hard link to the HEX file", image + Q((d / "x-hard.hex").string()), 2,
         "es el mismo archivo que la entrada «" + hex + "»"},
        {"-o", "the catalogue", imageCat + Q(cat), 2, "es el mismo archivo que el catálogo «" + cat + "»"},
        {"-o", "a hard link to the catalogue", imageCat + Q((site / "cat-hard.json").string()), 2,
         "es el mismo archivo que el catálogo «" + cat + "»"},
        {"-o", "the release's file", imageCat + Q(rel), 2, "es el mismo archivo que la entrada «" + rel + "»"},
        {"-o", "the file standard input reads", cli + "image - -o " + Q(hex) + " < " + Q(hex), 2,
         "es el mismo archivo que la entrada estándar"},
        {"-o", "standard output", image + "-", 0, "", false,
         [&] { EXPECT_EQ(ReadFile(m_io.Path() / "stdout"), imageBytes); }},
        {"-o", "a FIFO (it waits for its reader)",
         "{ cat " + Q(fifo) + " > " + Q(got) + " & } ; " + image + Q(fifo) + "; rc=$?; wait; exit $rc", 0, "", false,
         [&] { EXPECT_EQ(ReadFile(got), imageBytes); }},
        {"-o", "a folder", image + Q(folder), 2, "es una carpeta"},
        {"-o", "/dev/full", image + "/dev/full", 2, "no queda espacio en el dispositivo"},
        {"-o", "a read-only file", asUser + image + Q(ro), 2, "«" + ro + "»: permiso denegado"},
        {"-o", "a missing folder", image + Q(missing), 2, "no existe"},
        {"-o", "a full file system", full(image + Q(mnt + "/out.bin")), 2, "no queda espacio en el dispositivo", false,
         {}, needsMount},
        {"-o", "2 GiB, no input", image + Q(bigOut), 0, "", false, [&] { EXPECT_EQ(ReadFile(bigOut), imageBytes); }},

        {"--log", "the HEX file", logged + Q(hex), 2,
         "flash: --log: no se puede escribir «" + hex + "»: es el mismo archivo que la entrada «" + hex + "»"},
        {"--log", "a symbolic link to the HEX file", logged + Q((d / "x-sym.hex").string()), 2,
         "es el mismo archivo que la entrada «" + hex + "»"},
        {"--log", "a hard link to the HEX file", logged + Q((d / "x-hard.hex").string()), 2,
         "es el mismo archivo que la entrada «" + hex + "»"},
        {"--log", "the catalogue", loggedCat + Q(cat), 2, "es el mismo archivo que el catálogo «" + cat + "»"},
        {"--log", "a symbolic link to the catalogue", loggedCat + Q((site / "cat-sym.json").string()), 2,
         "es el mismo archivo que el catálogo «" + cat + "»"},
        {"--log", "the release's file", loggedCat + Q(rel), 2, "es el mismo archivo que la entrada «" + rel + "»"},
        {"--log", "the file standard input reads", fake + "--log " + Q(hex) + " - < " + Q(hex), 2,
         "es el mismo archivo que la entrada estándar"},
        {"--log", "standard output", logged + "-", 1, "flash: --log - no vale"},
        // What flash says there would be woven into the records.
        {"--log", "the file standard output writes", logged + Q(shared) + " >" + Q(shared), 2,
         "es el mismo archivo que la salida estándar"},
        {"--log", "the file standard error writes", logged + Q(shared) + " 2>" + Q(shared), 2, "", false,
         [&] { EXPECT_NE(ReadFile(shared).find("es el mismo archivo que la salida de error"), std::string::npos); }},
        {"--log", "a FIFO with a reader", ReadingFifo(fifo, got, logged + Q(fifo)), 0, "", true,
         [&] {
             const std::vector<std::string> lines = Lines(ReadFile(got));
             ASSERT_EQ(lines.size(), 1u) << ReadFile(got);
             EXPECT_TRUE(lines[0].starts_with("{\"time\":") && lines[0].ends_with("}\n")) << lines[0];
         }},
        {"--log", "a FIFO, no reader", logged + Q(fifo), 1,
         "flash: --log: no se puede abrir «" + fifo + "»: nadie lee de la tubería"},
        {"--log", "a folder", logged + Q(folder), 1, "«" + folder + "»: es una carpeta"},
        {"--log", "/dev/full", logged + "/dev/full", 6,
         "no se puede escribir en el registro «/dev/full»: no queda espacio en el dispositivo", true},
        {"--log", "a read-only file", asUser + logged + Q(ro), 1, "«" + ro + "»: permiso denegado"},
        {"--log", "a missing folder", logged + Q(missing), 1, "«" + missing + "»: no existe"},
        {"--log", "a new file, the run refused", fake + Q(missing) + " --log " + Q(log), 2, "«" + missing + "»: no existe"},
        {"--log", "a new file, no controller", Env("none", record) + Q(TOLVANEX_FAKE_CLI) + " flash --log " + Q(log) +
         " " + Q(hex), 3, "Mando no conectado"},
        {"--log", "a new file", logged + Q(log), 0, "", true, [&] { EXPECT_EQ(Lines(ReadFile(log)).size(), 1u); }},
        // The first record is cut short; the next run's starts on a line of its own.
        // Cut short by a size limit: told as that, not as a full disk.
        {"--log", "past the size limit (ulimit -f)",
         "head -c 9000 /dev/zero > " + Q(log) + " && bash -c " + Q("ulimit -f 9; exec " + logged + Q(log)), 6,
         "no se puede escribir en el registro «" + log + "»: el archivo pasaría del tamaño que se permite escribir",
         true},
        {"--log", "a full file system",
         full("yes x | head -c 4046 > " + Q(mntLog) + " && " + logged + Q(mntLog) + "; echo $? > " + Q(got) +
              "; rm " + Q(mnt + "/fill") + " && " + Env("controller") + Q(TOLVANEX_FAKE_CLI) + " flash " + Q(hex) +
              " --log " + Q(mntLog) + " && cp " + Q(mntLog) + " " +
              Q(got + ".log")),
         0, "no se puede escribir en el registro «" + mntLog + "»: no queda espacio en el dispositivo", true,
         [&] {
             EXPECT_EQ(ReadFile(got), "6\n");
             const std::vector<std::string> lines = Lines(ReadFile(got + ".log"));
             ASSERT_EQ(lines.size(), 2023u + 2u);
             EXPECT_EQ(lines[2022], "x\n");
             EXPECT_TRUE(lines[2023].starts_with("{\"time\":") && lines[2023].size() == 51) << lines[2023];
             EXPECT_TRUE(lines[2024].starts_with("{\"time\":") && lines[2024].ends_with("}\n")) << lines[2024];
         },
         needsMount},
        {"--log", "2 GiB", logged + Q(bigLog), 0, "", true,
         [&] {
             // It ends in zeros, not in a line end: the record starts a line of its own.
             std::ifstream in(bigLog, std::ios::binary);
             in.seekg(2ll << 30);
             const std::string tail((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
             EXPECT_TRUE(tail.starts_with("\n{\"time\":") && tail.ends_with("}\n")) << tail;
         }},
    };

    std::vector<fs::path> inputs;
    for (const auto& e : fs::recursive_directory_iterator(d))
        if (e.path().filename() != "out.bin" && e.path().filename() != "bench.log" && e.path() != bigOut &&
            e.path() != bigLog && !fs::is_directory(e.symlink_status()))
            inputs.push_back(e.path());
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.option) + ", " + r.kind);
        if (r.skip != nullptr) {
            std::printf("row left out: %s, %s: %s\n", r.option, r.kind, r.skip);
            continue;
        }
        std::map<fs::path, std::string> before;
        for (const fs::path& p : inputs)
            before[p] = Snapshot(p);
        const std::set<std::string> tree = Tree(d);
        fs::remove(record);
        fs::remove(got);
        const Result res = RunShell("{ " + r.line + "; } </dev/null");
        EXPECT_EQ(res.exitCode, r.exitCode) << res.err;
        if (r.err.empty())
            EXPECT_EQ(res.err, "");
        else
            EXPECT_NE(res.err.find(r.err), std::string::npos) << res.err;
        EXPECT_EQ(SizeOf(record), r.sends ? 2049u : 0u);
        for (const fs::path& p : inputs)
            EXPECT_EQ(Snapshot(p), before[p]) << p;
        if (r.check)
            r.check();
        // A refused run leaves nothing behind; one that went ahead, only its output.
        std::set<std::string> after = Tree(d);
        if (r.exitCode == 0 || r.exitCode == 6) {
            after.erase("out.bin");
            after.erase("bench.log");
        }
        EXPECT_EQ(after, tree);
        fs::remove(out);
        fs::remove(log);
    }
}
