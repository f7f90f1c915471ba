#pragma once
// image FILE -o OUT: the 16,384-byte image, written where the user says.

#include "cli/Args.h"

namespace cli {

int RunImage(const ParsedArgs& args);

}  // namespace cli
