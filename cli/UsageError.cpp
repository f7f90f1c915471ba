#include "cli/UsageError.h"

#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"

namespace cli {
namespace {

const Command* g_current = nullptr;  // the command being run, for its usage text

}  // namespace

void SetCurrentCommand(const Command* command)
{
    g_current = command;
}

std::string CommandPrefix()
{
    return g_current != nullptr ? std::string(g_current->name) + ": " : std::string();
}

int UsageError(const std::string& why)
{
    Complain(why);
    Err(g_current != nullptr ? std::string("Pruebe «tolvanex-cli ") + g_current->name + " --help».\n"
                             : std::string("Pruebe «tolvanex-cli --help».\n"));
    return kExitUsage;
}

int OperandError(const Command& c, const ParsedArgs& args)
{
    const std::string name = c.name;
    if (!args.optionAfterEnd.empty())
        return UsageError(name + ": las opciones van antes de «--», y " + Shown(args.optionAfterEnd) + " está después");
    if (c.files == 0)
        return UsageError(name + ": no lleva ARCHIVO");
    if (args.Has("catalogue"))
        return UsageError(name + ": con --catalogue no lleva ARCHIVO");
    return UsageError(name + (args.operands.empty() ? ": falta el ARCHIVO" : ": lleva un solo ARCHIVO"));
}

}  // namespace cli
