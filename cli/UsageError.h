#pragma once
// Usage errors: one line that names the mistake, then where the help is.

#include <cstddef>
#include <string>

namespace cli {

class COutput;
struct ParsedArgs;

// Says `why` on stderr, after "COMMAND: " when there is a command, and where
// the help of that command (or of the tool, for an empty `command`) is;
// returns kExitUsage.
int UsageError(COutput& out, const std::string& command, const std::string& why);
// The same for the tool's own options, before any command.
int UsageError(COutput& out, const std::string& why);
// The usage error for operands that do not fit `files`, how many FILEs
// args.command takes: too many or too few, or an option written after "--".
int OperandError(COutput& out, const ParsedArgs& args, std::size_t files);

}  // namespace cli
