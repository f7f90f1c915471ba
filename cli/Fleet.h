#pragma once
// The updates under way, one per controller, each on a thread of its own,
// and what each one's end and each controller passed over are told to: the
// reporter, the log, the run's outcomes. A single flash is a fleet of one.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli/ControllerUpdate.h"
#include "cli/Reporter.h"

namespace cli {

class CBenchLog;
class COutput;

class CFleet {
public:
    CFleet(CReporter& reporter, CBenchLog& log, COutput& out) : m_reporter(reporter), m_log(log), m_out(out) {}

    // Starts the update of a controller it holds open.
    void Start(std::unique_ptr<CControllerUpdate> update);
    // A controller that is not sent to: told, with why.
    void PassOver(FleetEntry entry, Skip skip, std::string message);
    // Takes the updates that ended, and shows those under way. A stop
    // request held is told once, with `held` while transfers run; after a
    // second one, every transfer stops.
    void Tend(const char* held);
    bool Running() const { return !m_running.empty(); }
    // Waits `most` at the longest, and not past the end of an update.
    void Wait(std::chrono::milliseconds most);
    bool Aborted() const { return m_aborted; }
    // In the order the controllers were met.
    std::vector<FleetOutcome> Outcomes() const;

private:
    void Tell(std::size_t met, const FleetOutcome& o);

    CReporter& m_reporter;
    CBenchLog& m_log;
    COutput& m_out;
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

// 0 when every controller met was updated; 3 when none was sent to, only
// passed over; else 4.
int StatusOf(const std::vector<FleetOutcome>& outcomes);

}  // namespace cli
