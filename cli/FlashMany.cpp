#include "cli/FlashMany.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cli/BenchLog.h"
#include "cli/ControllerUpdate.h"
#include "cli/Controllers.h"
#include "cli/ExitCodes.h"
#include "cli/FleetProgress.h"
#include "cli/KeptOpen.h"
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

milliseconds Pause(const CFleetReporter& reporter)
{
    return reporter.Period().count() != 0 ? std::min(reporter.Period(), kTick) : kTick;
}

// 0 when every controller met was updated; 3 when none was sent to, only
// passed over; else 4.
int StatusOf(const std::vector<FleetOutcome>& outcomes)
{
    bool allOk = true;
    bool sent = false;
    for (const FleetOutcome& o : outcomes) {
        sent = sent || o.skip == Skip::kNone;
        allOk = allOk && o.skip == Skip::kNone && o.transfer.ok;
    }
    return allOk ? kExitOk : sent ? kExitDownloadFailed : kExitNoController;
}

// The updates under way, and what each one's end and each controller passed
// over are told to: the display, the log, the run's outcomes.
class CFleet {
public:
    CFleet(CFleetReporter& reporter, CBenchLog& log) : m_reporter(reporter), m_log(log) {}

    void Start(std::unique_ptr<CControllerUpdate> u)
    {
        m_reporter.Found(u->Entry());
        u->TellLockTrouble(m_reporter);
        u->Start([this] {
            const std::lock_guard<std::mutex> lock(m_endMutex);
            m_endNews = true;
            m_endSeen.notify_one();
        });
        m_running.emplace_back(m_met++, std::move(u));
    }

    // A controller that is not sent to: told, with why.
    void PassOver(FleetEntry entry, Skip skip, std::string message)
    {
        FleetOutcome o;
        o.entry = std::move(entry);
        o.skip = skip;
        o.message = std::move(message);
        Tell(m_met++, o);
        if (skip == Skip::kPermission && !m_hinted) {
            m_hinted = true;
            Err(PermissionHint());
        }
    }

    // Takes the updates that ended, and shows those under way. A stop request
    // held is told once; after a second one, every transfer stops.
    void Tend(const char* held)
    {
        for (auto it = m_running.begin(); it != m_running.end();) {
            if (!it->second->Ended()) {
                ++it;
                continue;
            }
            // Done with it: a failed one's handle goes too, as it would with the process.
            const std::size_t met = it->first;
            const std::unique_ptr<CControllerUpdate> u = std::move(it->second);
            it = m_running.erase(it);
            const FleetOutcome o = u->Finish();
            if (o.transfer.ok)
                NoteControllerUpdated();
            Tell(met, o);
        }
        if (SysStopRequestHeld() && !m_held) {
            m_held = true;
            m_reporter.StopHeld(m_running.empty() ? nullptr : held);
        }
        if (SysAbortRequested() && !m_aborted) {
            m_aborted = true;
            for (const auto& [met, u] : m_running)
                u->Abort();
        }
        if (m_reporter.Period().count() != 0 && !m_running.empty()) {
            std::vector<const FleetEntry*> shown;
            for (const auto& [met, u] : m_running)
                shown.push_back(&u->Sample());
            m_reporter.Progress(shown);
        }
    }

    bool Running() const { return !m_running.empty(); }
    // Waits `most` at the longest, and not past the end of an update.
    void Wait(milliseconds most)
    {
        std::unique_lock<std::mutex> lock(m_endMutex);
        m_endSeen.wait_for(lock, most, [this] { return m_endNews; });
        m_endNews = false;
    }
    bool Aborted() const { return m_aborted; }
    // In the order the controllers were met.
    std::vector<FleetOutcome> Outcomes() const
    {
        std::vector<FleetOutcome> outcomes;
        for (const auto& [met, o] : m_outcomes)
            outcomes.push_back(o);
        return outcomes;
    }

private:
    void Tell(std::size_t met, const FleetOutcome& o)
    {
        m_reporter.Ended(o);
        m_log.Record(o);
        m_outcomes.emplace(met, o);
    }

    CFleetReporter& m_reporter;
    CBenchLog& m_log;
    // An update that ends says so at once: its end is told without waiting out a pause.
    std::mutex m_endMutex;
    std::condition_variable m_endSeen;
    bool m_endNews = false;                                                             // under m_endMutex
    std::size_t m_met = 0;                                                              // controllers met so far
    std::vector<std::pair<std::size_t, std::unique_ptr<CControllerUpdate>>> m_running;  // by when they were met
    std::map<std::size_t, FleetOutcome> m_outcomes;
    bool m_hinted = false;  // the permission hint was given
    bool m_held = false;
    bool m_aborted = false;
};

// What --all does with each controller of the survey: those it can update
// are opened first and then started together, so that no search competes
// with transfers already under way (where the transfers keep the machine
// busy, the last controller would start late); the others are told with why
// they are passed over, all in the survey's order.
void StartEach(const CFirmwareUpdater& loaded, const ControllerSurvey& survey, CFleet& fleet)
{
    struct Met {
        const ControllerReport* c;
        std::unique_ptr<CControllerUpdate> update;  // null: passed over, for `skip`
        Skip skip;
    };
    std::vector<Met> met;
    for (const ControllerReport& c : survey.controllers) {
        Skip skip = SkipOf(c, survey.interfaces);
        if (skip == Skip::kNone && SysStopRequestHeld())
            skip = Skip::kStopped;
        if (skip == Skip::kNone) {
            auto u = std::make_unique<CControllerUpdate>(loaded, c, survey.interfaces);
            if (u->Open()) {
                met.push_back({&c, std::move(u), Skip::kNone});
                continue;
            }
            // Gone, or taken by another update, since the survey.
            skip = u->PassedOverBusy() ? Skip::kBusy : Skip::kOpen;
        }
        met.push_back({&c, nullptr, skip});
    }
    for (Met& m : met) {
        if (m.update && SysStopRequestHeld()) {
            m.update.reset();  // opened, never sent to
            m.skip = Skip::kStopped;
        }
        if (m.update)
            fleet.Start(std::move(m.update));
        else
            fleet.PassOver(EntryOf(*m.c, survey.interfaces), m.skip, SkipMessage(m.skip, *m.c, survey.interfaces));
    }
}

// What --watch knows of the controllers plugged in: those it met since they
// were plugged in, and those that did not open yet.
class CWatch {
public:
    CWatch(const CFirmwareUpdater& loaded, CFleet& fleet) : m_loaded(loaded), m_fleet(fleet) {}

    // Starts an update of each controller met for the first time since it
    // was plugged in, and tells of each one that cannot have one.
    void Look()
    {
        CKeptOpen awake(kControllerVendorId, kControllerProductId);
        const ControllerSurvey survey = SurveyControllers();
        Forget(survey);
        for (const ControllerReport& c : survey.controllers) {
            if (m_handled.count(c.key) != 0)
                continue;
            Skip skip = SkipOf(c, survey.interfaces);
            if (skip == Skip::kNone) {
                auto u = std::make_unique<CControllerUpdate>(m_loaded, c, survey.interfaces);
                if (u->Open()) {
                    m_handled.insert(c.key);
                    m_unfit.erase(c.key);
                    m_fleet.Start(std::move(u));
                    continue;
                }
                skip = u->PassedOverBusy() ? Skip::kBusy : Skip::kOpen;
            }
            // Another update's is told at once; one that does not open may be about to.
            const Clock::time_point first = m_unfit.emplace(c.key, Clock::now()).first->second;
            if (skip != Skip::kBusy && Clock::now() < first + kSettle)
                continue;
            m_handled.insert(c.key);
            m_unfit.erase(c.key);
            m_fleet.PassOver(EntryOf(c, survey.interfaces), skip, SkipMessage(skip, c, survey.interfaces));
        }
    }

private:
    // One unplugged is met anew when it comes back. A survey can miss one
    // that is still there (an unplug during the survey shifts the system's
    // list under it), so only one missing from two surveys in a row is gone.
    void Forget(const ControllerSurvey& survey)
    {
        std::set<std::string> present;
        for (const ControllerReport& c : survey.controllers)
            present.insert(c.key);
        std::set<std::string> known(m_handled);
        for (const auto& [key, since] : m_unfit)
            known.insert(key);
        for (const std::string& key : known) {
            if (present.count(key) != 0) {
                m_missing.erase(key);
            } else if (++m_missing[key] >= 2) {
                m_handled.erase(key);
                m_unfit.erase(key);
                m_missing.erase(key);
            }
        }
    }

    const CFirmwareUpdater& m_loaded;
    CFleet& m_fleet;
    std::set<std::string> m_handled;                   // controllers met since they were plugged in
    std::map<std::string, Clock::time_point> m_unfit;  // controllers met that did not open yet
    std::map<std::string, int> m_missing;              // known ones that the last surveys missed, how many in a row
};

}  // namespace

int FlashAll(const CFirmwareUpdater& loaded, ReportStyle style, CBenchLog& log)
{
    const std::unique_ptr<CFleetReporter> reporter = MakeFleetReporter(style, false);
    CKeptOpen awake(kControllerVendorId, kControllerProductId);
    const ControllerSurvey survey = SurveyControllers();

    // Cut off halfway, a controller may not start again: the first stop
    // request waits for all of them.
    reporter->SayIfStopped(true);
    SysHoldStopRequests(nullptr);
    CFleet fleet(*reporter, log);
    StartEach(loaded, survey, fleet);
    awake.Release();
    while (fleet.Running()) {
        fleet.Tend(kManyTransfers.held);
        if (fleet.Running())
            fleet.Wait(Pause(*reporter));
    }
    const int held = SysReleaseStopRequests();
    reporter->SayIfStopped(false);

    const std::vector<FleetOutcome> outcomes = fleet.Outcomes();
    int status = kExitNoController;
    if (outcomes.empty()) {
        status = reporter->NoController(kExitNoController);
    } else {
        status = reporter->Summary(outcomes, StatusOf(outcomes), fleet.Aborted());
        if (status == kExitNoController)
            Err(std::string(kNotConnected) + "\n");
    }
    if (held != 0) {
        FinishOutput(status);
        SysEndAsStopped(held);
    }
    return status;
}

int FlashWatch(const CFirmwareUpdater& loaded, ReportStyle style, CBenchLog& log)
{
    const std::unique_ptr<CFleetReporter> reporter = MakeFleetReporter(style, true);
    // Held from the start: a stop request lets the transfers under way end.
    reporter->SayIfStopped(true);
    SysHoldStopRequests(nullptr);
    reporter->Watching();

    CFleet fleet(*reporter, log);
    CWatch watch(loaded, fleet);
    Clock::time_point nextLook{};
    for (;;) {
        fleet.Tend(kWatchEnding);
        if (SysStopRequestHeld()) {
            if (!fleet.Running())
                break;
        } else if (Clock::now() >= nextLook) {
            nextLook = Clock::now() + kWatchPoll;
            watch.Look();
        }
        fleet.Wait(Pause(*reporter));
    }
    const int held = SysReleaseStopRequests();
    reporter->SayIfStopped(false);
    const std::vector<FleetOutcome> outcomes = fleet.Outcomes();
    const int status = reporter->Summary(outcomes, StatusOf(outcomes), fleet.Aborted());
    if (fleet.Aborted()) {
        FinishOutput(status);
        SysEndAsStopped(held);
    }
    return status;
}

}  // namespace cli
