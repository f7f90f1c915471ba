#include "cli/CmdChecksum.h"

#include <cstdio>

#include "cli/ExitCodes.h"
#include "cli/Input.h"
#include "cli/Output.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {

int RunChecksum(const ParsedArgs& args, COutput& out)
{
    CInput input;
    int status = kExitOk;
    if (!input.Find(args, out, &status))
        return status;
    CFirmwareUpdater updater;
    if (!input.Load(updater, out))
        return kExitFile;
    char text[8];
    std::snprintf(text, sizeof text, "%.4X\n", static_cast<unsigned>(updater.ComputeChecksum()));
    out.Print(text);
    return kExitOk;
}

}  // namespace cli
