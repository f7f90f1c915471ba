#include "cli/CmdFlash.h"

#include <memory>
#include <string>

#include "cli/BenchLog.h"
#include "cli/ExitCodes.h"
#include "cli/FlashRequest.h"
#include "cli/FlashRun.h"
#include "cli/Input.h"
#include "cli/LintText.h"
#include "cli/Output.h"
#include "cli/Reporter.h"
#include "cli/RunPaths.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/HexLint.h"
#include "sys/Process.h"

namespace cli {
namespace {

// Loads FILE or the catalogue's release, checking it on the way as check
// does. False when nothing is to be sent: why is on stderr, and *status is
// the status to end with.
bool LoadForFlash(const ParsedArgs& args, COutput& out, const FlashRequest& request, CFirmwareUpdater& updater,
                  CReporter& reporter, int* status)
{
    CInput input;
    if (!input.Find(args, out, status) || !LogIsNoInput(args, out, input, request, status)) {
        *status = reporter.Refused(*status);
        return false;
    }
    const std::string& path = input.Path();
    CHexLint lint;
    if (!input.Load(updater, out, &lint)) {
        *status = reporter.Refused(kExitFile);
        return false;
    }
    lint.Finish();
    const std::size_t warnings = lint.Total();
    // An image no record wrote is all 0xFF: sending it would erase the controller.
    // The warnings tell why no record wrote.
    if (!updater.HasData() || request.style != ReportStyle::kQuiet || request.strict)
        Err(WarningLines(FileName(path), lint));
    if (!updater.HasData()) {
        out.Complain("«" + Shown(path) + "»: el archivo no contiene datos para el mando");
        *status = reporter.Refused(kExitFile);
        return false;
    }
    if (request.strict && warnings != 0) {
        out.Complain("«" + Shown(path) + "»: " + std::to_string(warnings) + (warnings == 1 ? " aviso" : " avisos") +
                     " y --strict: no se envía nada");
        *status = reporter.Refused(kExitWarnings);
        return false;
    }
    return true;
}

}  // namespace

int RunFlash(const ParsedArgs& args, COutput& out)
{
    // A reader of the progress that goes away must not cut a transfer short:
    // writes to it fail instead, and the end tells it.
    SysIgnoreClosedPipes();
    FlashRequest request;
    CBenchLog log(out);
    if (!ReadRequest(args, out, &request, log))
        return kExitUsage;
    const std::unique_ptr<CReporter> reporter = MakeReporter(request.style, request.mode, out);
    CFirmwareUpdater updater;
    int status = kExitOk;
    if (!LoadForFlash(args, out, request, updater, *reporter, &status))
        return status;
    log.SetChecksum(updater.ComputeChecksum());
    status = FlashLoaded(updater, request, *reporter, log, out);
    // The controllers were updated, but the bench's record of it is not whole.
    return log.Lost() && status == kExitOk ? kExitOutputLost : status;
}

}  // namespace cli
