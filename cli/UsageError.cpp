#include "cli/UsageError.h"

#include "cli/Args.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"

namespace cli {

int UsageError(const std::string& command, const std::string& why)
{
    Complain(command.empty() ? why : command + ": " + why);
    Err(command.empty() ? std::string("Pruebe «tolvanex-cli --help».\n")
                        : "Pruebe «tolvanex-cli " + command + " --help».\n");
    return kExitUsage;
}

int UsageError(const std::string& why)
{
    return UsageError(std::string(), why);
}

int OperandError(const ParsedArgs& args, std::size_t files)
{
    const std::string& command = args.command;
    if (!args.optionAfterEnd.empty())
        return UsageError(command, "las opciones van antes de «--», y " + Shown(args.optionAfterEnd) + " está después");
    if (files == 0)
        return UsageError(command, "no lleva ARCHIVO");
    if (args.Has("catalogue"))
        return UsageError(command, "con --catalogue no lleva ARCHIVO");
    return UsageError(command, args.operands.empty() ? "falta el ARCHIVO" : "lleva un solo ARCHIVO");
}

}  // namespace cli
