#include "cli/FlashMany.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/Controllers.h"
#include "cli/ExitCodes.h"
#include "cli/FleetProgress.h"
#include "cli/Messages.h"
#include "cli/Output.h"
#include "cli/PermissionHint.h"
#include "cli/StopTexts.h"
#include "cli/Transfer.h"
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

FleetEntry EntryOf(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces)
{
    FleetEntry entry;
    entry.label = ControllerLabel(c, interfaces);
    entry.place = c.place;
    entry.serial = c.serial;
    return entry;
}

// One controller's update: its own updater, held to that controller alone,
// and the transfer that sends to it.
class CControllerUpdate {
public:
    CControllerUpdate(const CFirmwareUpdater& loaded, const ControllerReport& c,
                      const std::vector<InterfaceReport>& interfaces)
        : m_entry(EntryOf(c, interfaces))
    {
        m_updater.CopyImageFrom(loaded);
        m_updater.Device().Select(DeviceSelection{DeviceSelection::Kind::kController, c.key});
    }

    // False when it no longer opens: gone, or taken by another update meanwhile.
    bool Open()
    {
        m_updater.OpenController();
        if (!m_updater.IsControllerOpen())
            return false;
        m_entry.path = OpenPath(m_updater.Device());
        m_entry.outputReportLength = m_updater.Device().GetOutputReportLength();
        return true;
    }
    bool PassedOverBusy() { return m_updater.Device().PassedOverBusy(); }
    const std::string& LockTrouble() { return m_updater.Device().LockTrouble(); }

    void Start() { m_transfer.Start(); }
    bool Ended() const { return m_transfer.Ended(); }
    // What to show.
    const FleetEntry& Sample()
    {
        m_entry.progress = m_transfer.Progress();
        return m_entry;
    }
    // Once Ended: true when every report went out.
    bool Finish()
    {
        const bool ok = m_transfer.Finish();
        m_entry.progress = m_transfer.Progress();
        if (ok)
            m_updater.CloseController();
        return ok;
    }
    const FleetEntry& Entry() const { return m_entry; }

private:
    CFirmwareUpdater m_updater;
    FleetEntry m_entry;
    CTransfer m_transfer{m_updater};  // after the updater, so that it ends first
};

void TellLockTrouble(CControllerUpdate& u, CFleetReporter& reporter)
{
    if (!u.LockTrouble().empty())
        reporter.Note(u.Entry().label + ": " + LockTroubleNote(u.LockTrouble()));
}

// Shows the transfers under way; those that ended leave `running` and are
// handed to `ended`, in the order they were started.
template <typename Ended>
void Tend(std::vector<CControllerUpdate*>& running, CFleetReporter& reporter, Ended ended)
{
    for (auto it = running.begin(); it != running.end();) {
        CControllerUpdate* t = *it;
        if (t->Ended()) {
            it = running.erase(it);
            ended(*t, t->Finish());
        } else {
            ++it;
        }
    }
    if (reporter.Period().count() != 0 && !running.empty()) {
        std::vector<const FleetEntry*> shown;
        for (CControllerUpdate* t : running)
            shown.push_back(&t->Sample());
        reporter.Progress(shown);
    }
}

milliseconds Pause(const CFleetReporter& reporter)
{
    return reporter.Period().count() != 0 ? std::min(reporter.Period(), kTick) : kTick;
}

}  // namespace

int FlashAll(const CFirmwareUpdater& loaded, ReportStyle style)
{
    const std::unique_ptr<CFleetReporter> reporter = MakeFleetReporter(style, false);
    const ControllerSurvey survey = SurveyControllers();

    // Cut off halfway, a controller may not start again: the first stop
    // request waits for all of them. Each starts as soon as it is open, so
    // that the searches for the next ones overlap the first transfers.
    reporter->SayIfStopped(true);
    SysHoldStopRequests(kManyTransfers.held);
    std::vector<std::unique_ptr<CControllerUpdate>> transfers;
    std::vector<CControllerUpdate*> running;
    // Those the survey offered that were not sent to: gone or taken by
    // another update before they opened, or left after a stop request.
    std::vector<std::pair<FleetEntry, std::string>> lost;
    bool busy = false;
    for (const ControllerReport& c : survey.controllers) {
        busy = busy || c.busy;
        if (!c.hasPick)
            continue;
        auto t = std::make_unique<CControllerUpdate>(loaded, c, survey.interfaces);
        if (SysStopRequestHeld()) {
            lost.emplace_back(t->Entry(), "no se envía: se ha pedido terminar");
            continue;
        }
        if (!t->Open()) {
            busy = busy || t->PassedOverBusy();
            lost.emplace_back(t->Entry(), t->PassedOverBusy() ? "en uso por otro proceso" : kNotConnected);
            continue;
        }
        reporter->Found(t->Entry());
        TellLockTrouble(*t, *reporter);
        t->Start();
        running.push_back(t.get());
        transfers.push_back(std::move(t));
    }
    if (transfers.empty()) {
        const int held = SysReleaseStopRequests();
        reporter->SayIfStopped(false);
        if (held != 0)
            SysEndAsStopped(held);
        if (busy)
            reporter->Note("el mando está en uso por otro proceso");
        else if (PermissionStandsInTheWay(survey.interfaces, kControllerVendorId, kControllerProductId))
            Err(PermissionHint());
        return reporter->NoController(kNotConnected, kExitNoController);
    }
    for (const auto& [entry, why] : lost)
        reporter->Ended(entry, false, why);

    std::map<const CControllerUpdate*, bool> ended;
    while (!running.empty()) {
        Tend(running, *reporter, [&](CControllerUpdate& t, bool ok) {
            ended[&t] = ok;
            if (ok)
                NoteControllerUpdated();
            reporter->Ended(t.Entry(), ok, ok ? kUpdated : kFailed);
        });
        if (!running.empty())
            std::this_thread::sleep_for(Pause(*reporter));
    }
    const int held = SysReleaseStopRequests();
    reporter->SayIfStopped(false);

    std::vector<FleetOutcome> outcomes;
    for (auto& t : transfers)
        outcomes.push_back({t->Entry().label, ended[t.get()], ended[t.get()] ? kUpdated : kFailed});
    for (const auto& [entry, why] : lost)
        outcomes.push_back({entry.label, false, why});
    const bool allOk = std::all_of(outcomes.begin(), outcomes.end(), [](const FleetOutcome& o) { return o.ok; });
    const int status = reporter->Summary(outcomes, allOk ? kExitOk : kExitDownloadFailed);
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

    std::set<std::string> handled;                   // controllers met since they were plugged in
    std::map<std::string, Clock::time_point> unfit;  // controllers met that did not open yet
    std::vector<std::unique_ptr<CControllerUpdate>> owned;
    std::vector<CControllerUpdate*> running;
    std::vector<FleetOutcome> outcomes;
    bool stopping = false;
    bool hinted = false;
    Clock::time_point nextLook{};
    for (;;) {
        Tend(running, *reporter, [&](CControllerUpdate& t, bool ok) {
            if (ok)
                NoteControllerUpdated();
            outcomes.push_back({t.Entry().label, ok, ok ? kUpdated : kFailed});
            reporter->Ended(t.Entry(), ok, ok ? kUpdated : kFailed);
            // Done with it: a failed one's handle goes too, as it would with the process.
            owned.erase(std::find_if(owned.begin(), owned.end(), [&](const auto& o) { return o.get() == &t; }));
        });
        if (SysStopRequestHeld() && !stopping) {
            stopping = true;
            if (!running.empty())
                reporter->Note(kWatchEnding);
        }
        if (stopping && running.empty())
            break;
        if (!stopping && Clock::now() >= nextLook) {
            nextLook = Clock::now() + kWatchPoll;
            const ControllerSurvey survey = SurveyControllers();
            // One unplugged is met anew when it comes back.
            std::set<std::string> present;
            for (const ControllerReport& c : survey.controllers)
                present.insert(c.key);
            for (auto it = handled.begin(); it != handled.end();)
                it = present.count(*it) != 0 ? std::next(it) : handled.erase(it);
            for (auto it = unfit.begin(); it != unfit.end();)
                it = present.count(it->first) != 0 ? std::next(it) : unfit.erase(it);

            for (const ControllerReport& c : survey.controllers) {
                if (handled.count(c.key) != 0)
                    continue;
                if (c.hasPick) {
                    auto t = std::make_unique<CControllerUpdate>(loaded, c, survey.interfaces);
                    if (t->Open()) {
                        handled.insert(c.key);
                        unfit.erase(c.key);
                        reporter->Found(t->Entry());
                        TellLockTrouble(*t, *reporter);
                        t->Start();
                        running.push_back(t.get());
                        owned.push_back(std::move(t));
                        continue;
                    }
                }
                // Another update's, or none of its interfaces opens (yet).
                const Clock::time_point first = unfit.emplace(c.key, Clock::now()).first->second;
                if (!c.busy && Clock::now() < first + kSettle)
                    continue;
                handled.insert(c.key);
                unfit.erase(c.key);
                std::vector<InterfaceReport> own;
                for (std::size_t at : c.interfaces)
                    own.push_back(survey.interfaces[at]);
                const bool permission = PermissionStandsInTheWay(own, kControllerVendorId, kControllerProductId);
                reporter->Ended(EntryOf(c, survey.interfaces), false,
                                c.busy       ? std::string("en uso por otro proceso; no se actualiza")
                                : permission ? std::string("sin permiso para abrirlo; no se actualiza")
                                             : std::string(kNotConnected));
                if (permission && !hinted) {
                    hinted = true;
                    Err(PermissionHint());
                }
            }
        }
        std::this_thread::sleep_for(Pause(*reporter));
    }
    SysReleaseStopRequests();
    reporter->SayIfStopped(false);
    const bool allOk = std::all_of(outcomes.begin(), outcomes.end(), [](const FleetOutcome& o) { return o.ok; });
    return reporter->Summary(outcomes, allOk ? kExitOk : kExitDownloadFailed);
}

}  // namespace cli
