#pragma once
// checksum FILE: the image's checksum, as the window shows it.

#include "cli/Args.h"

namespace cli {

int RunChecksum(const ParsedArgs& args);

}  // namespace cli
