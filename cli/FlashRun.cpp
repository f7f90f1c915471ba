#include "cli/FlashRun.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "cli/BenchLog.h"
#include "cli/ExitCodes.h"
#include "cli/FlashRequest.h"
#include "cli/Fleet.h"
#include "cli/Meet.h"
#include "cli/Messages.h"
#include "cli/Output.h"
#include "cli/Reporter.h"
#include "cli/StopTexts.h"
#include "sys/Process.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often the transfers are looked at when nobody shows their progress.
constexpr milliseconds kTick{50};

std::unique_ptr<CMeet> MeetOf(const CFirmwareUpdater& loaded, const FlashRequest& request, CReporter& reporter)
{
    switch (request.mode) {
    case FlashMode::kAll:
        return MeetAll(loaded);
    case FlashMode::kWatch:
        return MeetEachAsItAppears(loaded);
    case FlashMode::kOne:
        break;
    }
    return MeetOne(loaded, request.device, request.waitSeconds, reporter);
}

// What the first stop request says while transfers run.
const char* HeldText(const FlashRequest& request)
{
    return request.mode == FlashMode::kWatch ? kWatchEnding
           : request.mode == FlashMode::kAll ? kManyTransfers.held
                                             : kOneTransfer.held;
}

bool AnyStopped(const std::vector<FleetOutcome>& outcomes)
{
    return std::any_of(outcomes.begin(), outcomes.end(),
                       [](const FleetOutcome& o) { return o.skip == Skip::kStopped; });
}

}  // namespace

int FlashLoaded(const CFirmwareUpdater& loaded, const FlashRequest& request, CReporter& reporter, CBenchLog& log,
                COutput& out)
{
    const std::unique_ptr<CMeet> meet = MeetOf(loaded, request, reporter);
    const milliseconds pause = reporter.Period().count() != 0 ? std::min(reporter.Period(), kTick) : kTick;

    // Held from before the first controller opens to after the last one is
    // told: a controller cut off halfway may not start again, and a request
    // that lands between its open and its start must still be told.
    reporter.SayIfStopped(true);
    SysHoldStopRequests(nullptr);
    if (request.mode == FlashMode::kWatch)
        reporter.Watching();
    CFleet fleet(reporter, log, out);
    Clock::time_point nextLook{};
    for (;;) {
        fleet.Tend(HeldText(request));
        if (SysStopRequestHeld()) {
            if (!fleet.Running())
                break;
        } else if (!meet->Done()) {
            if (Clock::now() >= nextLook) {
                meet->Look(fleet);
                nextLook = Clock::now() + meet->Poll();
                continue;
            }
        } else if (!fleet.Running()) {
            break;
        }
        fleet.Wait(pause);
    }
    meet->Finish(fleet);
    const int held = SysReleaseStopRequests();
    reporter.SayIfStopped(false);

    const std::vector<FleetOutcome> outcomes = fleet.Outcomes();
    int status = kExitNoController;
    if (outcomes.empty() && request.mode != FlashMode::kWatch) {
        if (held != 0 && request.mode == FlashMode::kOne) {
            reporter.WaitAborted();
            out.Finish(status);
            SysEndAsStopped(held);
        }
        status = meet->NoneMet(reporter, out);
    } else {
        status = reporter.Summary(outcomes, StatusOf(outcomes), fleet.Aborted(), log.Lost());
        if (request.mode == FlashMode::kAll && status == kExitNoController && !AnyStopped(outcomes))
            Err(std::string(kNotConnected) + "\n");
    }
    // --watch ends by a stop request: only an abort ends it as stopped.
    if (held != 0 && (request.mode != FlashMode::kWatch || fleet.Aborted())) {
        out.Finish(status);
        SysEndAsStopped(held);
    }
    return status;
}

}  // namespace cli
