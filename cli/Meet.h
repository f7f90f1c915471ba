#pragma once
// How flash meets the controllers it sends to: the one the search finds
// (waiting for it if asked), every one plugged in, or each as it appears.
// Each one met is started in the fleet or passed over with why.

#include <chrono>
#include <memory>
#include <string>

class CFirmwareUpdater;

namespace cli {

class CFleet;
class COutput;
class CReporter;

class CMeet {
public:
    virtual ~CMeet() = default;
    // Looks for controllers: starts an update of each one it may take, and
    // passes over the others (or keeps them for a later look).
    virtual void Look(CFleet& fleet) = 0;
    // True when looking again would find nothing more.
    virtual bool Done() const = 0;
    // How long until the next look.
    virtual std::chrono::milliseconds Poll() const = 0;
    // No more looks: a controller met and not told of yet is passed over.
    virtual void Finish(CFleet&) {}
    // None was met: says why; returns the status to end with.
    virtual int NoneMet(CReporter& reporter, COutput& out) = 0;
};

// The first controller the search finds, or the one `device` (--device's
// SEL) names, looked up anew each time; `waitSeconds`: how long to wait for
// it, -1 until stopped.
std::unique_ptr<CMeet> MeetOne(const CFirmwareUpdater& loaded, const std::string& device, long waitSeconds,
                               CReporter& reporter);
// Every controller plugged in now, at once.
std::unique_ptr<CMeet> MeetAll(const CFirmwareUpdater& loaded);
// Each controller plugged in now, then each one as it appears, once per plug-in.
std::unique_ptr<CMeet> MeetEachAsItAppears(const CFirmwareUpdater& loaded);

}  // namespace cli
