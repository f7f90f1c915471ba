#include <string>

#include "cli/Cli.h"
#include "device/SystemFile.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {

int RunImage(const Args& args)
{
    std::string in;
    std::string out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size() && out.empty())
            out = args[++i];
        else if (!args[i].empty() && args[i][0] != '-' && in.empty())
            in = args[i];
        else
            return UsageError("image: argumento inesperado: " + args[i]);
    }
    if (in.empty() || out.empty())
        return UsageError("image: hacen falta ARCHIVO y -o SALIDA");

    CFirmwareUpdater updater;
    if (!LoadFileOrReport(updater, in))
        return kExitFile;
    std::string reason;
    if (!SysWriteFileReplacing(out.c_str(), updater.Image(), kImageSize, &reason)) {
        Complain("no se puede escribir «" + out + "»: " + reason);
        return kExitFile;
    }
    return kExitOk;
}

}  // namespace cli
