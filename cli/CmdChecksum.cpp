#include <cstdio>

#include "cli/Cli.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {

int RunChecksum(const ParsedArgs& args)
{
    if (args.operands.size() != 1)
        return UsageError("checksum: hace falta exactamente un ARCHIVO");
    CFirmwareUpdater updater;
    if (!LoadFileOrReport(updater, args.operands[0]))
        return kExitFile;
    char text[8];
    std::snprintf(text, sizeof text, "%.4X\n", static_cast<unsigned>(updater.ComputeChecksum()));
    Print(text);
    return kExitOk;
}

}  // namespace cli
