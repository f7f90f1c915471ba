#pragma once
// check FILE: what the loader passes over in silence, line by line.

#include "cli/Args.h"

namespace cli {

class COutput;

int RunCheck(const ParsedArgs& args, COutput& out);

}  // namespace cli
