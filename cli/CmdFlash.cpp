#include "cli/CmdFlash.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "cli/BenchLog.h"
#include "cli/ControllerUpdate.h"
#include "cli/Controllers.h"
#include "cli/ExitCodes.h"
#include "cli/FlashMany.h"
#include "cli/FlashRequest.h"
#include "cli/Input.h"
#include "cli/LintText.h"
#include "cli/Messages.h"
#include "cli/Output.h"
#include "cli/PermissionHint.h"
#include "cli/Progress.h"
#include "cli/RunPaths.h"
#include "cli/StopTexts.h"
#include "cli/Transfer.h"
#include "cli/UsageError.h"
#include "device/DownloadProtocol.h"
#include "device/InterfaceSurvey.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/HexLint.h"
#include "sys/Process.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

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

// The search is tried again this often while waiting for the controller.
constexpr std::chrono::milliseconds kWaitPoll{250};

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

// Loads FILE or the catalogue's release, checking it on the way as check
// does. False when nothing is to be sent: why is on stderr, and *status is
// the status to end with.
bool LoadForFlash(const ParsedArgs& args, const FlashRequest& request, CFirmwareUpdater& updater,
                  CProgressReporter& reporter, int* status)
{
    CInput input;
    if (!input.Find(args, status) || !LogIsNoInput(args, input, request, status)) {
        *status = reporter.Refused(*status);
        return false;
    }
    const std::string& path = input.Path();
    CHexLint lint;
    if (!input.Load(updater, &lint)) {
        *status = reporter.Refused(kExitFile);
        return false;
    }
    lint.Finish();
    const std::size_t warnings = lint.Total();
    // An image no record wrote is all 0xFF: sending it would erase the controller.
    // The warnings tell why no record wrote.
    if (!updater.HasData() || request.style != ReportStyle::kQuiet || request.strict)
        Err(WarningLines(FileName(path), lint));
    if (!updater.HasData()) {
        Complain("«" + Shown(path) + "»: el archivo no contiene datos para el mando");
        *status = reporter.Refused(kExitFile);
        return false;
    }
    if (request.strict && warnings != 0) {
        Complain("«" + Shown(path) + "»: " + std::to_string(warnings) + (warnings == 1 ? " aviso" : " avisos") +
                 " y --strict: no se envía nada");
        *status = reporter.Refused(kExitWarnings);
        return false;
    }
    return true;
}

// Says why no controller opened; returns the status to end with.
int TellNotOpened(CFirmwareUpdater& updater, const std::string& device, const std::string& unknown,
                  CProgressReporter& reporter)
{
    DeviceSelection selection;
    std::string why;
    if (!device.empty() && ResolveDevice(device, SurveyControllers(), &selection, &why) == Resolved::kAmbiguous) {
        Complain(why);
        return reporter.Refused(kExitUsage);
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
    return reporter.Result(false, kNotConnected, kExitNoController);
}

// How often the transfer is looked at when nobody shows its progress.
constexpr std::chrono::milliseconds kTick{50};

// Sends the image, and shows its progress when the reporter wants it. The
// first stop request is told; a second one stops the transfer.
TransferOutcome Send(CFirmwareUpdater& updater, CProgressReporter& reporter)
{
    CTransfer transfer(updater);
    transfer.Start();
    const std::chrono::milliseconds period = reporter.Period();
    bool held = false;
    bool aborted = false;
    do {
        if (SysStopRequestHeld() && !held) {
            held = true;
            reporter.StopHeld(kOneTransfer.held);
        }
        if (SysAbortRequested() && !aborted) {
            aborted = true;
            transfer.Abort();
        }
        if (period.count() != 0)
            reporter.Progress(transfer.Progress());
    } while (!transfer.WaitFor(period.count() != 0 ? period : kTick));
    transfer.Finish();
    if (period.count() != 0)
        reporter.Progress(transfer.Progress());
    return transfer.Outcome(Verbose());
}

// Tells how the transfer ended; returns the status to end with. An updated
// controller is let go once that is said.
int TellResult(CFirmwareUpdater& updater, const TransferOutcome& outcome, CProgressReporter& reporter)
{
    if (!outcome.ok)
        return reporter.TransferResult(outcome, kExitDownloadFailed);
    NoteControllerUpdated();
    reporter.TransferResult(outcome, kExitOk);
    FlushOutput();
    updater.CloseController();
    return kExitOk;
}

// The loaded image to one controller: the first, or the one --device names.
int FlashOne(CFirmwareUpdater& updater, const FlashRequest& request, CProgressReporter& reporter, CBenchLog& log)
{
    std::string unknown;
    Search(updater, request.device, request.waitSeconds, reporter, &unknown);
    reporter.SayIfStopped(CProgressReporter::Stage::kNone);
    if (!updater.IsControllerOpen())
        return TellNotOpened(updater, request.device, unknown, reporter);
    const CHidDevice& link = updater.Device();
    FleetOutcome record;
    record.entry = EntryOfOpen(link);
    reporter.Found(record.entry.path, link.GetOutputReportLength(), record.entry.version);
    if (!link.LockTrouble().empty())
        Complain(LockTroubleNote(link.LockTrouble()));

    // A controller cut off halfway may not start again: hold the first stop request.
    reporter.SayIfStopped(CProgressReporter::Stage::kTransfer);
    SysHoldStopRequests(nullptr);
    record.transfer = Send(updater, reporter);
    const int held = SysReleaseStopRequests();
    reporter.SayIfStopped(CProgressReporter::Stage::kNone);
    reporter.TransferEnded();
    record.message = OutcomeMessage(record.transfer);
    log.Record(record);
    const int status = TellResult(updater, record.transfer, reporter);
    if (held != 0) {
        FinishOutput(status);
        SysEndAsStopped(held);
    }
    return status;
}

}  // namespace

int RunFlash(const ParsedArgs& args)
{
    // A reader of the progress that goes away must not cut a transfer short:
    // writes to it fail instead, and the end tells it.
    SysIgnoreClosedPipes();
    FlashRequest request;
    CBenchLog log;
    if (!ReadRequest(args, &request, log))
        return kExitUsage;
    const std::unique_ptr<CProgressReporter> reporter = MakeProgressReporter(request.style);
    CFirmwareUpdater updater;
    int status = kExitOk;
    if (!LoadForFlash(args, request, updater, *reporter, &status))
        return status;
    log.SetChecksum(updater.ComputeChecksum());
    if (request.all)
        status = FlashAll(updater, request.style, log);
    else if (request.watch)
        status = FlashWatch(updater, request.style, log);
    else
        status = FlashOne(updater, request, *reporter, log);
    // The controllers were updated, but the bench's record of it is not whole.
    return log.Lost() && status == kExitOk ? kExitOutputLost : status;
}

}  // namespace cli
