#pragma once
// How flash tells what it does: for people (messages on stdout, a bar on
// stderr when it is a terminal), quietly (nothing on success), or for
// programs (one JSON object per line on stdout, and nothing else there).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "cli/ReportStyle.h"

namespace cli {

struct TransferOutcome;

class CProgressReporter {
public:
    virtual ~CProgressReporter() = default;

    // The search waits for the controller: `seconds` at most, or until stopped when negative.
    virtual void Waiting(long seconds) = 0;
    // The controller was found at `path`; `version` is empty when the system does not tell it.
    virtual void Found(const std::string& path, std::uint32_t outputReportLength, const std::string& version);
    // How often the transfer's progress is worth showing; zero for never.
    virtual std::chrono::milliseconds Period() const;
    // The progress counter, every Period() while the transfer runs and once when it ends.
    virtual void Progress(std::int32_t value);
    // The transfer is over, whatever came of it.
    virtual void TransferEnded();
    // A stop request was held: says `text` on a clean line.
    virtual void StopHeld(const char* text);
    // How the update ended before any transfer; returns `status`.
    virtual int Result(bool ok, const std::string& message, int status) = 0;
    // How the transfer ended; returns `status`.
    virtual int TransferResult(const TransferOutcome& outcome, int status);
    // Nothing was searched for: the reason is already on stderr. Returns `status`.
    virtual int Refused(int status);

    // What a stop request that ends the process says first, for the stage
    // that the update has reached.
    enum class Stage { kNone, kWaiting, kTransfer };
    virtual void SayIfStopped(Stage stage);
};

std::unique_ptr<CProgressReporter> MakeProgressReporter(ReportStyle style);

}  // namespace cli
