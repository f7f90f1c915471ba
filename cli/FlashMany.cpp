#include "cli/FlashMany.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/ControllerUpdate.h"
#include "cli/Controllers.h"
#include "cli/ExitCodes.h"
#include "cli/FleetProgress.h"
#include "cli/Messages.h"
#include "cli/Output.h"
#include "cli/PermissionHint.h"
#include "cli/StopTexts.h"
#include "device/DownloadProtocol.h"
#include "firmware/FirmwareUpdater.h"
#include "sys/Process.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often the transfers are looked at when nobody shows their progress.
constexpr milliseconds kTick{50};
// How often --watch looks for controllers that appeared.
constexpr milliseconds kWatchPoll{250};
// A controller that appears and does not open (its node may be given to the
// user a moment after it appears) is tried this long before it is told.
constexpr std::chrono::seconds kSettle{2};

// Shows the updates under way; those that ended leave `running` and are
// handed to `ended`, in the order they were started.
template <typename Ended>
void Tend(std::vector<CControllerUpdate*>& running, CFleetReporter& reporter, Ended ended)
{
    for (auto it = running.begin(); it != running.end();) {
        CControllerUpdate* u = *it;
        if (u->Ended()) {
            it = running.erase(it);
            ended(*u, u->Finish());
        } else {
            ++it;
        }
    }
    if (reporter.Period().count() != 0 && !running.empty()) {
        std::vector<const FleetEntry*> shown;
        for (CControllerUpdate* u : running)
            shown.push_back(&u->Sample());
        reporter.Progress(shown);
    }
}

milliseconds Pause(const CFleetReporter& reporter)
{
    return reporter.Period().count() != 0 ? std::min(reporter.Period(), kTick) : kTick;
}

bool AllOk(const std::vector<FleetOutcome>& outcomes)
{
    return std::all_of(outcomes.begin(), outcomes.end(), [](const FleetOutcome& o) { return o.ok; });
}

// What --all started, and what it could not.
struct Fleet {
    std::vector<std::unique_ptr<CControllerUpdate>> started;  // in the survey's order
    std::vector<CControllerUpdate*> running;
    // Those the survey offered that were not sent to: gone or taken by
    // another update before they opened, or left after a stop request.
    std::vector<std::pair<FleetEntry, std::string>> lost;
    bool busy = false;  // one was another update's
};

// Opens each controller that the survey offers and starts its transfer at
// once, so that the searches for the next ones overlap the first transfers.
Fleet StartEach(const CFirmwareUpdater& loaded, const ControllerSurvey& survey, CFleetReporter& reporter)
{
    Fleet fleet;
    for (const ControllerReport& c : survey.controllers) {
        fleet.busy = fleet.busy || c.busy;
        if (!c.hasPick)
            continue;
        auto u = std::make_unique<CControllerUpdate>(loaded, c, survey.interfaces);
        if (SysStopRequestHeld()) {
            fleet.lost.emplace_back(u->Entry(), "no se envía: se ha pedido terminar");
            continue;
        }
        if (!u->Open()) {
            fleet.busy = fleet.busy || u->PassedOverBusy();
            fleet.lost.emplace_back(u->Entry(), u->PassedOverBusy() ? "en uso por otro proceso" : kNotConnected);
            continue;
        }
        reporter.Found(u->Entry());
        u->TellLockTrouble(reporter);
        u->Start();
        fleet.running.push_back(u.get());
        fleet.started.push_back(std::move(u));
    }
    return fleet;
}

// Says why there was no controller to update; returns the status to end with.
int TellNoController(const Fleet& fleet, const ControllerSurvey& survey, CFleetReporter& reporter)
{
    if (fleet.busy)
        reporter.Note("el mando está en uso por otro proceso");
    else if (PermissionStandsInTheWay(survey.interfaces, kControllerVendorId, kControllerProductId))
        Err(PermissionHint());
    return reporter.NoController(kNotConnected, kExitNoController);
}

// Waits for every transfer started, telling each end as it comes; then the
// outcome of every controller, those started first.
std::vector<FleetOutcome> WaitForEach(Fleet& fleet, CFleetReporter& reporter)
{
    std::map<const CControllerUpdate*, bool> ended;
    while (!fleet.running.empty()) {
        Tend(fleet.running, reporter, [&](CControllerUpdate& u, bool ok) {
            ended[&u] = ok;
            if (ok)
                NoteControllerUpdated();
            reporter.Ended(u.Entry(), ok, ok ? kUpdated : kFailed);
        });
        if (!fleet.running.empty())
            std::this_thread::sleep_for(Pause(reporter));
    }
    std::vector<FleetOutcome> outcomes;
    for (const auto& u : fleet.started)
        outcomes.push_back({u->Entry().label, ended[u.get()], ended[u.get()] ? kUpdated : kFailed});
    for (const auto& [entry, why] : fleet.lost)
        outcomes.push_back({entry.label, false, why});
    return outcomes;
}

// What --watch knows of the controllers plugged in: those it met since they
// were plugged in, those that did not open yet, and the updates it made.
class CWatch {
public:
    CWatch(const CFirmwareUpdater& loaded, CFleetReporter& reporter) : m_loaded(loaded), m_reporter(reporter) {}

    // Takes the updates that ended, and shows those under way.
    void Tend()
    {
        cli::Tend(m_running, m_reporter, [&](CControllerUpdate& u, bool ok) {
            if (ok)
                NoteControllerUpdated();
            m_outcomes.push_back({u.Entry().label, ok, ok ? kUpdated : kFailed});
            m_reporter.Ended(u.Entry(), ok, ok ? kUpdated : kFailed);
            // Done with it: a failed one's handle goes too, as it would with the process.
            m_owned.erase(std::find_if(m_owned.begin(), m_owned.end(), [&](const auto& o) { return o.get() == &u; }));
        });
    }

    // Starts an update of each controller met for the first time since it
    // was plugged in, and tells of each one that cannot have one.
    void Look()
    {
        const ControllerSurvey survey = SurveyControllers();
        Forget(survey);
        for (const ControllerReport& c : survey.controllers) {
            if (m_handled.count(c.key) != 0)
                continue;
            if (c.hasPick && Start(c, survey))
                continue;
            // Another update's, or none of its interfaces opens (yet).
            const Clock::time_point first = m_unfit.emplace(c.key, Clock::now()).first->second;
            if (!c.busy && Clock::now() < first + kSettle)
                continue;
            m_handled.insert(c.key);
            m_unfit.erase(c.key);
            TellUnfit(c, survey);
        }
    }

    bool Running() const { return !m_running.empty(); }
    const std::vector<FleetOutcome>& Outcomes() const { return m_outcomes; }

private:
    // One unplugged is met anew when it comes back.
    void Forget(const ControllerSurvey& survey)
    {
        std::set<std::string> present;
        for (const ControllerReport& c : survey.controllers)
            present.insert(c.key);
        for (auto it = m_handled.begin(); it != m_handled.end();)
            it = present.count(*it) != 0 ? std::next(it) : m_handled.erase(it);
        for (auto it = m_unfit.begin(); it != m_unfit.end();)
            it = present.count(it->first) != 0 ? std::next(it) : m_unfit.erase(it);
    }

    // False when it does not open.
    bool Start(const ControllerReport& c, const ControllerSurvey& survey)
    {
        auto u = std::make_unique<CControllerUpdate>(m_loaded, c, survey.interfaces);
        if (!u->Open())
            return false;
        m_handled.insert(c.key);
        m_unfit.erase(c.key);
        m_reporter.Found(u->Entry());
        u->TellLockTrouble(m_reporter);
        u->Start();
        m_running.push_back(u.get());
        m_owned.push_back(std::move(u));
        return true;
    }

    void TellUnfit(const ControllerReport& c, const ControllerSurvey& survey)
    {
        std::vector<InterfaceReport> own;
        for (std::size_t at : c.interfaces)
            own.push_back(survey.interfaces[at]);
        const bool permission = PermissionStandsInTheWay(own, kControllerVendorId, kControllerProductId);
        m_reporter.Ended(EntryOf(c, survey.interfaces), false,
                         c.busy       ? std::string("en uso por otro proceso; no se actualiza")
                         : permission ? std::string("sin permiso para abrirlo; no se actualiza")
                                      : std::string(kNotConnected));
        if (permission && !m_hinted) {
            m_hinted = true;
            Err(PermissionHint());
        }
    }

    const CFirmwareUpdater& m_loaded;
    CFleetReporter& m_reporter;
    std::set<std::string> m_handled;                   // controllers met since they were plugged in
    std::map<std::string, Clock::time_point> m_unfit;  // controllers met that did not open yet
    std::vector<std::unique_ptr<CControllerUpdate>> m_owned;
    std::vector<CControllerUpdate*> m_running;
    std::vector<FleetOutcome> m_outcomes;
    bool m_hinted = false;  // the permission hint was given
};

}  // namespace

int FlashAll(const CFirmwareUpdater& loaded, ReportStyle style)
{
    const std::unique_ptr<CFleetReporter> reporter = MakeFleetReporter(style, false);
    const ControllerSurvey survey = SurveyControllers();

    // Cut off halfway, a controller may not start again: the first stop
    // request waits for all of them.
    reporter->SayIfStopped(true);
    SysHoldStopRequests(kManyTransfers.held);
    Fleet fleet = StartEach(loaded, survey, *reporter);
    if (fleet.started.empty()) {
        const int held = SysReleaseStopRequests();
        reporter->SayIfStopped(false);
        if (held != 0)
            SysEndAsStopped(held);
        return TellNoController(fleet, survey, *reporter);
    }
    for (const auto& [entry, why] : fleet.lost)
        reporter->Ended(entry, false, why);
    const std::vector<FleetOutcome> outcomes = WaitForEach(fleet, *reporter);
    const int held = SysReleaseStopRequests();
    reporter->SayIfStopped(false);

    const int status = reporter->Summary(outcomes, AllOk(outcomes) ? kExitOk : kExitDownloadFailed);
    if (held != 0) {
        FinishOutput(status);
        SysEndAsStopped(held);
    }
    return status;
}

int FlashWatch(const CFirmwareUpdater& loaded, ReportStyle style)
{
    const std::unique_ptr<CFleetReporter> reporter = MakeFleetReporter(style, true);
    // Held from the start: a stop request lets the transfers under way end.
    // Said here rather than by the hold, since it depends on what runs.
    reporter->SayIfStopped(true);
    SysHoldStopRequests(nullptr);
    reporter->Watching();

    CWatch watch(loaded, *reporter);
    bool stopping = false;
    Clock::time_point nextLook{};
    for (;;) {
        watch.Tend();
        if (SysStopRequestHeld() && !stopping) {
            stopping = true;
            if (watch.Running())
                reporter->Note(kWatchEnding);
        }
        if (stopping && !watch.Running())
            break;
        if (!stopping && Clock::now() >= nextLook) {
            nextLook = Clock::now() + kWatchPoll;
            watch.Look();
        }
        std::this_thread::sleep_for(Pause(*reporter));
    }
    SysReleaseStopRequests();
    reporter->SayIfStopped(false);
    return reporter->Summary(watch.Outcomes(), AllOk(watch.Outcomes()) ? kExitOk : kExitDownloadFailed);
}

}  // namespace cli
