#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "cli/Cli.h"
#include "device/HidPlatform.h"
#include "device/DownloadProtocol.h"
#include "device/InterfaceSurvey.h"
#include "sys/Process.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/HexLint.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char kHoldWarning[] =
    "\ntolvanex-cli: envío en curso: repita para abortar; el mando puede quedar inutilizable\n";
const char kNotConnected[] = "Mando no conectado";
const char kUpdated[] = "Actualización OK!!!!";
const char kFailed[] = "Error sucedido!";

// The search is tried again this often while waiting for the controller.
constexpr milliseconds kWaitPoll{250};
// Progress events come at most this often.
constexpr milliseconds kJsonPeriod{5};

enum class Report {
    kText,   // messages on stdout, a bar on stderr when it is a terminal
    kQuiet,  // nothing on success; errors on stderr
    kJson,   // one JSON object per line on stdout, and nothing else there
};

void JsonLine(const std::string& object)
{
    Print(object + "\n");
    std::fflush(stdout);
}

void DrawBar(std::int32_t progress)
{
    constexpr int kWidth = 40;
    const int filled = progress * kWidth / 10000;
    std::fprintf(stderr, "\r[%-*.*s] %3d%%", kWidth, filled, "########################################",
                 progress / 100);
    std::fflush(stderr);
}

// Runs the download on a second thread; this one hands the counter to `show`
// every `period` while it runs, and once more at the end.
int DownloadWatched(CFirmwareUpdater& updater, milliseconds period, const std::function<void(std::int32_t)>& show)
{
    std::atomic<bool> done{false};
    int result = 0;
    std::thread worker([&] {
        result = updater.Download();
        done.store(true, std::memory_order_release);
    });
    while (!done.load(std::memory_order_acquire)) {
        show(updater.GetProgress());
        std::this_thread::sleep_for(period);
    }
    worker.join();
    show(updater.GetProgress());
    return result;
}

int Download(CFirmwareUpdater& updater, Report report)
{
    if (report == Report::kJson) {
        std::int32_t last = -1;
        Clock::time_point lastAt{};
        return DownloadWatched(updater, kJsonPeriod, [&](std::int32_t value) {
            if (value == last)
                return;
            // The last call comes when the transfer ends, maybe sooner than the period.
            std::this_thread::sleep_until(lastAt + kJsonPeriod);
            lastAt = Clock::now();
            last = value;
            JsonLine("{\"event\":\"progress\",\"value\":" + std::to_string(value) + ",\"of\":10000}");
        });
    }
    if (report == Report::kText && SysStderrIsTerminal()) {
        const int ok = DownloadWatched(updater, milliseconds(50), DrawBar);
        std::fputc('\n', stderr);
        return ok;
    }
    return updater.Download();
}

// How an update ended, for the user and the exit code.
int Finish(Report report, bool ok, const char* message, int status)
{
    if (report == Report::kJson)
        JsonLine(std::string("{\"event\":\"result\",\"ok\":") + (ok ? "true" : "false") +
                 ",\"message\":" + JsonString(message) + "}");
    else if (report == Report::kText)
        Print(std::string(message) + "\n");
    else if (!ok)
        std::fprintf(stderr, "%s\n", message);
    return status;
}

// A failure before any search, told on stderr (as always) and, for programs, in a result event.
int Refuse(Report report, int status)
{
    if (report == Report::kJson)
        Finish(report, false, LastComplaint().c_str(), status);
    return status;
}

// Seconds of --wait: -1 to wait until stopped; false for a value that is none.
bool WaitSeconds(const ParsedArgs& args, long* seconds)
{
    *seconds = 0;
    if (!args.Has("wait"))
        return true;
    const std::string& value = args.Value("wait");
    if (value.empty()) {
        *seconds = -1;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (errno != 0 || end == value.c_str() || *end != '\0' || n < 0)
        return false;
    *seconds = n;
    return true;
}

// Searches until the controller opens or the wait is over.
void Search(CFirmwareUpdater& updater, long waitSeconds, Report report)
{
    updater.OpenController();
    if (updater.IsControllerOpen() || waitSeconds == 0)
        return;
    const std::string bound = waitSeconds < 0 ? std::string("(Ctrl+C para dejarlo)")
                                              : "hasta " + std::to_string(waitSeconds) + " s (Ctrl+C para dejarlo)";
    if (report != Report::kQuiet)
        std::fprintf(stderr, "tolvanex-cli: esperando al mando %s...\n", bound.c_str());
    if (report == Report::kJson)
        JsonLine("{\"event\":\"waiting\",\"seconds\":" +
                 (waitSeconds < 0 ? std::string("null") : std::to_string(waitSeconds)) + "}");
    // Nothing is held during the wait: Ctrl+C ends it at once, as it ends any program.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(waitSeconds);
    while (!updater.IsControllerOpen()) {
        if (waitSeconds >= 0 && Clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(kWaitPoll);
        updater.OpenController();
    }
}

}  // namespace

int RunFlash(const ParsedArgs& args)
{
    if (args.operands.size() != 1)
        return UsageError("flash: hace falta exactamente un ARCHIVO");
    Report report = args.Has("quiet") ? Report::kQuiet : Report::kText;
    if (args.Has("progress")) {
        if (args.Value("progress") != "json")
            return UsageError("flash: --progress solo admite «json»");
        if (report == Report::kQuiet)
            return UsageError("flash: --quiet y --progress=json no van juntas");
        report = Report::kJson;
    }
    long waitSeconds = 0;
    if (!WaitSeconds(args, &waitSeconds))
        return UsageError("flash: --wait=SEGUNDOS espera un número entero de segundos");

    const std::string& path = args.operands[0];
    CFirmwareUpdater updater;
    CHexLint lint;
    if (!LoadFileOrReport(updater, path, &lint))
        return Refuse(report, kExitFile);
    lint.Finish();
    // An image no record wrote is all 0xFF: sending it would erase the controller.
    if (!updater.HasData()) {
        Complain("«" + path + "»: el archivo no contiene datos para el mando");
        return Refuse(report, kExitFile);
    }
    const bool strict = args.Has("strict");
    const std::size_t warnings = lint.Total();
    if (report != Report::kQuiet || strict)
        std::fputs(WarningLines(FileName(path), lint).c_str(), stderr);
    if (strict && warnings != 0) {
        Complain("«" + path + "»: " + std::to_string(warnings) + (warnings == 1 ? " aviso" : " avisos") +
                 " y --strict: no se envía nada");
        return Refuse(report, kExitWarnings);
    }

    Search(updater, waitSeconds, report);
    if (!updater.IsControllerOpen()) {
        if (updater.Device().PassedOverBusy())
            Complain("el mando está en uso por otro proceso");
        // Only an interface that did not open can be the controller closed to this user.
        else if (updater.Device().PassedOverUnopened() &&
                 PermissionStandsInTheWay(SurveyHidInterfaces(kControllerVendorId, kControllerProductId),
                                          kControllerVendorId, kControllerProductId))
            std::fprintf(stderr, "%s%s", kPermissionIntro, hidplat::PermissionAdvice());
        return Finish(report, false, kNotConnected, kExitNoController);
    }
    if (report == Report::kJson) {
        const CHidDevice& device = updater.Device();
        JsonLine("{\"event\":\"found\",\"path\":" +
                 JsonString(std::string(device.DevicePath(), strnlen(device.DevicePath(), kDevicePathSize))) +
                 ",\"output_report_length\":" + std::to_string(device.GetOutputReportLength()) + "}");
    }

    // A controller cut off halfway may not start again: hold the first stop request.
    SysHoldStopRequests(kHoldWarning);
    const int ok = Download(updater, report);
    const int held = SysReleaseStopRequests();
    int status = kExitOk;
    if (ok) {
        Finish(report, true, kUpdated, kExitOk);
        std::fflush(stdout);
        updater.CloseController();
    } else {
        status = Finish(report, false, kFailed, kExitDownloadFailed);
    }
    if (held != 0) {
        FinishOutput(status);
        SysEndAsStopped(held);
    }
    return status;
}

}  // namespace cli
