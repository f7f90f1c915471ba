#pragma once
// flash FILE: loads and checks FILE, then sends the image to the controller.

#include "cli/Args.h"

namespace cli {

class COutput;

int RunFlash(const ParsedArgs& args, COutput& out);

}  // namespace cli
