#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cli/ControllerUpdate.h"
#include "cli/Controllers.h"
#include "cli/ExitCodes.h"
#include "cli/Fleet.h"
#include "cli/KeptOpen.h"
#include "cli/Meet.h"
#include "device/DownloadProtocol.h"
#include "sys/Process.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// How often --watch looks for controllers that appeared.
constexpr std::chrono::milliseconds kWatchPoll{250};
// A controller that appears and does not open (its node may be given to the
// user a moment after it appears) is tried this long before it is told.
constexpr std::chrono::seconds kSettle{2};

// Every controller of one survey: those it can update are opened first and
// then started together, so that no search competes with transfers already
// under way (where the transfers keep the machine busy, the last controller
// would start late); the others are told with why they are passed over, all
// in the survey's order.
class CAll : public CMeet {
public:
    explicit CAll(const CFirmwareUpdater& loaded) : m_loaded(loaded) {}

    void Look(CFleet& fleet) override
    {
        m_done = true;
        CKeptOpen awake(kControllerVendorId, kControllerProductId);
        const ControllerSurvey survey = SurveyControllers();
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
                auto u = std::make_unique<CControllerUpdate>(m_loaded, c, survey.interfaces);
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
    bool Done() const override { return m_done; }
    std::chrono::milliseconds Poll() const override { return std::chrono::milliseconds(0); }
    int NoneMet(CReporter& reporter, COutput&) override { return reporter.NoController(kExitNoController); }

private:
    const CFirmwareUpdater& m_loaded;
    bool m_done = false;
};

// What --watch knows of the controllers plugged in: those it met since they
// were plugged in, and those that did not open yet.
class CWatch : public CMeet {
public:
    explicit CWatch(const CFirmwareUpdater& loaded) : m_loaded(loaded) {}

    // Starts an update of each controller met for the first time since it
    // was plugged in, and tells of each one that cannot have one.
    void Look(CFleet& fleet) override
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
                    fleet.Start(std::move(u));
                    continue;
                }
                skip = u->PassedOverBusy() ? Skip::kBusy : Skip::kOpen;
            }
            // Another update's is told at once; one that does not open may be about to.
            Unfit& u = m_unfit.emplace(c.key, Unfit{Clock::now(), {}, skip, {}}).first->second;
            u.entry = EntryOf(c, survey.interfaces);
            u.skip = skip;
            u.message = SkipMessage(skip, c, survey.interfaces);
            if (skip != Skip::kBusy && Clock::now() < u.since + kSettle)
                continue;
            m_handled.insert(c.key);
            fleet.PassOver(std::move(u.entry), skip, std::move(u.message));
            m_unfit.erase(c.key);
        }
    }
    bool Done() const override { return false; }
    std::chrono::milliseconds Poll() const override { return kWatchPoll; }
    // Stopped within a controller's settle: it is told as it was last seen.
    void Finish(CFleet& fleet) override
    {
        for (auto& [key, u] : m_unfit)
            fleet.PassOver(std::move(u.entry), u.skip, std::move(u.message));
        m_unfit.clear();
    }
    int NoneMet(CReporter& reporter, COutput&) override { return reporter.NoController(kExitNoController); }

private:
    // A controller met that did not open yet, as it was last seen.
    struct Unfit {
        Clock::time_point since;
        FleetEntry entry;
        Skip skip = Skip::kOpen;
        std::string message;
    };

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
    std::set<std::string> m_handled;       // controllers met since they were plugged in
    std::map<std::string, Unfit> m_unfit;  // controllers met that did not open yet
    std::map<std::string, int> m_missing;  // known ones that the last surveys missed, how many in a row
};

}  // namespace

std::unique_ptr<CMeet> MeetAll(const CFirmwareUpdater& loaded)
{
    return std::make_unique<CAll>(loaded);
}

std::unique_ptr<CMeet> MeetEachAsItAppears(const CFirmwareUpdater& loaded)
{
    return std::make_unique<CWatch>(loaded);
}

}  // namespace cli
