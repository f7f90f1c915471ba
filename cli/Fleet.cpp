#include "cli/Fleet.h"

#include "cli/BenchLog.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/PermissionHint.h"
#include "sys/Process.h"

namespace cli {

void CFleet::Start(std::unique_ptr<CControllerUpdate> u)
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

void CFleet::PassOver(FleetEntry entry, Skip skip, std::string message)
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

void CFleet::Tend(const char* held)
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
            m_out.NoteControllerUpdated();
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

void CFleet::Wait(std::chrono::milliseconds most)
{
    std::unique_lock<std::mutex> lock(m_endMutex);
    m_endSeen.wait_for(lock, most, [this] { return m_endNews; });
    m_endNews = false;
}

std::vector<FleetOutcome> CFleet::Outcomes() const
{
    std::vector<FleetOutcome> outcomes;
    for (const auto& [met, o] : m_outcomes)
        outcomes.push_back(o);
    return outcomes;
}

void CFleet::Tell(std::size_t met, const FleetOutcome& o)
{
    // The log first, so that what is told can say whether its line was lost.
    m_log.Record(o);
    m_reporter.Ended(o, m_log.Lost());
    m_out.Flush();
    m_outcomes.emplace(met, o);
}

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

}  // namespace cli
