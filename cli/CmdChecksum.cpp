#include "cli/CmdChecksum.h"

#include <cstdio>

#include "cli/ExitCodes.h"
#include "cli/Input.h"
#include "cli/Output.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {

int RunChecksum(const ParsedArgs& args)
{
    CInput input;
    int status = kExitOk;
    if (!input.Find(args, &status))
        return status;
    CFirmwareUpdater updater;
    if (!input.Load(updater))
        return kExitFile;
    char text[8];
    std::snprintf(text, sizeof text, "%.4X\n", static_cast<unsigned>(updater.ComputeChecksum()));
    Print(text);
    return kExitOk;
}

}  // namespace cli
