#pragma once
// A FILE operand, loaded the way the window loads a file.

#include <string>

class CFirmwareUpdater;
class CHexLineObserver;

namespace cli {

// Loads `path` ("-": standard input) into `updater`, `observer` (if any)
// watching the read. On failure prints why on stderr and returns false.
bool LoadFileOrReport(CFirmwareUpdater& updater, const std::string& path, CHexLineObserver* observer = nullptr);

}  // namespace cli
