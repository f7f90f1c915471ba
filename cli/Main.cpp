// The tool's entry: the options before the command, the choice of command,
// and the last check of standard output.

#include "cli/Main.h"

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "device/HidPlatform.h"
#include "res/Version.h"
#include "sys/Process.h"

namespace cli {
namespace {

int RunCommand(const Command& c, const std::vector<std::string>& args)
{
    SetCurrentCommand(&c);
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, OptionsOf(c), false, &parsed, &error))
        return UsageError(std::string(c.name) + ": " + error);
    if (parsed.Has("help")) {
        Print(CommandUsage(c));
        return kExitOk;
    }
    if (parsed.Has("verbose"))
        hidplat::SetDiagnosticsEcho(true);
    return c.run(parsed);
}

}  // namespace

int Main(const std::vector<std::string>& args)
{
    SysGuardStandardStreams();

    ParsedArgs global;
    std::string error;
    const std::vector<std::string> rest(args.empty() ? args.end() : args.begin() + 1, args.end());
    if (!ParseArgs(rest, kToolOptions, true, &global, &error))
        return UsageError(error);
    if (global.Has("help")) {
        Print(ToolUsage());
        return FinishOutput(kExitOk);
    }
    if (global.Has("version")) {
        Print("tolvanex-cli " TOLVANEX_VERSION "\n");
        return FinishOutput(kExitOk);
    }
    if (global.Has("verbose"))
        hidplat::SetDiagnosticsEcho(true);
    if (global.operands.empty())
        return UsageError("falta la orden");
    const std::string& name = global.operands[0];
    if (const Command* c = FindCommand(name))
        return FinishOutput(RunCommand(*c, {global.operands.begin() + 1, global.operands.end()}));
    return UsageError("orden desconocida: " + name);
}

}  // namespace cli
