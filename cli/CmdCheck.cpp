#include "cli/CmdCheck.h"

#include <cstdio>

#include "cli/ExitCodes.h"
#include "cli/LintText.h"
#include "cli/LoadFile.h"
#include "cli/Output.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/HexLint.h"

namespace cli {

int RunCheck(const ParsedArgs& args)
{
    const std::string& path = args.operands[0];
    CFirmwareUpdater updater;
    CHexLint lint;
    if (!LoadFileOrReport(updater, path, &lint))
        return kExitFile;
    lint.Finish();

    Print(WarningLines(FileName(path), lint));
    Print(CoverageMap(lint));
    char sum[32];
    std::snprintf(sum, sizeof sum, "checksum: %.4X\n", static_cast<unsigned>(updater.ComputeChecksum()));
    Print(sum);
    const std::size_t count = lint.Total();
    Print(count == 0 ? std::string("sin avisos\n") : std::to_string(count) + (count == 1 ? " aviso\n" : " avisos\n"));
    return count == 0 ? kExitOk : kExitWarnings;
}

}  // namespace cli
