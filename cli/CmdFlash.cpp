#include "cli/CmdFlash.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "cli/Controllers.h"
#include "cli/ExitCodes.h"
#include "cli/FlashMany.h"
#include "cli/LintText.h"
#include "cli/LoadFile.h"
#include "cli/Messages.h"
#include "cli/Output.h"
#include "cli/PermissionHint.h"
#include "cli/Progress.h"
#include "cli/StopTexts.h"
#include "cli/UsageError.h"
#include "device/DownloadProtocol.h"
#include "device/InterfaceSurvey.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/HexLint.h"
#include "sys/Process.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// The search is tried again this often while waiting for the controller.
constexpr std::chrono::milliseconds kWaitPoll{250};

// Runs the download; when the reporter wants to show progress, on a second
// thread while this one hands it the counter every period, and once at the end.
int Download(CFirmwareUpdater& updater, CProgressReporter& reporter)
{
    const std::chrono::milliseconds period = reporter.Period();
    if (period.count() == 0)
        return updater.Download();
    std::atomic<bool> done{false};
    int result = 0;
    std::thread worker([&] {
        result = updater.Download();
        done.store(true, std::memory_order_release);
    });
    while (!done.load(std::memory_order_acquire)) {
        reporter.Progress(updater.GetProgress());
        std::this_thread::sleep_for(period);
    }
    worker.join();
    // A transfer cut short shows how far it came, not the counter's end.
    reporter.Progress(result ? updater.GetProgress() : updater.GetProgressReached());
    return result;
}

// The longest --wait: a year. Longer is a typing mistake, and the deadline
// must not overflow the clock.
constexpr long kMaxWaitSeconds = 365L * 24 * 60 * 60;

// Seconds of --wait: -1 to wait until stopped; false for a value that is none
// or longer than kMaxWaitSeconds.
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
    if (errno != 0 || end == value.c_str() || *end != '\0' || n < 0 || n > kMaxWaitSeconds)
        return false;
    *seconds = n;
    return true;
}

// One search, within --device's selection when there is one: what SEL names
// is looked up anew each time, so that a wait can see it arrive. Where SEL
// names nothing, nothing opens, and *unknown says so.
void TryOpen(CFirmwareUpdater& updater, const std::string& device, std::string* unknown)
{
    if (!device.empty()) {
        DeviceSelection selection;
        unknown->clear();
        if (ResolveDevice(device, SurveyControllers(), &selection, unknown) != Resolved::kFound)
            selection = DeviceSelection{DeviceSelection::Kind::kPath, std::string()};  // no interface has that path
        else
            unknown->clear();
        updater.Device().Select(selection);
    }
    updater.OpenController();
}

// Searches until the controller opens or the wait is over.
void Search(CFirmwareUpdater& updater, const std::string& device, long waitSeconds, CProgressReporter& reporter,
            std::string* unknown)
{
    TryOpen(updater, device, unknown);
    if (updater.IsControllerOpen() || waitSeconds == 0)
        return;
    reporter.Waiting(waitSeconds);
    reporter.SayIfStopped(CProgressReporter::Stage::kWaiting);
    // Nothing is held during the wait: Ctrl+C ends it at once, as it ends any program.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(waitSeconds);
    while (!updater.IsControllerOpen()) {
        if (waitSeconds >= 0 && Clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(kWaitPoll);
        TryOpen(updater, device, unknown);
    }
}

// The options that pick controllers, checked together; false after a usage error.
bool PickOptions(const ParsedArgs& args, std::string* device, int* status)
{
    const bool all = args.Has("all");
    const bool watch = args.Has("watch");
    if (all && watch) {
        *status = UsageError("flash: --all y --watch no van juntas");
        return false;
    }
    if ((all || watch) && args.Has("device")) {
        *status = UsageError(std::string("flash: --device no va con --") + (all ? "all" : "watch"));
        return false;
    }
    if ((all || watch) && args.Has("wait")) {
        *status = UsageError(std::string("flash: --wait no va con --") + (all ? "all" : "watch") +
                             " (--watch espera a cada mando)");
        return false;
    }
    if (args.Has("device")) {
        *device = args.Value("device");
        if (device->empty()) {
            *status = UsageError("flash: --device=SEL necesita SEL (path:RUTA, place:LUGAR o serial:NÚMERO)");
            return false;
        }
    }
    return true;
}

}  // namespace

int RunFlash(const ParsedArgs& args)
{
    ReportStyle style = args.Has("quiet") ? ReportStyle::kQuiet : ReportStyle::kText;
    if (args.Has("progress")) {
        if (args.Value("progress") != "json")
            return UsageError("flash: --progress solo admite «json»");
        if (style == ReportStyle::kQuiet)
            return UsageError("flash: --quiet y --progress=json no van juntas");
        style = ReportStyle::kJson;
    }
    long waitSeconds = 0;
    if (!WaitSeconds(args, &waitSeconds))
        return UsageError("flash: --wait=SEGUNDOS espera un número entero de segundos, de 0 a " +
                          std::to_string(kMaxWaitSeconds) + " (un año)");
    std::string device;
    int refused = kExitOk;
    if (!PickOptions(args, &device, &refused))
        return refused;
    const std::unique_ptr<CProgressReporter> reporter = MakeProgressReporter(style);

    const std::string& path = args.operands[0];
    CFirmwareUpdater updater;
    CHexLint lint;
    if (!LoadFileOrReport(updater, path, &lint))
        return reporter->Refused(kExitFile);
    lint.Finish();
    const bool strict = args.Has("strict");
    const std::size_t warnings = lint.Total();
    // An image no record wrote is all 0xFF: sending it would erase the controller.
    // The warnings tell why no record wrote.
    if (!updater.HasData() || style != ReportStyle::kQuiet || strict)
        Err(WarningLines(FileName(path), lint));
    if (!updater.HasData()) {
        Complain("«" + Shown(path) + "»: el archivo no contiene datos para el mando");
        return reporter->Refused(kExitFile);
    }
    if (strict && warnings != 0) {
        Complain("«" + Shown(path) + "»: " + std::to_string(warnings) + (warnings == 1 ? " aviso" : " avisos") +
                 " y --strict: no se envía nada");
        return reporter->Refused(kExitWarnings);
    }

    if (args.Has("all"))
        return FlashAll(updater, style);
    if (args.Has("watch"))
        return FlashWatch(updater, style);

    std::string unknown;
    Search(updater, device, waitSeconds, *reporter, &unknown);
    reporter->SayIfStopped(CProgressReporter::Stage::kNone);
    if (!updater.IsControllerOpen()) {
        DeviceSelection selection;
        std::string why;
        if (!device.empty() && ResolveDevice(device, SurveyControllers(), &selection, &why) == Resolved::kAmbiguous) {
            Complain(why);
            return reporter->Refused(kExitUsage);
        }
        if (!unknown.empty())
            Complain(unknown);
        else if (updater.Device().PassedOverBusy())
            Complain("el mando está en uso por otro proceso");
        // Only an interface that did not open can be the controller closed to this user.
        else if (updater.Device().PassedOverUnopened() &&
                 PermissionStandsInTheWay(SurveyHidInterfaces(kControllerVendorId, kControllerProductId),
                                          kControllerVendorId, kControllerProductId))
            Err(PermissionHint());
        return reporter->Result(false, kNotConnected, kExitNoController);
    }
    const CHidDevice& link = updater.Device();
    reporter->Found(std::string(link.DevicePath(), strnlen(link.DevicePath(), kDevicePathSize)),
                    link.GetOutputReportLength());
    if (!link.LockTrouble().empty())
        Complain("no se puede reservar el mando (" + link.LockTrouble() +
                 "): se usa sin reserva, y otra actualización podría usarlo a la vez");

    // A controller cut off halfway may not start again: hold the first stop request.
    reporter->SayIfStopped(CProgressReporter::Stage::kTransfer);
    SysHoldStopRequests(kOneTransfer.held);
    const int ok = Download(updater, *reporter);
    const int held = SysReleaseStopRequests();
    reporter->SayIfStopped(CProgressReporter::Stage::kNone);
    reporter->TransferEnded();
    int status = kExitOk;
    if (ok) {
        NoteControllerUpdated();
        reporter->Result(true, kUpdated, kExitOk);
        FlushOutput();
        updater.CloseController();
    } else {
        status = reporter->Result(false, kFailed, kExitDownloadFailed);
    }
    if (held != 0) {
        FinishOutput(status);
        SysEndAsStopped(held);
    }
    return status;
}

}  // namespace cli
