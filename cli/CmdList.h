#pragma once
// list: every HID interface that the controller search examines.

#include "cli/Args.h"

namespace cli {

int RunList(const ParsedArgs& args);

}  // namespace cli
