#pragma once
// How flash tells what it does, for one controller or many: for people
// (messages, and bars on stderr when it is a terminal), quietly (only what
// went wrong), or for programs (one JSON object per line on stdout, and
// nothing else there). Called from one thread only.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/Controllers.h"
#include "cli/ReportStyle.h"
#include "cli/Transfer.h"

namespace cli {

class COutput;

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

class CReporter {
public:
    // What it says goes to `out`.
    CReporter(FlashMode mode, COutput& out) : m_mode(mode), m_out(out) {}
    virtual ~CReporter() = default;

    // The search waits for the controller: `seconds` at most, or until stopped when negative.
    virtual void Waiting(long seconds);
    // --watch waits for controllers to appear.
    virtual void Watching();
    // An update of this controller starts.
    virtual void Found(const FleetEntry& entry);
    // Something the user should know of this controller, on stderr.
    virtual void Note(const FleetEntry& entry, const std::string& text);
    // How often the updates under way are worth showing; zero for never.
    virtual std::chrono::milliseconds Period() const;
    // The updates under way, every Period().
    virtual void Progress(const std::vector<const FleetEntry*>& running);
    // A stop request was held: says `text`, if any, on a clean line.
    virtual void StopHeld(const char* text);
    // A controller's update ended, or it was passed over; `logLost`: its
    // line, or an earlier one, is missing from --log.
    virtual void Ended(const FleetOutcome& outcome, bool logLost) = 0;
    // No controller to update at all: the reason is already on stderr. Returns `status`.
    virtual int NoController(int status);
    // A stop request ended the wait for the controller.
    virtual void WaitAborted();
    // Every update has ended (`aborted`: some were cut short); returns `status`.
    virtual int Summary(const std::vector<FleetOutcome>& outcomes, int status, bool aborted, bool logLost);
    // Nothing was searched for: the reason is already on stderr. Returns `status`.
    virtual int Refused(int status);
    // While stop requests are held (`holding`), what one that ends the
    // process at once says first; otherwise nothing.
    virtual void SayIfStopped(bool holding);

protected:
    bool One() const { return m_mode == FlashMode::kOne; }
    bool Watch() const { return m_mode == FlashMode::kWatch; }

    const FlashMode m_mode;
    COutput& m_out;
};

std::unique_ptr<CReporter> MakeReporter(ReportStyle style, FlashMode mode, COutput& out);

// "Actualizados 2 de 4 mandos; 1 en uso, 1 sin permiso".
std::string UpdatedText(const std::vector<FleetOutcome>& outcomes);

}  // namespace cli
