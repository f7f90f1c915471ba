#pragma once
// The part of the bash completion that the command table decides.

#include <string>

namespace cli {

// Bash functions that tell the completion script the commands, each one's
// options as Tab offers them, which options refuse which, and what completes
// each option's value; false with *error when the table cannot be told so
// (a short name that stands for two options).
bool BashCompletionTable(std::string* text, std::string* error);

}  // namespace cli
