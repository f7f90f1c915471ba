#include <chrono>
#include <string>

#include "cli/ControllerUpdate.h"
#include "cli/Controllers.h"
#include "cli/ExitCodes.h"
#include "cli/Fleet.h"
#include "cli/Meet.h"
#include "cli/Messages.h"
#include "cli/Output.h"
#include "cli/PermissionHint.h"
#include "cli/UsageError.h"
#include "device/DownloadProtocol.h"
#include "device/InterfaceSurvey.h"
#include "sys/Process.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// The search is tried again this often while waiting for the controller.
constexpr std::chrono::milliseconds kWaitPoll{250};

class COne : public CMeet {
public:
    COne(const CFirmwareUpdater& loaded, const std::string& device, long waitSeconds, CReporter& reporter)
        : m_update(std::make_unique<CControllerUpdate>(loaded)), m_device(device), m_waitSeconds(waitSeconds),
          m_reporter(reporter)
    {
    }

    void Look(CFleet& fleet) override
    {
        if (TryOpen()) {
            m_done = true;
            // Cut off halfway, a controller may not start again: a request
            // that came before its transfer starts none.
            if (SysStopRequestHeld())
                fleet.PassOver(m_update->Entry(), Skip::kStopped, SkipMessage(Skip::kStopped, {}, {}));
            else
                fleet.Start(std::move(m_update));
            return;
        }
        if (m_waitSeconds == 0 || (m_waiting && m_waitSeconds > 0 && Clock::now() >= m_deadline)) {
            m_done = true;
            return;
        }
        if (!m_waiting) {
            m_waiting = true;
            m_reporter.Waiting(m_waitSeconds);
            m_deadline = Clock::now() + std::chrono::seconds(m_waitSeconds);
        }
    }
    bool Done() const override { return m_done; }
    std::chrono::milliseconds Poll() const override { return kWaitPoll; }
    int NoneMet(CReporter& reporter, COutput& out) override
    {
        DeviceSelection selection;
        std::string why;
        if (!m_device.empty() && ResolveDevice(m_device, SurveyControllers(), &selection, &why) == Resolved::kAmbiguous)
            return reporter.Refused(UsageError(out, "flash", why));
        const CHidDevice& link = m_update->Device();
        if (!m_unknown.empty())
            out.Complain(m_unknown);
        else if (link.PassedOverBusy())
            out.Complain("el mando está en uso por otro proceso");
        // Only an interface that did not open can be the controller closed to this user.
        else if (link.PassedOverUnopened() &&
                 PermissionStandsInTheWay(SurveyHidInterfaces(kControllerVendorId, kControllerProductId),
                                          kControllerVendorId, kControllerProductId))
            Err(PermissionHint());
        return reporter.NoController(kExitNoController);
    }

private:
    // One search, within --device's selection when there is one: what SEL
    // names is looked up anew each time, so that a wait can see it arrive.
    // Where SEL names nothing, nothing opens, and m_unknown says so.
    bool TryOpen()
    {
        if (!m_device.empty()) {
            DeviceSelection selection;
            m_unknown.clear();
            if (ResolveDevice(m_device, SurveyControllers(), &selection, &m_unknown) != Resolved::kFound)
                selection = DeviceSelection{DeviceSelection::Kind::kPath, std::string()};  // no interface has that path
            else
                m_unknown.clear();
            m_update->Select(selection);
        }
        return m_update->Open();
    }

    std::unique_ptr<CControllerUpdate> m_update;  // until it starts
    const std::string m_device;
    const long m_waitSeconds;
    CReporter& m_reporter;
    std::string m_unknown;  // why --device's SEL names no controller
    bool m_waiting = false;
    Clock::time_point m_deadline{};
    bool m_done = false;
};

}  // namespace

std::unique_ptr<CMeet> MeetOne(const CFirmwareUpdater& loaded, const std::string& device, long waitSeconds,
                               CReporter& reporter)
{
    return std::make_unique<COne>(loaded, device, waitSeconds, reporter);
}

}  // namespace cli
