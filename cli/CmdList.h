#pragma once
// list: every HID interface that the controller search examines.

#include "cli/Args.h"

namespace cli {

class COutput;

int RunList(const ParsedArgs& args, COutput& out);

}  // namespace cli
