#include "cli/CmdCheck.h"

#include <cstdio>

#include "cli/ExitCodes.h"
#include "cli/Input.h"
#include "cli/LintText.h"
#include "cli/Output.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/HexLint.h"

namespace cli {

int RunCheck(const ParsedArgs& args, COutput& out)
{
    CInput input;
    int status = kExitOk;
    if (!input.Find(args, out, &status))
        return status;
    const std::string& path = input.Path();
    CFirmwareUpdater updater;
    CHexLint lint;
    if (!input.Load(updater, out, &lint))
        return kExitFile;
    lint.Finish();

    if (const CatalogueRelease* release = input.Release())
        out.Print("versión " + release->version + " del " + release->date + ": «" + Shown(path) +
                  "», SHA-256 igual al del catálogo\n");

    out.Print(WarningLines(FileName(path), lint));
    out.Print(CoverageMap(lint));
    char sum[32];
    std::snprintf(sum, sizeof sum, "checksum: %.4X\n", static_cast<unsigned>(updater.ComputeChecksum()));
    out.Print(sum);
    const std::size_t count = lint.Total();
    out.Print(count == 0 ? std::string("sin avisos\n")
                         : std::to_string(count) + (count == 1 ? " aviso\n" : " avisos\n"));
    return count == 0 ? kExitOk : kExitWarnings;
}

}  // namespace cli
