// tolvanex-cli flash with many controllers over the in-memory HID stack's
// repair bench (tests/cli/fake_cli.cpp): --all, --device, --watch.

#include "CliTest.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>

using namespace clitest;

TEST_F(Cli, FlashAllUpdatesEveryControllerAtOnce)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n" + Record(0x3FF0, {4, 5}) + "\n");
    const std::string whole = Stream(in);
    const fs::path streams = m_io.Path() / "streams";
    const std::string fake = " TVX_FAKE_STREAMS=" + Q(streams.string()) + " " + Q(TOLVANEX_FAKE_CLI) + " flash --all ";
    const struct {
        const char* name;
        std::string line;
        int exitCode;
        std::string out;  // all of stdout; "json": JSON lines, checked below
        std::string err;  // a part of stderr; "" for none at all
        std::vector<std::string> got;  // what a0, a1, b0, c0 received: "whole", "" or a number of reports
    } cases[] = {
        // The first of 1-1's two interfaces, as a search of that controller alone would take it.
        {"all", Env("bench") + fake + Q(in), 0,
         "Actualizados 3 de 3 mandos:\n  1-1: Actualización OK!!!!\n  1-2: Actualización OK!!!!\n"
         "  1-3: Actualización OK!!!!\n",
         "", {"whole", "", "whole", "whole"}},
        {"one fails", Env("bench") + "TVX_FAKE_FAIL=1-2" + fake + Q(in), 4,
         "Actualizados 2 de 3 mandos:\n  1-1: Actualización OK!!!!\n"
         "  1-2: Error sucedido! (error de entrada/salida; 100 de 2049 informes enviados)\n"
         "  1-3: Actualización OK!!!!\n",
         "tolvanex-cli: 1-2: Error sucedido!\ntolvanex-cli: 1-2: error de entrada/salida; 100 de 2049 informes enviados\n",
         {"whole", "", "100", "whole"}},
        {"quiet, one fails", Env("bench") + "TVX_FAKE_FAIL=1-3" + fake + "-q " + Q(in), 4, "",
         "tolvanex-cli: 1-3: Error sucedido!\n", {"whole", "", "whole", "100"}},
        {"json", Env("bench", "", 200) + "TVX_FAKE_FAIL=1-1" + fake + "--progress=json " + Q(in), 4, "json",
         "1-1: Error sucedido!", {"100", "", "whole", "whole"}},
        {"none", Env("none") + fake + Q(in), 3, "", "Mando no conectado\n", {"", "", "", ""}},
        {"busy", Env("busy") + fake + Q(in), 3,
         "Actualizados 0 de 1 mandos; 1 en uso:\n  /dev/fake-controller: en uso por otro proceso; no se actualiza\n",
         "tolvanex-cli: /dev/fake-controller: en uso por otro proceso; no se actualiza\nMando no conectado\n",
         {"", "", "", ""}},
        // Every controller is accounted for: those passed over are named, with why.
        {"crowd", Env("crowd") + fake + Q(in), 4,
         "Actualizados 2 de 4 mandos; 1 en uso, 1 sin permiso:\n"
         "  /dev/fake-denied: sin permiso para abrirlo; no se actualiza\n"
         "  /dev/fake-busy: en uso por otro proceso; no se actualiza\n"
         "  /dev/fake-controller: Actualización OK!!!!\n  /dev/fake-second: Actualización OK!!!!\n",
         "tolvanex-cli: /dev/fake-busy: en uso por otro proceso; no se actualiza\n", {"", "", "", ""}},
        {"crowd, json", Env("crowd") + fake + "--progress=json " + Q(in), 4, "json", "no tiene permiso para abrir",
         {"", "", "", ""}},
        {"no lock to be had is no reason to pass over", Env("unlocked") + fake + Q(in), 0,
         "Actualizados 1 de 1 mandos:\n  /dev/fake-controller: Actualización OK!!!!\n", "se usa sin reserva",
         {"", "", "", ""}},
        {"updated, the output lost", Env("bench") + fake + Q(in) + " >/dev/full", 6, "", "se han actualizado 3 mandos, pero",
         {"whole", "", "whole", "whole"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(streams);
        fs::create_directories(streams);
        Result r = RunShell(c.line + " </dev/null");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        if (c.err.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        }
        const char* names[] = {"fake-a0", "fake-a1", "fake-b0", "fake-c0"};
        for (std::size_t i = 0; i < 4; ++i) {
            const std::string got = ReadFile((streams / names[i]).string());
            const std::string seen =
                got == whole ? "whole" : got.empty() ? "" : std::to_string(Lines(got).size());
            EXPECT_EQ(seen, c.got[i]) << names[i];
            if (!got.empty() && got != whole) {
                EXPECT_EQ(whole.compare(0, got.size(), got), 0) << names[i] << ": the first reports, in order";
            }
        }
        if (c.out != "json") {
            EXPECT_EQ(r.out, c.out);
            continue;
        }
        // Every event names its controller; they run at once, so the events
        // of one come between those of another; a summary ends the run.
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_GT(lines.size(), 4u);
        EXPECT_EQ(RunShell(JsonPerLine((m_io.Path() / "stdout").string())).exitCode, 0) << r.out;
        if (std::string(c.name) == "crowd, json") {
            EXPECT_EQ(lines[0], "{\"event\":\"skipped\",\"controller\":\"/dev/fake-denied\",\"reason\":\"permission\","
                                "\"message\":\"sin permiso para abrirlo; no se actualiza\"}\n");
            EXPECT_EQ(lines[1], "{\"event\":\"skipped\",\"controller\":\"/dev/fake-busy\",\"reason\":\"busy\","
                                "\"message\":\"en uso por otro proceso; no se actualiza\"}\n");
            EXPECT_EQ(lines.back(), "{\"event\":\"summary\",\"ok\":false,\"updated\":2,\"failed\":0,\"skipped\":2,"
                                    "\"message\":\"Actualizados 2 de 4 mandos; 1 en uso, 1 sin permiso\"}\n");
            continue;
        }
        EXPECT_EQ(lines.front(), "{\"event\":\"found\",\"controller\":\"1-1\",\"place\":\"1-1\",\"serial\":\"TVX-A\","
                                 "\"path\":\"/dev/fake-a0\",\"output_report_length\":9,\"version\":\"0100\"}\n");
        EXPECT_EQ(lines.back(), "{\"event\":\"summary\",\"ok\":false,\"updated\":2,\"failed\":1,\"skipped\":0,"
                                "\"message\":\"Actualizados 2 de 3 mandos\"}\n");
        EXPECT_NE(r.out.find("{\"event\":\"result\",\"controller\":\"1-1\",\"ok\":false,\"message\":\"Error sucedido!\","
                             "\"reason\":\"error de entrada/salida\",\"sent\":100,\"of\":2049}\n"),
                  std::string::npos);
        std::size_t lastOfFirst = 0, firstOfThird = lines.size();
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            EXPECT_NE(lines[i].find("\"controller\":\"1-"), std::string::npos) << lines[i];
            if (lines[i].find("\"controller\":\"1-1\"") != std::string::npos)
                lastOfFirst = i;
            if (lines[i].find("\"event\":\"progress\",\"controller\":\"1-3\"") != std::string::npos)
                firstOfThird = std::min(firstOfThird, i);
            // 1-1 failed at its 100th report: its bar stops where it came.
            int value = -1;
            if (std::sscanf(lines[i].c_str(), "{\"event\":\"progress\",\"controller\":\"1-1\",\"value\":%d",
                            &value) == 1) {
                EXPECT_LE(value, 478);
            }
        }
        EXPECT_LT(firstOfThird, lastOfFirst) << r.out;
    }
}

TEST_F(Cli, FlashDevicePicksOneController)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1}) + "\n");
    const fs::path streams = m_io.Path() / "streams";
    const struct {
        std::string sel;
        int exitCode;
        const char* receiver;  // the interface that receives the stream; null for none
        std::string err;       // a part of stderr
    } cases[] = {
        {"serial:TVX-B", 0, "fake-b0", ""},
        {"place:1-3", 0, "fake-c0", ""},
        {"path:/dev/fake-a1", 0, "fake-a1", ""},
        {"/dev/fake-a1", 0, "fake-a1", ""},
        {"tvx-a", 0, "fake-a0", ""},  // as a serial number, in any case
        {"1-2", 0, "fake-b0", ""},
        {"PLACE:1-2", 0, "fake-b0", ""},  // the kind, too, in any case
        {"Serial:tvx-b", 0, "fake-b0", ""},
        // 1-1 is 1-1's place and 1-3's serial number.
        {"1-1", 1, nullptr,
         "tolvanex-cli: flash: --device=1-1: es a la vez un lugar y un número de serie; diga cuál con path:, place: o "
         "serial:\nPruebe «tolvanex-cli flash --help».\n"},
        {"serial:TVX-Z", 3, nullptr,
         "--device=serial:TVX-Z: ningún mando conectado tiene un número de serie «TVX-Z». Mandos conectados:\n"
         "  1-1, número de serie TVX-A: /dev/fake-a0 /dev/fake-a1\n  1-2, número de serie TVX-B: /dev/fake-b0\n"
         "  1-3, número de serie 1-1: /dev/fake-c0\nMando no conectado\n"},
        {"/dev/fake-keyboard", 3, nullptr, "no es la ruta, el lugar ni el número de serie de ningún mando conectado"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sel);
        fs::remove_all(streams);
        fs::create_directories(streams);
        Result r = RunShell(Env("bench") + "TVX_FAKE_STREAMS=" + Q(streams.string()) + " " + Q(TOLVANEX_FAKE_CLI) +
                            " flash --device=" + Q(c.sel) + " " + Q(in) + " </dev/null");
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        std::set<std::string> written;
        for (const auto& e : fs::directory_iterator(streams))
            written.insert(e.path().filename().string());
        EXPECT_EQ(written, c.receiver != nullptr ? std::set<std::string>{c.receiver} : std::set<std::string>{});
    }
    // Waited for, it is taken as it arrives.
    fs::remove_all(streams);
    fs::create_directories(streams);
    Result r = RunShell(Env("bench") + "TVX_FAKE_APPEAR_MS=600 TVX_FAKE_STREAMS=" + Q(streams.string()) + " " +
                        Q(TOLVANEX_FAKE_CLI) + " flash --wait=20 --device=place:1-2 " + Q(in) + " </dev/null");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(streams / "fake-b0"));
}

TEST_F(Cli, ManyTransfersHoldStopRequestsTogether)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1, 2, 3}) + "\n");
    const std::string record = (m_io.Path() / "reports").string();
    const std::string out = (m_io.Path() / "stdout").string();
    const std::string err = (m_io.Path() / "stderr").string();
    const struct {
        std::vector<std::string> mode;
        std::vector<int> signals;
        int ends;           // 128 + a signal, or an exit code
        bool whole;         // all three controllers received everything
        const char* said;   // a part of stderr
    } cases[] = {
        // As for one: the first request waits for every transfer, then ends the process as it would have.
        {{"--all"}, {SIGINT}, 128 + SIGINT, true, "envíos en curso: repita para abortarlos"},
        {{"--all"}, {SIGTERM, SIGTERM}, 128 + SIGTERM, false, "envíos abortados"},
        {{"--all", "--progress=json"}, {SIGTERM, SIGTERM}, 128 + SIGTERM, false, "envíos abortados"},
        // --watch ends when the transfers under way end, with how they went.
        {{"--watch"}, {SIGTERM}, 0, true, "se termina cuando acaben los envíos en curso"},
        {{"--watch"}, {SIGINT, SIGINT}, 128 + SIGINT, false, "envíos abortados"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.mode.size() << c.mode[0] << " " << c.signals.size() << " x "
                                          << strsignal(c.signals[0]));
        fs::remove(record);
        std::vector<std::string> args = {"flash"};
        args.insert(args.end(), c.mode.begin(), c.mode.end());
        args.push_back(in);
        const pid_t pid = StartFakeJob({"TVX_FAKE_HID=bench", "TVX_FAKE_DELAY_US=1000", "TVX_FAKE_RECORD=" + record},
                                       args, out, err);
        const int status = StopUnderWay(pid, record, err, c.signals);
        const int ends = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        EXPECT_EQ(ends, c.ends);
        EXPECT_EQ(SizeOf(record) == 3 * 2049u, c.whole) << SizeOf(record);
        EXPECT_NE(ReadFile(err).find(c.said), std::string::npos) << ReadFile(err);
        // Before the end, each controller told how far it came: the real counts.
        std::size_t told = 0;
        for (const std::string& line : Lines(ReadFile(c.mode.size() > 1 ? out : err))) {
            unsigned sent = 0;
            const std::size_t at = line.find(c.mode.size() > 1 ? "\"sent\":" : "envío abortado tras ");
            if (at != std::string::npos && std::sscanf(line.c_str() + line.find_first_of("0123456789", at), "%u", &sent) == 1)
                told += sent;
        }
        told += 2049 * CountIn(out, "Actualización OK!!!!");
        EXPECT_EQ(told, SizeOf(record)) << ReadFile(out) << ReadFile(err);
        if (c.mode.size() > 1) {
            EXPECT_NE(Lines(ReadFile(out)).back().find("\"skipped\":0,\"message\":\"Actualizados "), std::string::npos);
            EXPECT_NE(Lines(ReadFile(out)).back().find("\"aborted\":true}"), std::string::npos) << ReadFile(out);
        }
    }
    // A request as the controllers are being opened (at the last one's): none of them starts, and each
    // end is told in every form, one controller or many.
    const std::string log = (m_io.Path() / "bench.log").string();
    const struct {
        const char* scene;
        const char* stopAt;
        std::string options;
        std::vector<std::string> said;  // parts of stderr
        std::string shown;              // a part of stdout
        std::size_t logged;             // lines in --log
    } stops[] = {
        {"bench", "/dev/fake-c0", "--all",
         {"1-1: no se envía: se ha pedido terminar", "1-2: no se envía", "1-3: no se envía"},
         "Actualizados 0 de 3 mandos; 3 sin empezar:", 3},
        {"controller", "/dev/fake-controller", "", {"tolvanex-cli: no se envía: se ha pedido terminar\n"}, "", 1},
        {"controller", "/dev/fake-controller", "--progress=json", {"no se envía: se ha pedido terminar"},
         "{\"event\":\"result\",\"ok\":false,\"message\":\"no se envía: se ha pedido terminar\",\"reason\":\"stopped\"}", 1},
    };
    for (const auto& c : stops) {
        SCOPED_TRACE(std::string(c.scene) + " " + c.options);
        fs::remove(record);
        fs::remove(log);
        const Result r = RunShell(Env(c.scene, record) + "TVX_FAKE_STOP_AT_LOCK=" + c.stopAt + " " +
                                  Q(TOLVANEX_FAKE_CLI) + " flash " + c.options + " --log=" + Q(log) + " " + Q(in) +
                                  " </dev/null");
        EXPECT_EQ(r.exitCode, 128 + SIGINT) << r.err;
        EXPECT_EQ(SizeOf(record), 0u);
        for (const std::string& said : c.said)
            EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Mando no conectado"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find(c.shown), std::string::npos) << r.out;
        EXPECT_EQ(CountIn(log, "\"result\":\"skipped\""), c.logged) << ReadFile(log);
        EXPECT_EQ(CountIn(log, "\"reason\":\"stopped\""), c.logged) << ReadFile(log);
    }
}

TEST_F(Cli, FlashWatchUpdatesEachControllerOnceAsItAppears)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1}) + "\n");
    const std::string record = (m_io.Path() / "reports").string();
    const std::string out = (m_io.Path() / "stdout").string();
    const std::string err = (m_io.Path() / "stderr").string();
    // The bench appears after the watch has started; 1-2 fails, is told and not tried again.
    const std::string walks = (m_io.Path() / "walks").string();
    const pid_t pid = StartFakeJob({"TVX_FAKE_HID=bench", "TVX_FAKE_FAIL=1-2", "TVX_FAKE_APPEAR_MS=500",
                                    "TVX_FAKE_RECORD=" + record, "TVX_FAKE_WALKS=" + walks},
                                   {"flash", "--watch", in}, out, err);
    EXPECT_TRUE(stall::Until(
        "three results", [&] { return Lines(ReadFile(out)).size() >= 3; },
        [&] { return SizeOf(record) + SizeOf(out); }, Nap));
    // Several more looks at the same controllers update none of them again.
    const std::size_t looks = SizeOf(walks);
    EXPECT_TRUE(stall::Until(
        "three more looks", [&] { return SizeOf(walks) >= looks + 3; }, [&] { return SizeOf(walks); }, Nap));
    ::kill(pid, SIGINT);
    const int status = WaitJob(pid, record, err);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 4);
    std::vector<std::string> lines = Lines(ReadFile(out));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"1-1: Actualización OK!!!!\n", "1-2: Error sucedido!\n",
                                               "1-3: Actualización OK!!!!\n"}));
    EXPECT_EQ(SizeOf(record), 2 * 2049u + 101);  // the record counts the write that failed
    const std::string said = ReadFile(err);
    EXPECT_EQ(said.rfind("tolvanex-cli: esperando mandos; cada uno se actualiza al conectarlo (Ctrl+C para terminar)\n", 0), 0u)
        << said;
    EXPECT_NE(said.find("tolvanex-cli: 1-2: Error sucedido!\n"), std::string::npos) << said;
    EXPECT_NE(said.find("tolvanex-cli: Actualizados 2 de 3 mandos.\n"), std::string::npos) << said;
}

TEST_F(Cli, FlashWatchAccountsForEveryController)
{
    const std::string in = m_dir.Write("in.hex", Record(0, {1}) + "\n");
    const std::string out = (m_io.Path() / "stdout").string();
    const std::string err = (m_io.Path() / "stderr").string();
    const std::string walks = (m_io.Path() / "walks").string();
    const std::string log = (m_io.Path() / "bench.log").string();
    const std::string record = (m_io.Path() / "reports").string();
    const struct {
        const char* scene;
        const char* passOver;  // a path that one walk of the list passes over, once its stream is whole
        std::size_t results;   // lines on stdout before the stop request
        int exitCode;
        std::string summary;  // the last line
    } cases[] = {
        // Two updated, one held by another update, one closed to this user: all four told.
        {"crowd", "", 4, 4,
         "{\"event\":\"summary\",\"ok\":false,\"updated\":2,\"failed\":0,\"skipped\":2,"
         "\"message\":\"Actualizados 2 de 4 mandos; 1 en uso, 1 sin permiso\"}\n"},
        // A survey that misses a controller still plugged in does not make it new: updated once.
        {"bench", "/dev/fake-b0", 3, 0,
         "{\"event\":\"summary\",\"ok\":true,\"updated\":3,\"failed\":0,\"skipped\":0,"
         "\"message\":\"Actualizados 3 de 3 mandos\"}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        for (const std::string& f : {walks, record, log})
            fs::remove(f);
        const pid_t pid = StartFakeJob({std::string("TVX_FAKE_HID=") + c.scene, std::string("TVX_FAKE_PASS_OVER=") + c.passOver,
                                        "TVX_FAKE_WALKS=" + walks, "TVX_FAKE_RECORD=" + record},
                                       {"flash", "--watch", "--progress=json", "--log=" + log, in}, out, err);
        const auto results = [&] { return CountIn(out, "\"event\":\"result\"") + CountIn(out, "\"event\":\"skipped\""); };
        // Three more surveys after the one that missed a controller: time enough to update it again.
        const auto looked = [&] {
            const std::string seen = ReadFile(walks);
            return *c.passOver == '\0' || (seen.find('p') != std::string::npos && seen.size() - seen.find('p') > 3);
        };
        EXPECT_TRUE(stall::Until(
            "every controller told", [&] { return results() >= c.results && looked(); },
            [&] { return SizeOf(out) + SizeOf(walks); }, Nap));
        ::kill(pid, SIGINT);
        const int status = WaitJob(pid, out, err);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), c.exitCode);
        EXPECT_EQ(results(), c.results) << ReadFile(out);
        EXPECT_EQ(Lines(ReadFile(out)).back(), c.summary);
        EXPECT_EQ(Lines(ReadFile(log)).size(), c.results);  // and the bench's record has a line for each
    }
    // Each update sent its stream once.
    EXPECT_EQ(SizeOf(record), 3 * 2049u);

    // Stopped while a controller that did not open may still be about to: it is told as last seen.
    for (const std::string& f : {walks, log})
        fs::remove(f);
    const pid_t pid = StartFakeJob({"TVX_FAKE_HID=denied", "TVX_FAKE_WALKS=" + walks},
                                   {"flash", "--watch", "--progress=json", "--log=" + log, in}, out, err);
    EXPECT_TRUE(stall::Until(
        "the first look", [&] { return SizeOf(walks) > 0; }, [&] { return SizeOf(walks) + SizeOf(err); }, Nap));
    ::kill(pid, SIGINT);
    const int status = WaitJob(pid, out, err);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(Lines(ReadFile(out)).back(),
              "{\"event\":\"summary\",\"ok\":false,\"updated\":0,\"failed\":0,\"skipped\":1,"
              "\"message\":\"Actualizados 0 de 1 mandos; 1 sin permiso\"}\n");
    EXPECT_EQ(CountIn(log, "\"reason\":\"permission\""), 1u) << ReadFile(log);
}
