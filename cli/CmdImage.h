#pragma once
// image FILE -o OUT: the 16,384-byte image, written where the user says.

#include "cli/Args.h"

namespace cli {

class COutput;

int RunImage(const ParsedArgs& args, COutput& out);

}  // namespace cli
