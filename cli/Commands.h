#pragma once
// The tool's commands, their options and their help texts.

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "cli/Args.h"

namespace cli {

class COutput;

struct Command {
    const char* name;
    const char* synopsis;             // the operands, for the usage text
    const char* summary;              // one line, for --help
    std::vector<Option> options;      // beside help and verbose
    std::vector<Relation> relations;  // between them, beside those of the catalogue
    int (*run)(const ParsedArgs& args, COutput& out);
    std::size_t files;      // how many FILE operands it takes: 1, or 0
    bool searches;          // looks for the controller, which -v tells of
    const char* exitCodes;  // the codes it ends with beyond 0 and 1, for --help
    bool stops = false;     // a stop request ends it with a status of its own
};

// The options the tool takes before a command.
extern const std::vector<Option> kToolOptions;

// The names of the FILE operand's files end so (any case), for the completion.
inline constexpr const char kFileSuffix[] = "hex";

// Every command, in the order the help lists them.
std::span<const Command> AllCommands();
// The command of this name; null when there is none.
const Command* FindCommand(const std::string& name);
// A command's options, help and verbose included.
std::vector<Option> OptionsOf(const Command& command);
// Those its help lists and Tab offers: -v only where it has something to show.
std::vector<Option> ShownOptions(const Command& command);
// What its options ask of each other, the catalogue's included, in the order checked.
std::vector<Relation> RelationsOf(const Command& command);
// The help of the tool, or of one command.
std::string ToolUsage();
std::string CommandUsage(const Command& command);

}  // namespace cli
