#include "cli/CmdChecksum.h"

#include <cstdio>

#include "cli/ExitCodes.h"
#include "cli/LoadFile.h"
#include "cli/Output.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {

int RunChecksum(const ParsedArgs& args)
{
    CFirmwareUpdater updater;
    if (!LoadFileOrReport(updater, args.operands[0]))
        return kExitFile;
    char text[8];
    std::snprintf(text, sizeof text, "%.4X\n", static_cast<unsigned>(updater.ComputeChecksum()));
    Print(text);
    return kExitOk;
}

}  // namespace cli
