#pragma once
// How flash --all and --watch tell what they do, controller by controller:
// for people (a bar per controller on stderr when it is a terminal, a line per
// result), quietly (only failures), or for programs (the JSON events of one
// flash, each naming its controller). Called from one thread only.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/Progress.h"

namespace cli {

// One controller's update, as it is shown.
struct FleetEntry {
    std::string label;  // its place, else the path of its interface
    std::string place;  // empty when unknown
    std::string serial;
    std::string path;
    std::uint32_t outputReportLength = 0;
    std::int32_t progress = 0;  // in kProgressScale
};

struct FleetOutcome {
    std::string label;
    bool ok = false;
    std::string message;
};

class CFleetReporter {
public:
    virtual ~CFleetReporter() = default;

    // --watch waits for controllers to appear.
    virtual void Watching();
    // An update of this controller starts.
    virtual void Found(const FleetEntry& entry);
    // How often the updates under way are worth showing; zero for never.
    virtual std::chrono::milliseconds Period() const;
    // The updates under way, every Period().
    virtual void Progress(const std::vector<const FleetEntry*>& running);
    // A controller's update ended, or (ok false) could not be made.
    virtual void Ended(const FleetEntry& entry, bool ok, const std::string& message) = 0;
    // Something the user should know, on stderr.
    virtual void Note(const std::string& text);
    // No controller to update: `message` says why. Returns `status`.
    virtual int NoController(const std::string& message, int status);
    // Every update has ended; returns `status`.
    virtual int Summary(const std::vector<FleetOutcome>& outcomes, int status) = 0;
    // While transfers run (`transfers`), what a stop request that ends the
    // process says first; otherwise nothing.
    virtual void SayIfStopped(bool transfers);
};

// `watch`: lines as controllers come and go, rather than one summary.
std::unique_ptr<CFleetReporter> MakeFleetReporter(ReportStyle style, bool watch);

}  // namespace cli
