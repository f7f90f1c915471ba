#include "cli/ControllerUpdate.h"

#include "cli/Controllers.h"
#include "cli/Messages.h"
#include "cli/Output.h"

namespace cli {

FleetEntry EntryOf(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces)
{
    FleetEntry entry;
    entry.label = ControllerLabel(c, interfaces);
    entry.place = c.place;
    entry.serial = c.serial;
    entry.version = VersionOf(c, interfaces);
    // One passed over is named by the first of its interfaces, as its label does.
    if (c.hasPick)
        entry.path = interfaces[c.pick].path;
    else if (!c.interfaces.empty())
        entry.path = interfaces[c.interfaces.front()].path;
    return entry;
}

FleetEntry EntryOfOpen(const CHidDevice& device)
{
    FleetEntry entry;
    entry.path = OpenPath(device);
    hidplat::ControllerInfo info;
    if (hidplat::CurrentHidPlatform().DescribeController(entry.path, &info)) {
        entry.place = info.place;
        entry.serial = info.serial;
    }
    entry.label = entry.place.empty() ? entry.path : entry.place;
    entry.version = VersionText(device.Attributes().VersionNumber);
    entry.outputReportLength = device.GetOutputReportLength();
    return entry;
}

CControllerUpdate::CControllerUpdate(const CFirmwareUpdater& loaded, const ControllerReport& c,
                                     const std::vector<InterfaceReport>& interfaces)
    : m_entry(EntryOf(c, interfaces)), m_surveyed(true)
{
    m_updater.CopyImageFrom(loaded);
    m_updater.Device().Select(DeviceSelection{DeviceSelection::Kind::kController, c.key});
}

CControllerUpdate::CControllerUpdate(const CFirmwareUpdater& loaded)
{
    m_updater.CopyImageFrom(loaded);
}

bool CControllerUpdate::Open()
{
    m_updater.OpenController();
    if (!m_updater.IsControllerOpen())
        return false;
    const FleetEntry open = EntryOfOpen(m_updater.Device());
    if (!m_surveyed) {
        m_entry = open;
        return true;
    }
    m_entry.path = open.path;
    m_entry.outputReportLength = open.outputReportLength;
    m_entry.version = open.version;
    return true;
}

bool CControllerUpdate::PassedOverBusy()
{
    return m_updater.Device().PassedOverBusy();
}

void CControllerUpdate::TellLockTrouble(CReporter& reporter)
{
    const std::string& trouble = m_updater.Device().LockTrouble();
    if (!trouble.empty())
        reporter.Note(m_entry, LockTroubleNote(trouble));
}

const FleetEntry& CControllerUpdate::Sample()
{
    m_entry.progress = m_transfer.Progress();
    return m_entry;
}

FleetOutcome CControllerUpdate::Finish()
{
    const bool ok = m_transfer.Finish();
    m_entry.progress = m_transfer.Progress();
    if (ok)
        m_updater.CloseController();
    FleetOutcome outcome;
    outcome.entry = m_entry;
    outcome.transfer = m_transfer.Outcome(Verbose());
    outcome.message = OutcomeMessage(outcome.transfer);
    return outcome;
}

}  // namespace cli
