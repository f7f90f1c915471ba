#include "cli/UsageError.h"

#include "cli/Args.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"

namespace cli {

int UsageError(COutput& out, const std::string& command, const std::string& why)
{
    out.Complain(command.empty() ? why : command + ": " + why);
    Err(command.empty() ? std::string("Pruebe «tolvanex-cli --help».\n")
                        : "Pruebe «tolvanex-cli " + command + " --help».\n");
    return kExitUsage;
}

int UsageError(COutput& out, const std::string& why)
{
    return UsageError(out, std::string(), why);
}

int OperandError(COutput& out, const ParsedArgs& args, std::size_t files)
{
    const std::string& command = args.command;
    if (!args.optionAfterEnd.empty())
        return UsageError(out, command,
                          "las opciones van antes de «--», y " + Shown(args.optionAfterEnd) + " está después");
    if (files == 0)
        return UsageError(out, command, "no lleva ARCHIVO");
    if (args.Has("catalogue"))
        return UsageError(out, command, "con --catalogue no lleva ARCHIVO");
    return UsageError(out, command, args.operands.empty() ? "falta el ARCHIVO" : "lleva un solo ARCHIVO");
}

}  // namespace cli
