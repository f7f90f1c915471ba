#include <cstdio>

#include "cli/Cli.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {

int RunChecksum(const Args& args)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return UsageError("checksum: hace falta exactamente un ARCHIVO");
    CFirmwareUpdater updater;
    if (!LoadFileOrReport(updater, args[0]))
        return kExitFile;
    std::printf("%.4X\n", static_cast<unsigned>(updater.ComputeChecksum()));
    return kExitOk;
}

}  // namespace cli
