#include "cli/Messages.h"

#include "cli/StopTexts.h"
#include "cli/Transfer.h"
#include "device/DownloadProtocol.h"

namespace cli {

std::string OutcomeMessage(const TransferOutcome& outcome)
{
    return outcome.ok ? kUpdated : outcome.aborted ? kOneTransfer.event : kFailed;
}

std::string OutcomeDetail(const TransferOutcome& outcome)
{
    const std::string sent = std::to_string(outcome.sent) + " de " + std::to_string(kDownloadReports) + " informes";
    if (outcome.aborted)
        return "envío abortado tras " + sent + ": el mando puede quedar inutilizable";
    return outcome.detailed + "; " + sent + " enviados";
}

}  // namespace cli
