#include "cli/CmdImage.h"

#include <cstdio>
#include <string>

#include "cli/ExitCodes.h"
#include "cli/Input.h"
#include "cli/Output.h"
#include "cli/RunPaths.h"
#include "cli/UsageError.h"
#include "firmware/FirmwareUpdater.h"
#include "sys/File.h"

namespace cli {

int RunImage(const ParsedArgs& args)
{
    if (!args.Has("output"))
        return UsageError(args.command, "falta -o SALIDA");
    const std::string& out = args.Value("output");
    if (out.empty())
        return UsageError(args.command, "SALIDA vacía");
    CInput input;
    int status = kExitOk;
    if (!input.Find(args, &status))
        return status;
    // Writing over an input would lose it before it was read.
    if (!OutputIsNoInput(args, input, out, &status))
        return status;

    CFirmwareUpdater updater;
    if (!input.Load(updater))
        return kExitFile;
    if (out == "-") {
        int error = 0;
        FlushOutput();
        if (!SysWriteStandardOutput(updater.Image(), kImageSize, &error)) {
            Complain("no se puede escribir la salida estándar: " + SysErrorText(error));
            return kExitFile;
        }
        return kExitOk;
    }
    std::string reason;
    if (!SysWriteOutput(out.c_str(), updater.Image(), kImageSize, &reason)) {
        Complain("no se puede escribir «" + Shown(out) + "»: " + reason);
        return kExitFile;
    }
    return kExitOk;
}

}  // namespace cli
