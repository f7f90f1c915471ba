#pragma once
// Usage errors: one line that names the mistake, then where the help is.

#include <string>

namespace cli {

struct Command;
struct ParsedArgs;

// From now on, usage errors speak of this command.
void SetCurrentCommand(const Command* command);
// "NAME: " of the current command, or nothing, to begin a usage error.
std::string CommandPrefix();
// Says `why` on stderr, and where the help of the current command (or of the
// tool) is; returns kExitUsage.
int UsageError(const std::string& why);
// The usage error for operands that do not fit `command`: too many or too few
// FILEs, or an option written after "--".
int OperandError(const Command& command, const ParsedArgs& args);

}  // namespace cli
