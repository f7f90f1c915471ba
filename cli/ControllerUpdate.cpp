#include "cli/ControllerUpdate.h"

#include "cli/Controllers.h"

namespace cli {

FleetEntry EntryOf(const ControllerReport& c, const std::vector<InterfaceReport>& interfaces)
{
    FleetEntry entry;
    entry.label = ControllerLabel(c, interfaces);
    entry.place = c.place;
    entry.serial = c.serial;
    return entry;
}

CControllerUpdate::CControllerUpdate(const CFirmwareUpdater& loaded, const ControllerReport& c,
                                     const std::vector<InterfaceReport>& interfaces)
    : m_entry(EntryOf(c, interfaces))
{
    m_updater.CopyImageFrom(loaded);
    m_updater.Device().Select(DeviceSelection{DeviceSelection::Kind::kController, c.key});
}

bool CControllerUpdate::Open()
{
    m_updater.OpenController();
    if (!m_updater.IsControllerOpen())
        return false;
    m_entry.path = OpenPath(m_updater.Device());
    m_entry.outputReportLength = m_updater.Device().GetOutputReportLength();
    return true;
}

bool CControllerUpdate::PassedOverBusy()
{
    return m_updater.Device().PassedOverBusy();
}

void CControllerUpdate::TellLockTrouble(CFleetReporter& reporter)
{
    const std::string& trouble = m_updater.Device().LockTrouble();
    if (!trouble.empty())
        reporter.Note(m_entry.label + ": " + LockTroubleNote(trouble));
}

const FleetEntry& CControllerUpdate::Sample()
{
    m_entry.progress = m_transfer.Progress();
    return m_entry;
}

bool CControllerUpdate::Finish()
{
    const bool ok = m_transfer.Finish();
    m_entry.progress = m_transfer.Progress();
    if (ok)
        m_updater.CloseController();
    return ok;
}

}  // namespace cli
