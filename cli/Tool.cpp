// The tool's entry: the options before the command, the choice of command,
// and the last check of standard output.

#include "cli/Tool.h"

#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/UsageError.h"
#include "device/HidPlatform.h"
#include "res/Version.h"
#include "sys/Process.h"

namespace cli {
namespace {

bool (*g_ownWindow)() = SysConsoleIsOwnWindow;

const char kOpenedFromExplorer[] =
    "tolvanex-cli es una herramienta de consola: se usa escribiendo órdenes en el Símbolo del sistema o en\n"
    "PowerShell, por ejemplo «tolvanex-cli flash firmware.hex»; «tolvanex-cli --help» las explica todas.\n"
    "Para actualizar el mando con una ventana, abra Tolvanex Updater: tolvanex-updater.exe, en esta misma\n"
    "carpeta, o en el menú Inicio.\n"
    "\n"
    "Pulse una tecla para cerrar esta ventana.\n";

int RunCommand(const Command& c, const std::vector<std::string>& args, COutput& out)
{
    ParsedArgs parsed;
    parsed.command = c.name;
    std::string error;
    const std::vector<Option> options = OptionsOf(c);
    if (!ParseArgs(args, options, false, &parsed, &error))
        return UsageError(out, parsed.command, Shown(error));
    if (parsed.Has("help")) {
        out.Print(CommandUsage(c));
        return kExitOk;
    }
    // Before the operands: a catalogue's release stands in for FILE.
    if (!CheckRelations(RelationsOf(c), options, parsed, &error))
        return UsageError(out, parsed.command, error);
    if (parsed.operands.size() != (parsed.Has("catalogue") ? 0 : c.files) || !parsed.optionAfterEnd.empty())
        return OperandError(out, parsed, c.files);
    if (parsed.Has("verbose")) {
        hidplat::SetDiagnosticsEcho(true);
        SetVerbose(true);
    }
    return c.run(parsed, out);
}

}  // namespace

void SetOwnWindowTest(bool (*test)())
{
    g_ownWindow = test;
}

int RunTool(const std::vector<std::string>& args)
{
    SysGuardStandardStreams();
    COutput out;

    ParsedArgs global;
    std::string error;
    const std::vector<std::string> rest(args.empty() ? args.end() : args.begin() + 1, args.end());
    if (!ParseArgs(rest, kToolOptions, true, &global, &error))
        return UsageError(out, Shown(error));
    if (global.Has("help")) {
        // "--help ORDEN" is that command's help, as "ORDEN --help" is.
        if (global.operands.empty()) {
            out.Print(ToolUsage());
            return out.Finish(kExitOk);
        }
        const Command* c = global.operands.size() == 1 ? FindCommand(global.operands[0]) : nullptr;
        if (c == nullptr)
            return UsageError(out, global.operands.size() == 1 ? "orden desconocida: " + Shown(global.operands[0])
                                                               : std::string("--help lleva como mucho una ORDEN"));
        out.Print(CommandUsage(*c));
        return out.Finish(kExitOk);
    }
    if (global.Has("version")) {
        if (!global.operands.empty())
            return UsageError(out, "--version no lleva nada más");
        out.Print("tolvanex-cli " TOLVANEX_VERSION "\n");
        return out.Finish(kExitOk);
    }
    if (global.Has("verbose")) {
        hidplat::SetDiagnosticsEcho(true);
        SetVerbose(true);
    }
    if (global.operands.empty()) {
        if (!g_ownWindow())
            return UsageError(out, "falta la orden");
        // Opened from Explorer: the window would close before this could be read.
        out.Print(kOpenedFromExplorer);
        out.Flush();
        SysWaitForKey();
        return out.Finish(kExitUsage);
    }
    const std::string& name = global.operands[0];
    if (const Command* c = FindCommand(name))
        return out.Finish(RunCommand(*c, {global.operands.begin() + 1, global.operands.end()}, out));
    return UsageError(out, "orden desconocida: " + Shown(name));
}

}  // namespace cli
