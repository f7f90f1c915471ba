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

#include "cli/Controllers.h"
#include "cli/Progress.h"
#include "cli/Transfer.h"

namespace cli {

// One controller's update, as it is shown.
struct FleetEntry {
    std::string label;  // its place, else the path of its interface
    std::string place;  // empty when unknown
    std::string serial;
    std::string path;
    std::string version;  // "0100"; empty when the system does not tell
    std::uint32_t outputReportLength = 0;
    std::int32_t progress = 0;  // in kProgressScale
};

// How it went with one controller: updated, failed, aborted or passed over.
struct FleetOutcome {
    FleetEntry entry;
    Skip skip = Skip::kNone;   // passed over, and why
    TransferOutcome transfer;  // unless passed over
    std::string message;       // the result's line: "Actualización OK!!!!", why it was passed over...
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
    // A controller's update ended, or it was passed over.
    virtual void Ended(const FleetOutcome& outcome) = 0;
    // Something the user should know, on stderr.
    virtual void Note(const std::string& text);
    // A stop request was held: says `text`, if any, on a clean line.
    virtual void StopHeld(const char* text);
    // No controller to update at all. Returns `status`.
    virtual int NoController(int status);
    // Every update has ended (`aborted`: some were cut short); returns `status`.
    virtual int Summary(const std::vector<FleetOutcome>& outcomes, int status, bool aborted) = 0;
    // While transfers run (`transfers`), what a stop request that ends the
    // process at once says first; otherwise nothing.
    virtual void SayIfStopped(bool transfers);
};

// `watch`: lines as controllers come and go, rather than one summary.
std::unique_ptr<CFleetReporter> MakeFleetReporter(ReportStyle style, bool watch);

// "Actualizados 2 de 4 mandos; 1 en uso, 1 sin permiso".
std::string UpdatedText(const std::vector<FleetOutcome>& outcomes);

}  // namespace cli
