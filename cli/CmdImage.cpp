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
#include "sys/Process.h"

namespace cli {

int RunImage(const ParsedArgs& args, COutput& out)
{
    if (!args.Has("output"))
        return UsageError(out, args.command, "falta -o SALIDA");
    const std::string& target = args.Value("output");
    if (target.empty())
        return UsageError(out, args.command, "SALIDA vacía");
    // 16 KiB of bytes would garble the screen, and help nobody.
    if (target == "-" && SysStdoutIsTerminal()) {
        out.Complain("la imagen no se escribe en un terminal: dé -o ARCHIVO, o redirija la salida estándar");
        return kExitFile;
    }
    CInput input;
    int status = kExitOk;
    if (!input.Find(args, out, &status))
        return status;
    // Writing over an input would lose it before it was read.
    if (!OutputIsNoInput(args, out, input, target, &status))
        return status;

    CFirmwareUpdater updater;
    if (!input.Load(updater, out))
        return kExitFile;
    if (target == "-") {
        int error = 0;
        out.Flush();
        if (!SysWriteStandardOutput(updater.Image(), kImageSize, &error)) {
            out.Complain("no se puede escribir la salida estándar: " + SysErrorText(error));
            return kExitFile;
        }
        return kExitOk;
    }
    std::string reason;
    if (!SysWriteOutput(target.c_str(), updater.Image(), kImageSize, &reason)) {
        out.Complain("no se puede escribir «" + Shown(target) + "»: " + reason);
        return kExitFile;
    }
    return kExitOk;
}

}  // namespace cli
