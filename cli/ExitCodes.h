#pragma once
// What tolvanex-cli's exit status tells a script.

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitFile = 2;
constexpr int kExitNoController = 3;
constexpr int kExitDownloadFailed = 4;
constexpr int kExitWarnings = 5;    // check found something; flash --strict refused
constexpr int kExitOutputLost = 6;  // the controller was updated; what flash had to say was lost

}  // namespace cli
