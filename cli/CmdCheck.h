#pragma once
// check FILE: what the loader passes over in silence, line by line.

#include "cli/Args.h"

namespace cli {

int RunCheck(const ParsedArgs& args);

}  // namespace cli
