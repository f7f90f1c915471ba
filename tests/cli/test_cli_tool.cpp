// tolvanex-cli as a whole: usage, help, FILE operands, output errors, diagnostics.

#include "CliTest.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "cli/Commands.h"

using namespace clitest;

TEST_F(Cli, UnreadableInput)
{
    const std::string missing = (m_dir.Path() / "no-existe.hex").string();
    const std::string folder = (m_dir.Path() / "carpeta").string();
    fs::create_directory(folder);
    const std::string loop = (m_dir.Path() / "bucle").string();
    fs::create_symlink("bucle", loop);
    const std::string out = m_dir.Write("out.bin", "old contents");
    // The reasons in Spanish whatever the locale, with no generated Spanish locale.
    std::vector<std::pair<std::string, std::string>> bad = {
        {missing, "no existe"},
        {folder, "es una carpeta"},
        {loop, "demasiados niveles de enlaces simbólicos"},
        {out + "/x.hex", "una parte de la ruta no es una carpeta"},
        {(m_dir.Path() / std::string(300, 'n')).string(), "el nombre es demasiado largo"},
    };
#ifdef __linux__
    bad.emplace_back("/proc/self/mem", "es un archivo del sistema (/proc, /sys), no un firmware");
#endif
    const auto before = Listing();
    for (const auto& [path, reason] : bad) {
        SCOPED_TRACE(path);
        Result r = RunShell("LC_ALL=C LANGUAGE= " + Q(TOLVANEX_CLI) + " checksum " + Q(path) + " </dev/null");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "tolvanex-cli: no se puede abrir «" + path + "»: " + reason + "\n");

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
    EXPECT_EQ(r.err, "tolvanex-cli: no se puede abrir «" + locked + "»: permiso denegado\n");
}

TEST_F(Cli, UsageErrors)
{
    const std::string in = m_dir.Write("in.hex", "");
    const std::string x = (m_dir.Path() / "x.bin").string();
    // One line that names the mistake, and where the help is; not the whole help.
    const struct {
        std::vector<std::string> args;
        std::string why;
        std::string help;  // the command whose help it points to; empty: the tool's
    } cases[] = {
        {{}, "falta la orden", ""},
        {{"nada"}, "orden desconocida: nada", ""},
        {{"checksum"}, "checksum: falta el ARCHIVO", "checksum"},
        {{"checksum", in, in}, "checksum: lleva un solo ARCHIVO", "checksum"},
        {{"checksum", "--rapido", in}, "checksum: opción desconocida: --rapido", "checksum"},
        {{"image", in}, "image: falta -o SALIDA", "image"},
        {{"image", in, "-o"}, "image: a la opción -o le falta su valor (SALIDA)", "image"},
        {{"image", "-o", x}, "image: falta el ARCHIVO", "image"},
        {{"image", in, "-o", "a.bin", "-o", "b.bin"}, "image: la opción -o aparece más de una vez", "image"},
        {{"image", in, in, "-o", x}, "image: lleva un solo ARCHIVO", "image"},
        {{"image", in, "--output="}, "image: a la opción --output= le falta su valor", "image"},
        {{"image", "--", "-odd.hex", "-o", x}, "image: las opciones van antes de «--», y -o está después", "image"},
        {{"image", "--", in, "--output=" + x},
         "image: las opciones van antes de «--», y --output=" + x + " está después",
         "image"},
        {{"list", in}, "list: no lleva ARCHIVO", "list"},
        {{"checksum", "--release=1.2", in}, "checksum: --release va con --catalogue=CATÁLOGO", "checksum"},
        {{"flash", "--catalogue", x}, "flash: --catalogue necesita --release=VERSIÓN", "flash"},
        {{"image", "--catalogue=" + x, "--release=1", in, "-o", x}, "image: con --catalogue no lleva ARCHIVO", "image"},
        {{"check", "--catalogue=-", "--release=1"},
         "check: --catalogue no lee la entrada estándar: sus archivos están en su carpeta",
         "check"},
        {{"check", "--catalogue=", "--release=1"}, "check: a la opción --catalogue= le falta su valor", "check"},
        {{"list", "--catalogue=" + x}, "list: opción desconocida: --catalogue", "list"},
        {{"flash", "--progress", in}, "flash: la opción --progress se escribe --progress=json", "flash"},
        {{"flash", "--wait=", in}, "flash: a la opción --wait= le falta su valor", "flash"},
        {{"flash", "--wait=9223372036854775807", in},
         "flash: --wait=SEGUNDOS espera un número entero de segundos, de 0 a 31536000 (un año)",
         "flash"},
        {{"flash", "--wait=31536001", in},
         "flash: --wait=SEGUNDOS espera un número entero de segundos, de 0 a 31536000 (un año)",
         "flash"},
        {{"flash", "--all", "--watch", in}, "flash: --all y --watch no van juntas", "flash"},
        {{"flash", "--all", "--device=1-1", in}, "flash: --device no va con --all", "flash"},
        {{"flash", "--watch", "--wait", in}, "flash: --wait no va con --watch (--watch espera a cada mando)", "flash"},
        {{"flash", "--wait=5", "--all", in}, "flash: --wait no va con --all (--watch espera a cada mando)", "flash"},
        {{"flash", "--watch", "--device=1-1", in}, "flash: --device no va con --watch", "flash"},
        // Options that refuse each other are told before a missing FILE.
        {{"flash", "--all", "--watch"}, "flash: --all y --watch no van juntas", "flash"},
        {{"list", "--json", "--catalogue=x"}, "list: opción desconocida: --catalogue", "list"},
        {{"flash", "--device=", in}, "flash: a la opción --device= le falta su valor", "flash"},
        {{"flash", "--device=place:", in},
         "flash: --device=SEL necesita SEL (path:RUTA, place:LUGAR o serial:NÚMERO)",
         "flash"},
        {{"flash", "--device=SERIAL:", in},
         "flash: --device=SEL necesita SEL (path:RUTA, place:LUGAR o serial:NÚMERO)",
         "flash"},
        {{"flash", "--device=1-1", "--device=1-2", in}, "flash: la opción --device aparece más de una vez", "flash"},
        {{"flash", "--wait=1", "--wait", in}, "flash: la opción --wait aparece más de una vez", "flash"},
        {{"flash", "--log=/nonexistent/log", in},
         "flash: --log: no se puede abrir «/nonexistent/log»: no existe",
         "flash"},
        {{"flash", "--device", "place:1-1"}, "flash: falta el ARCHIVO", "flash"},
        {{"--version", "foo"}, "--version no lleva nada más", ""},
        {{"--help", "nada"}, "orden desconocida: nada", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Result r = Run(c.args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "tolvanex-cli: " + c.why + "\nPruebe «tolvanex-cli " + c.help + (c.help.empty() ? "" : " ") +
                             "--help».\n");
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

    // Each command's help tells what that command takes: FILE (or a
    // catalogue's release) where it reads one, -v where it searches for the
    // controller, and its own exit codes.
    const struct {
        const char* command;
        bool file;
        bool verbose;
        const char* codes;
    } commands[] = {
        {"checksum", true, false, "SHA-256 distinto del catálogo, o salida no escrita\n"},
        {"image", true, false, "SHA-256 distinto del catálogo, o salida no escrita\n"},
        {"check", true, false, "SHA-256 distinto del catálogo, o salida no escrita, 5 avisos\n"},
        {"flash", true, true,
         "o registro perdidos,\n  interrumpido (flash): 128 + el número de la señal (130 tras Ctrl+C)\n"},
        {"list", false, true, "2 salida no escrita\n"},
    };
    for (const auto& c : commands) {
        SCOPED_TRACE(c.command);
        const Result asked = Run({c.command, "--help"});
        EXPECT_EQ(asked.exitCode, 0);
        EXPECT_EQ(asked.out.find("uso: tolvanex-cli " + std::string(c.command)), 0u) << asked.out;
        EXPECT_EQ(asked.out.find("ARCHIVO") != std::string::npos, c.file) << asked.out;
        EXPECT_EQ(asked.out.find("--release=VERSIÓN") != std::string::npos, c.file) << asked.out;
        EXPECT_EQ(asked.out.find("--verbose") != std::string::npos, c.verbose) << asked.out;
        EXPECT_NE(asked.out.find(c.codes), std::string::npos) << asked.out;
        // "--help ORDEN" is the same help.
        const Result before = Run({"--help", c.command});
        EXPECT_EQ(before.exitCode, 0);
        EXPECT_EQ(before.out, asked.out);
    }
}

TEST_F(Cli, ReadsOnlyRegularFiles)
{
    const std::string fifo = (m_dir.Path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> refused = {"/dev/zero",         "/dev/null",     fifo,
                                        "/proc/self/status", "/proc/version", "/sys/kernel/uevent_seqnum",
                                        "/proc/kmsg"};
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

TEST_F(Cli, OutputErrorsAreFailures)
{
    const std::string sample = TOLVANEX_SAMPLE_HEX;
    const std::string cli = Q(TOLVANEX_CLI);
    const std::string full = "no se puede escribir la salida estándar: no queda espacio en el dispositivo";
    const std::string closed = "no se puede escribir la salida estándar: descriptor de archivo no válido";
    const std::pair<std::string, std::string> lines[] = {
        {cli + " checksum " + Q(sample) + " >/dev/full", full},
        {cli + " checksum " + Q(sample) + " >&-", closed},
        {cli + " --version >/dev/full", full},
        {cli + " --help >&-", closed},
        {cli + " checksum --help >/dev/full", full},
        {cli + " image " + Q(sample) + " -o - >/dev/full", full},
        {cli + " image " + Q(sample) + " -o - >&-", closed},
    };
    for (const auto& [line, reason] : lines) {
        SCOPED_TRACE(line);
        Result r = RunShell(line + " </dev/null");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
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
        EXPECT_EQ(r.out, "");
        if (c.shown) {
            // The system's own line, and what it means.
            EXPECT_NE(r.err.find("Request interface data error (fin de la lista de interfaces; es lo normal)\n"),
                      std::string::npos)
                << r.err;
        } else {
            EXPECT_EQ(r.err, "Mando no conectado\n");
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
        {"flash -x", 1, "", "flash: opción desconocida: -x\nPruebe «tolvanex-cli flash --help».\n"},
        {"-v checksum -- -guion.hex", 0, sum, ""},     // -v is taken everywhere, if shown only where it tells
        {"-v -v checksum -- -guion.hex", 0, sum, ""},  // a flag may come again
        {"checksum -vv -v -- -guion.hex", 0, sum, ""},
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

TEST_F(Cli, NamesAreShownNotObeyed)
{
    // A name that would clear the screen and start a line of its own.
    const std::string name = "a\x1B[2Jb\nfalso.hex";
    const std::string shown = (m_dir.Path() / "a\\x1B[2Jb\\nfalso.hex").string();
    const std::string path = m_dir.Write(name, ":0400000001020304F0\n");
    const std::string cli = Q(TOLVANEX_CLI) + " ";
    const std::string fake = Env("controller") + Q(TOLVANEX_FAKE_CLI) + " flash ";
    const struct {
        std::string line;
        std::string out;  // all of stdout, or a part of it when it ends in "..."
        std::string err;
    } cases[] = {
        {cli + "check " + Q(path), shown + ":1: aviso: suma del registro incorrecta: pone F0 y debería ser F2\n...",
         ""},
        {cli + "checksum " + Q(path + "/x"), "",
         "tolvanex-cli: no se puede abrir «" + shown + "/x»: una parte de la ruta no es una carpeta\n"},
        {cli + "image " + Q(path) + " -o " + Q(path), "",
         "tolvanex-cli: no se puede escribir «" + shown + "»: es el mismo archivo que la entrada «" + shown + "»\n"},
        {fake + "--strict " + Q(path), "",
         shown +
             ":1: aviso: suma del registro incorrecta: pone F0 y debería ser F2\n"
             "tolvanex-cli: «" +
             shown + "»: 1 aviso y --strict: no se envía nada\n"},
        {cli + "checksum -- " + Q("-\x1B[31m"), "", "tolvanex-cli: no se puede abrir «-\\x1B[31m»: no existe\n"},
        {cli + Q("\x9B"
                 "2J"),
         "",
         "tolvanex-cli: orden desconocida: \x9B"
         "2J\nPruebe «tolvanex-cli --help».\n"},
        {cli + Q("\xC2\x9B"
                 "2J"),
         "", "tolvanex-cli: orden desconocida: \\u009B2J\nPruebe «tolvanex-cli --help».\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Result r = RunShell(c.line + " </dev/null");
        if (c.out.ends_with("..."))
            EXPECT_EQ(r.out.substr(0, c.out.size() - 3), c.out.substr(0, c.out.size() - 3));
        else
            EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    // The result event's message is the line stderr shows, in JSON.
    Result r = RunShell(fake + "--progress=json " + Q(path + "/x") + " </dev/null");
    EXPECT_EQ(r.out, "{\"event\":\"result\",\"ok\":false,\"message\":\"no se puede abrir «" +
                         (m_dir.Path() / "a\\\\x1B[2Jb\\\\nfalso.hex").string() +
                         "/x»: una parte de la ruta no es una carpeta\"}\n");
}

// The man page names every command of the table in ÓRDENES and every option
// in OPCIONES, each as an entry of its own.
TEST(CliManPage, NamesEveryCommandAndOption)
{
    std::ifstream file(TOLVANEX_CLI_MAN);
    ASSERT_TRUE(file) << TOLVANEX_CLI_MAN;
    // The first line of each .TP entry, by section, without roff's escapes and fonts.
    std::map<std::string, std::string> entries;
    std::string line, section;
    bool tag = false;
    while (std::getline(file, line)) {
        if (line.starts_with(".SH "))
            section = line.substr(4);
        else if (tag) {
            std::string text = " ";
            for (std::size_t i = line.find(' ') + 1; i > 0 && i < line.size(); ++i) {
                if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'f')
                    i += 2;
                else if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '-')
                    text += line[++i];
                else if (line[i] != '"')
                    text += line[i];
            }
            entries[section] += text + " \n";
        }
        tag = line == ".TP";
    }
    // NAME whole: after a blank or "[", before a blank, ",", "=" or "[".
    const auto names = [&](const std::string& in, const std::string& name) {
        const std::string& text = entries[in];
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
            const char before = text[at - 1];
            const char after = text[at + name.size()];
            if ((before == ' ' || before == '[') && std::string(" ,=[\n").find(after) != std::string::npos)
                return true;
        }
        return false;
    };
    std::vector<cli::Option> options = cli::kToolOptions;
    for (const cli::Command& c : cli::AllCommands()) {
        EXPECT_TRUE(names("ÓRDENES", c.name)) << c.name << " in:\n" << entries["ÓRDENES"];
        const std::vector<cli::Option> own = cli::OptionsOf(c);
        options.insert(options.end(), own.begin(), own.end());
    }
    for (const cli::Option& o : options) {
        EXPECT_TRUE(names("OPCIONES", std::string("--") + o.longName)) << o.longName << " in:\n" << entries["OPCIONES"];
        if (o.shortName != '\0') {
            EXPECT_TRUE(names("OPCIONES", std::string("-") + o.shortName)) << o.shortName;
        }
    }
}
