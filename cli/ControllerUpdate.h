#pragma once
// One controller's update: its own updater, held to that controller alone,
// and the transfer that sends to it.

#include <functional>
#include <string>
#include <vector>

#include "cli/Reporter.h"
#include "cli/Transfer.h"
#include "device/InterfaceSurvey.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {

// How controller `c` is shown before its update starts.
FleetEntry EntryOf(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces);

// How the controller that `device` holds open is shown.
FleetEntry EntryOfOpen(const CHidDevice& device);

class CControllerUpdate {
public:
    // To send the image of `loaded` to controller `c` of the survey that
    // found `interfaces`.
    CControllerUpdate(const CFirmwareUpdater& loaded, const ControllerReport& c,
                      const std::vector<InterfaceReport>& interfaces);
    // To send the image of `loaded` to whichever controller the search
    // finds, within `selection` once Select has been called.
    explicit CControllerUpdate(const CFirmwareUpdater& loaded);
    void Select(const DeviceSelection& selection) { m_updater.Device().Select(selection); }
    // The link, for why it did not open.
    const CHidDevice& Device() const { return m_updater.Device(); }

    // False when it no longer opens: gone, or taken by another update meanwhile.
    bool Open();
    // After Open: the search passed over an interface that another update holds.
    bool PassedOverBusy();
    // After Open: says so when the system gave no lock for the controller.
    void TellLockTrouble(CReporter& reporter);

    // `ended` is called on the transfer's thread once it has returned.
    void Start(std::function<void()> ended) { m_transfer.Start(std::move(ended)); }
    bool Ended() const { return m_transfer.Ended(); }
    // Stops it before its next report.
    void Abort() { m_transfer.Abort(); }
    // What to show while it runs.
    const FleetEntry& Sample();
    // Once Ended: how it went. The controller is let go then; after a
    // failure its handle goes with the update.
    FleetOutcome Finish();
    const FleetEntry& Entry() const { return m_entry; }

private:
    CFirmwareUpdater m_updater;
    FleetEntry m_entry;
    bool m_surveyed = false;          // m_entry comes from a survey
    CTransfer m_transfer{m_updater};  // after the updater, so that it ends first
};

}  // namespace cli
