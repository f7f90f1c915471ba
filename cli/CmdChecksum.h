#pragma once
// checksum FILE: the image's checksum, as the window shows it.

#include "cli/Args.h"

namespace cli {

class COutput;

int RunChecksum(const ParsedArgs& args, COutput& out);

}  // namespace cli
