// tolvanex-cli flash over the in-memory HID stack: refusals, locks, stop signals, progress for scripts, --wait.

#include "CliTest.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

using namespace clitest;

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
        EXPECT_EQ(r.out, c.exitCode == 3 ? "" : "Actualización OK!!!!\n");
        EXPECT_EQ(r.err.find("Mando no conectado\n") != std::string::npos, c.exitCode == 3) << r.err;
    }
}

TEST_F(Cli, FlashHoldsTheFirstStopRequest)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n");
    const std::string record = (m_io.Path() / "reports").string();
    const struct {
        std::vector<int> signals;
        bool whole;  // every report went out
        bool json = false;
    } cases[] = {
        {{SIGINT}, true},
        {{SIGTERM}, true},
        {{SIGINT, SIGINT}, false},
        {{SIGTERM, SIGTERM}, false},
        {{SIGHUP, SIGHUP}, false},
        {{SIGINT}, true, true},
        {{SIGINT, SIGINT}, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.signals.size() << " x " << strsignal(c.signals[0]));
        fs::remove(record);
        const std::string err = (m_io.Path() / "stderr").string();
        const std::string out = (m_io.Path() / "stdout").string();
        const pid_t pid = StartFakeJob({"TVX_FAKE_HID=controller", "TVX_FAKE_DELAY_US=1000", "TVX_FAKE_RECORD=" + record},
                                       {"flash", c.json ? "--progress=json" : "-v", in}, out, err);
        ASSERT_GE(pid, 0);
        const int status = StopUnderWay(pid, record, err, c.signals);
        ASSERT_NE(status, -1);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(128 + WTERMSIG(status), 128 + c.signals[0]);
        EXPECT_NE(ReadFile(err).find("envío en curso: repita para abortar; el mando puede quedar inutilizable"),
                  std::string::npos);
        // An abort stops before the next report, and tells how far it came.
        const std::string sent = std::to_string(SizeOf(record));
        if (c.whole) {
            EXPECT_EQ(SizeOf(record), 2049u);
        } else {
            EXPECT_LT(SizeOf(record), 2049u);
            EXPECT_NE(ReadFile(err).find("envío abortado tras " + sent + " de 2049 informes"), std::string::npos)
                << ReadFile(err);
        }
        // Whatever the end, a script reading the events is told it.
        if (c.json) {
            const std::vector<std::string> lines = Lines(ReadFile(out));
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), c.whole ? "{\"event\":\"result\",\"ok\":true,\"message\":\"Actualización OK!!!!\"}\n"
                                            : "{\"event\":\"result\",\"ok\":false,\"message\":\"Envío abortado: el "
                                              "mando puede quedar inutilizable\",\"aborted\":true,\"sent\":" +
                                                  sent + ",\"of\":2049}\n");
        }
    }
}

// Three requests, each of another signal so that none merges with another: the
// third ends the process at once, its words on a line of their own.
TEST_F(Cli, FlashEndsAtTheThirdStopRequest)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n");
    const std::string record = (m_io.Path() / "reports").string();
    const std::string err = (m_io.Path() / "stderr").string();
    const std::string out = (m_io.Path() / "stdout").string();
    const pid_t pid = StartFakeJob({"TVX_FAKE_HID=controller", "TVX_FAKE_DELAY_US=1000", "TVX_FAKE_RECORD=" + record},
                                   {"flash", in}, out, err);
    ASSERT_GE(pid, 0);
    const auto moving = [&] { return SizeOf(record) + SizeOf(err); };
    ASSERT_TRUE(stall::Until("100 reports", [&] { return SizeOf(record) >= 100; }, moving, Nap));
    ::kill(pid, SIGINT);
    ASSERT_TRUE(stall::Until("the request held", [&] { return CountIn(err, "en curso") >= 1; }, moving, Nap));
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGHUP);
    const int status = WaitJob(pid, record, err);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_LT(SizeOf(record), 2049u);
    const std::string said = ReadFile(err);
    EXPECT_EQ(said.find("\n\n"), std::string::npos) << said;
    EXPECT_EQ(said.rfind("tolvanex-cli: ", 0), 0u) << said;
}

TEST_F(Cli, FlashForScriptsAndForPeopleWhoWait)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n");
    const std::string warned = m_dir.Write("warned.hex", Record(0, {1, 2, 3}) + "\n" + Record(1, {9}) + "\n");
    const std::string record = (m_io.Path() / "reports").string();
    const std::string log = (m_io.Path() / "bench.log").string();
    const std::string fake = Q(TOLVANEX_FAKE_CLI) + " flash ";
    const std::string overlap = "warned.hex:2: aviso: 1 byte desde 0x0001 ya lo escribió la línea 1";
    const struct {
        const char* name;
        std::string line;
        int exitCode;
        std::string out;  // all of stdout; "json" for JSON lines, checked below
        std::string err;  // a part of stderr; "" for none at all
        bool sends;
        std::string log = {};  // python3 condition on the lines L of --log's file, each row's added to the last's
    } cases[] = {
        {"plain", Env("controller", record) + fake + Q(in), 0, "Actualización OK!!!!\n", "", true},
        {"quiet", Env("controller", record) + fake + "-q " + Q(in), 0, "", "", true},
        {"quiet, no controller", Env("none", record) + fake + "--quiet " + Q(in), 3, "", "Mando no conectado\n", false},
        {"quiet, the transfer fails", Env("fails") + fake + "-q " + Q(in), 4, "",
         "Error sucedido!\ntolvanex-cli: error de entrada/salida; 100 de 2049 informes enviados\n", false},
        {"unplugged, and why", Env("unplugged") + fake + Q(in), 4, "",
         "Error sucedido!\ntolvanex-cli: el mando se ha desconectado; 100 de 2049 informes enviados\n", false},
        {"unplugged, -v", Env("unplugged") + fake + "-v " + Q(in), 4, "",
         "Error sucedido!\ntolvanex-cli: el mando se ha desconectado (no existe ese dispositivo, error 19 del "
         "sistema); 100 de 2049 informes enviados\n",
         false},
        {"warnings go on", Env("controller", record) + fake + Q(warned), 0, "Actualización OK!!!!\n", overlap, true},
        {"quiet hides warnings", Env("controller", record) + fake + "-q " + Q(warned), 0, "", "", true},
        {"strict refuses", Env("controller", record) + fake + "--strict " + Q(warned), 5, "",
         "«" + warned + "»: 1 aviso y --strict: no se envía nada", false},
        {"strict, clean", Env("controller", record) + fake + "--strict " + Q(in), 0, "Actualización OK!!!!\n", "", true},
        {"json", Env("controller", record, 200) + fake + "--progress=json " + Q(in), 0, "json", "", true},
        {"json, no controller", Env("none", record) + fake + "--progress json " + Q(in), 3, "json",
         "Mando no conectado\n", false},
        {"json, the transfer fails", Env("fails") + fake + "--progress=json " + Q(in), 4, "json", "Error sucedido!\n",
         false},
        {"no data, and why", Env("controller", record) + fake + Q(m_dir.Write("ext.hex", ":020000040000FA\n" + Record(0, {1}) + "\n")), 2, "",
         "ext.hex:2: aviso: 1 registro viene después del registro de tipo 04", false},
        {"updated, the output lost", Env("controller", record) + fake + Q(in) + " >/dev/full", 6, "",
         "el mando se ha actualizado", true},
        // Of three controllers, two updated and one failed: no more claimed than that.
        {"all, one fails, the output lost", Env("bench") + "TVX_FAKE_FAIL=1-1 " + fake + "--all " + Q(in) + " >/dev/full",
         4, "", "se han actualizado 2 mandos, pero lo que había que decir en la salida estándar se ha perdido", false},
        {"updated, no output at all", Env("controller", record) + fake + Q(in) + " >&-", 6, "",
         "no se puede escribir la salida estándar: ", true},
        {"json, busy", Env("busy", record) + fake + "--progress=json " + Q(in), 3, "json",
         "el mando está en uso por otro proceso", false},
        {"no lock to be had", Env("unlocked", record) + fake + Q(in), 0, "Actualización OK!!!!\n",
         "tolvanex-cli: no se puede reservar el mando (no queda sitio para el candado): se usa sin reserva", true},
        {"json, no data", Env("controller", record) + fake + "--progress=json " + Q(m_dir.Write("e.hex", "")), 2,
         "json", "el archivo no contiene datos para el mando", false},
        {"permission", Env("denied", record) + fake + Q(in), 3, "",
         "Hay un mando 0E8F:310D que este usuario no tiene permiso para abrir.\nLa regla de udev del mando da "
         "acceso a él al usuario de la sesión local",
         false},
        {"wait", Env("controller", record) + "TVX_FAKE_APPEAR_MS=1000 " + fake + "--wait " + Q(in), 0,
         "Actualización OK!!!!\n", "tolvanex-cli: esperando al mando (Ctrl+C para dejarlo)...\n", true},
        {"wait, bounded", Env("controller", record) + "TVX_FAKE_APPEAR_MS=600 " + fake + "--wait=20 " + Q(in), 0,
         "Actualización OK!!!!\n", "esperando al mando hasta 20 s", true},
        {"wait, a year at most", Env("controller", record) + fake + "--wait=31536000 " + Q(in), 0,
         "Actualización OK!!!!\n", "", true},
        {"wait, too short", Env("controller", record) + "TVX_FAKE_APPEAR_MS=5000 " + fake + "--wait=1 " + Q(in), 3, "",
         "esperando al mando hasta 1 s", false},
        {"no wait", Env("controller", record) + "TVX_FAKE_APPEAR_MS=300 " + fake + Q(in), 3, "",
         "Mando no conectado\n", false},
        // The bench's record: one line per controller, appended, as each one ends.
        {"log, unplugged", Env("unplugged") + fake + "--log " + Q(log) + " " + Q(in), 4, "",
         "Error sucedido!\ntolvanex-cli: el mando se ha desconectado", false,
         "len(L) == 1 and L[0][\"result\"] == \"failed\" and L[0][\"reason\"] == \"el mando se ha desconectado\" "
         "and L[0][\"sent\"] == 100 and L[0][\"version\"] == \"0100\" and L[0][\"path\"] == \"/dev/fake-controller\" "
         "and re.fullmatch(\"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z\", L[0][\"time\"]) "
         "and re.fullmatch(\"[0-9A-F]{4}\", L[0][\"checksum\"])"},
        {"log, all", Env("crowd") + fake + "--all --log=" + Q(log) + " " + Q(in), 4,
         "Actualizados 2 de 4 mandos; 1 en uso, 1 sin permiso:\n"
         "  /dev/fake-denied: sin permiso para abrirlo; no se actualiza\n"
         "  /dev/fake-busy: en uso por otro proceso; no se actualiza\n"
         "  /dev/fake-controller: Actualización OK!!!!\n  /dev/fake-second: Actualización OK!!!!\n",
         "en uso por otro proceso", false,
         "len(L) == 5 and [(l[\"result\"], l[\"reason\"], l[\"sent\"]) for l in L[1:]] == [(\"skipped\", "
         "\"permission\", None), (\"skipped\", \"busy\", None), (\"updated\", None, 2049), (\"updated\", None, 2049)] "
         "and L[1][\"path\"] == \"/dev/fake-denied\" and len({l[\"checksum\"] for l in L}) == 1"},
        // The controller was updated, but the bench's record of it is not whole: no success for a script either.
        {"json, the log lost", Env("controller", record) + fake + "--progress=json --log=/dev/full " + Q(in), 6, "json",
         "no se puede escribir en el registro «/dev/full»", true},
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
        if (!c.log.empty()) {
            const Result checked = RunShell("python3 -c 'import json,re,sys\nL = [json.loads(l) for l in "
                                            "open(sys.argv[1])]\nassert " + c.log + "' " + Q(log));
            EXPECT_EQ(checked.exitCode, 0) << checked.err << ReadFile(log);
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
                                   : c.exitCode == 4 ? "{\"event\":\"result\",\"ok\":false,\"message\":\"Error sucedido!\","
                                                       "\"reason\":\"error de entrada/salida\",\"sent\":100,\"of\":2049}\n"
                                   : c.exitCode == 6 ? "{\"event\":\"result\",\"ok\":false,\"message\":\"Actualización "
                                                       "OK!!!!\",\"log_lost\":true}\n"
                                                     : "";
        if (!result.empty()) {
            EXPECT_EQ(lines.back(), result);
        } else {
            EXPECT_NE(lines.back().find("\"ok\":false,\"message\":\"«"), std::string::npos) << lines.back();
        }
        // A transfer cut short never shows its end: the 100th report fails.
        for (const std::string& line : lines)
            EXPECT_EQ(line.find("\"value\":10000"), c.exitCode == 4 ? std::string::npos : line.find("\"value\":10000"));
        if (c.exitCode != 0)
            continue;
        EXPECT_EQ(lines.front(), "{\"event\":\"found\",\"path\":\"/dev/fake-controller\",\"output_report_length\":9,"
                                 "\"version\":\"0100\"}\n");
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

    // A reader that goes away early cuts no transfer short, nor ends flash:
    // it tells that what it had to say was lost. Other commands end quietly.
    const std::string closedPipe =
        "python3 -c 'import os,subprocess,sys\nr,w=os.pipe()\nos.close(r)\n"
        "c=subprocess.run(sys.argv[1:],stdout=w).returncode\nprint(128-c if c<0 else c)' ";
    const struct {
        std::string line;
        int exitCode;
        std::string err;
    } closed[] = {
        {Env("controller", record) + fake + "--progress=json " + Q(in), 6,
         "tolvanex-cli: no se puede escribir la salida estándar: el otro extremo de la tubería está cerrado\n"
         "tolvanex-cli: el mando se ha actualizado, pero lo que había que decir en la salida estándar se ha perdido\n"},
        {Q(TOLVANEX_CLI) + " checksum " + Q(in), 128 + SIGPIPE, ""},
    };
    for (const auto& c : closed) {
        SCOPED_TRACE(c.line);
        fs::remove(record);
        const Result r = RunShell(closedPipe + c.line);
        EXPECT_EQ(SizeOf(record), c.exitCode == 6 ? 2049u : 0u);
        EXPECT_EQ(r.out, std::to_string(c.exitCode) + "\n");
        EXPECT_EQ(r.err, c.err);
    }
}

TEST_F(Cli, CtrlCEndsTheWaitAtOnce)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1}) + "\n");
    const std::string err = (m_io.Path() / "stderr").string();
    const std::string out = (m_io.Path() / "stdout").string();
    const pid_t pid = StartFakeJob({"TVX_FAKE_HID=none"}, {"flash", "--wait", "--progress=json", in}, out, err);
    ASSERT_GE(pid, 0);
    ASSERT_TRUE(stall::Until(
        "the wait", [&] { return ReadFile(err).find("esperando") != std::string::npos; }, [&] { return SizeOf(err); },
        Nap));
    const auto start = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_EQ(ReadFile(err).find("envío en curso"), std::string::npos) << "nothing is held during a wait";
    EXPECT_NE(ReadFile(err).find("Mando no conectado (espera abortada)\n"), std::string::npos) << ReadFile(err);
    EXPECT_LT(took, std::chrono::seconds(2));  // no poll period, however slow the machine, comes near
    EXPECT_EQ(Lines(ReadFile(out)).back(),
              "{\"event\":\"result\",\"ok\":false,\"message\":\"Mando no conectado (espera abortada)\","
              "\"aborted\":true}\n");
}

TEST_F(Cli, BarsOnATerminal)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n");
    const std::string record = (m_io.Path() / "reports").string();
    auto bar = [](std::size_t filled, const char* percent) {
        return "[" + std::string(filled, '#') + std::string(40 - filled, ' ') + "] " + percent;
    };
    // The job's own line, and a Ctrl+C typed at the terminal once 100 reports are out.
    const std::string ctrlC = "until [ \"$(stat -c %s " + Q(record) + " 2>/dev/null)\" -ge 100 ]; do sleep 0.01; done; printf '\\003'";
    const struct {
        const char* name;
        std::string env;
        std::string options;
        int exitCode;
        std::vector<std::string> shown;  // each on the screen, in this order
        std::string never = {};
        std::string once = {};   // shown once only
        std::string typed = {};  // what is typed at the terminal
    } cases[] = {
        {"sent", "TVX_FAKE_HID=controller", "", 0, {"\r" + bar(40, "100%") + "\x1b[K\r\n", "Actualización OK!!!!"},
         "\x1b[1A"},
        // Report 100 fails: the bar stays where the transfer stopped.
        {"failed", "TVX_FAKE_HID=fails", "", 4,
         {"\r" + bar(1, "  4%") + "\x1b[K\r\n", "Error sucedido!\r\ntolvanex-cli: error de entrada/salida"}, "100%"},
        // One bar per controller, redrawn in place, gone before the summary.
        {"all at once", "TVX_FAKE_HID=bench TVX_FAKE_DELAY_US=1000", "--all ", 0,
         {"1-1 [", "%\x1b[K\r\n1-2 [", "%\x1b[K\r\n1-3 [", "%\x1b[K\r\n\x1b[J\x1b[3A\r1-1 [", "\x1b[J",
          "Actualizados 3 de 3 mandos:"},
         "100%"},
        // A failed controller's bar stays where it stopped, as one flash leaves it.
        {"all, one fails", "TVX_FAKE_HID=bench TVX_FAKE_FAIL=1-2 TVX_FAKE_DELAY_US=1000", "--all ", 4,
         {"\x1b[J1-2 " + bar(1, "  4%") + "\r\ntolvanex-cli: 1-2: Error sucedido!", "Actualizados 2 de 3 mandos:"}},
        // The Ctrl+C the terminal echoes goes with the bar, and the warning starts a line of its own.
        {"Ctrl+C", "TVX_FAKE_HID=controller TVX_FAKE_DELAY_US=1000", "", 130,
         {"^C\r\x1b[Ktolvanex-cli: envío en curso", "\r\n\r[", bar(40, "100%")}, "", "", ctrlC},
        {"Ctrl+C, all at once", "TVX_FAKE_HID=bench TVX_FAKE_DELAY_US=1000", "--all ", 130,
         {"^C\x1b[3A\r\x1b[Jtolvanex-cli: envíos en curso", "Actualizados 3 de 3 mandos:"}, "", "", ctrlC},
        // On one terminal for both, a failure of --watch shows once.
        {"watch", "TVX_FAKE_HID=bench TVX_FAKE_FAIL=1-2 TVX_FAKE_DELAY_US=1000", "--watch ", 4,
         {"1-1: Actualización OK!!!!", "Actualizados 2 de 3 mandos."}, "", "1-2: Error sucedido!", ctrlC},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(record);
        // The tool in the shell's place, whatever shell script starts: the terminal's only job.
        const std::string line = "exec " + Q(TOLVANEX_FAKE_CLI) + " flash " + c.options + Q(in);
        const Result r = RunShell((c.typed.empty() ? std::string() : "{ " + c.typed + "; } | ") + "env TERM=xterm " +
                                  "TVX_FAKE_RECORD=" + Q(record) + " " + c.env + " script -qec " + Q(line) + " /dev/null" +
                                  (c.typed.empty() ? " </dev/null" : ""));
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        std::size_t at = 0;
        for (const std::string& s : c.shown) {
            at = r.out.find(s, at);
            ASSERT_NE(at, std::string::npos) << s << " in:\n" << r.out;
        }
        if (!c.never.empty()) {
            EXPECT_EQ(r.out.find(c.never), std::string::npos) << r.out;
        }
        if (!c.once.empty()) {
            EXPECT_EQ(CountIn((m_io.Path() / "stdout").string(), c.once), 1u) << r.out;
        }
    }
}

TEST_F(Cli, StopSignalsIgnoredFromTheStartStayIgnored)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n");
    const std::string record = (m_io.Path() / "reports").string();
    const std::string err = (m_io.Path() / "stderr").string();
    const std::string out = (m_io.Path() / "stdout").string();
    const std::string pidFile = (m_io.Path() / "pid").string();
    const std::vector<std::string> nohup = {"nohup"};
    const std::vector<std::string> trapHup = {"sh", "-c", "trap '' HUP; exec \"$@\"", "sh"};
    // A script's job in the background starts with SIGINT ignored; the shell tells its pid.
    const std::vector<std::string> background = {"sh", "-c", "\"$@\" & echo $! >" + Q(pidFile) + "; wait $!", "sh"};
    const struct {
        const char* name;
        std::vector<std::string> launcher;
        std::vector<std::string> options;
        std::vector<int> signals;  // sent at once, 100 reports in
        int ends;                  // 128 + a signal, or an exit code
    } cases[] = {
        {"nohup, hung up", nohup, {"-v"}, {SIGHUP, SIGHUP}, 0},
        {"trap '' HUP, hung up, json", trapHup, {"--progress=json"}, {SIGHUP, SIGHUP}, 0},
        {"nohup, all, hung up", nohup, {"--all"}, {SIGHUP, SIGHUP}, 0},
        {"background, Ctrl+C", background, {}, {SIGINT, SIGINT}, 0},
        {"background, all, Ctrl+C", background, {"--all"}, {SIGINT, SIGINT}, 0},
        // What is not ignored is held as ever.
        {"nohup, terminated", nohup, {}, {SIGTERM}, 128 + SIGTERM},
        {"background, terminated", background, {}, {SIGTERM}, 128 + SIGTERM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& f : {record, pidFile})
            fs::remove(f);
        const bool all = !c.options.empty() && c.options[0] == "--all";
        std::vector<std::string> args = {"flash"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(in);
        const pid_t pid = StartFakeJob({all ? "TVX_FAKE_HID=bench" : "TVX_FAKE_HID=controller", "TVX_FAKE_DELAY_US=1000",
                                        "TVX_FAKE_RECORD=" + record},
                                       args, out, err, c.launcher);
        ASSERT_GT(pid, 0);
        const auto moving = [&] { return SizeOf(record) + SizeOf(err) + SizeOf(pidFile); };
        pid_t tool = pid;
        if (c.launcher == background) {
            ASSERT_TRUE(stall::Until(
                "the job's pid", [&] { return ReadFile(pidFile).find('\n') != std::string::npos; }, moving, Nap));
            tool = static_cast<pid_t>(std::stol(ReadFile(pidFile)));
        }
        EXPECT_TRUE(stall::Until("100 reports", [&] { return SizeOf(record) >= 100; }, moving, Nap));
        for (int sig : c.signals)
            ::kill(tool, sig);
        const int status = WaitJob(pid, record, err);
        ASSERT_NE(status, -1);
        EXPECT_EQ(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status), c.ends) << ReadFile(err);
        EXPECT_EQ(SizeOf(record), (all ? 3 : 1) * 2049u);
        EXPECT_EQ(ReadFile(err).find("en curso") != std::string::npos, c.ends != 0) << ReadFile(err);
        EXPECT_NE(ReadFile(out).find("Actualización OK!!!!"), std::string::npos) << ReadFile(out);
    }
}

// The widest line that `shown` (a terminal's output) draws, in columns.
static std::size_t WidestLine(const std::string& shown)
{
    std::size_t widest = 0;
    std::size_t column = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(shown[i]);
        if (c == '\r' || c == '\n') {
            column = 0;
        } else if (c == 0x1b && i + 1 < shown.size() && shown[i + 1] == '[') {
            for (i += 2; i < shown.size() && (shown[i] < 0x40 || shown[i] > 0x7e); ++i) {
            }
        } else if (c >= 0x20 && (c & 0xC0) != 0x80) {
            widest = std::max(widest, ++column);
        }
    }
    return widest;
}

TEST_F(Cli, BarsFitANarrowTerminal)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n");
    const struct {
        int columns;
        std::string scene;
        std::string options;
        std::vector<std::string> shown;  // each on the screen, in this order; without bars, the whole screen
        bool bars;
    } cases[] = {
        {40, "controller", "", {"\r[" + std::string(32, '#') + "] 100%\x1b[K\r\n", "Actualización OK!!!!"}, true},
        {40, "bench", "--all ", {"1-1 [", "1-2 [", "1-3 [", "Actualizados 3 de 3 mandos:"}, true},
        // Too narrow for a bar: the results alone.
        {15, "controller", "", {"Actualización OK!!!!\r\n"}, false},
        {15, "bench", "--all ",
         {"Actualizados 3 de 3 mandos:\r\n  1-1: Actualización OK!!!!\r\n  1-2: Actualización OK!!!!\r\n"
          "  1-3: Actualización OK!!!!\r\n"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.columns << " columns, " << c.scene);
        const std::string line =
            "stty cols " + std::to_string(c.columns) + " && exec " + Q(TOLVANEX_FAKE_CLI) + " flash " + c.options + Q(in);
        const Result r = RunShell("env TERM=xterm TVX_FAKE_HID=" + c.scene + " TVX_FAKE_DELAY_US=200 script -qec " +
                                  Q(line) + " /dev/null </dev/null");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::size_t at = 0;
        for (const std::string& s : c.shown) {
            at = r.out.find(s, at);
            ASSERT_NE(at, std::string::npos) << s << " in:\n" << r.out;
        }
        if (c.bars) {
            EXPECT_LT(WidestLine(r.out), static_cast<std::size_t>(c.columns)) << r.out;
        } else {
            EXPECT_EQ(r.out, c.shown[0]);
        }
    }
}
