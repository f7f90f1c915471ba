#pragma once
// The command-line tool: a table of commands, each in a file of its own.

#include <string>
#include <vector>

class CFirmwareUpdater;

namespace cli {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitFile = 2;
constexpr int kExitNoController = 3;
constexpr int kExitDownloadFailed = 4;

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* synopsis;  // the arguments, for the usage text
    const char* summary;   // one line, for --help
    int (*run)(const Args& args);
};

int RunChecksum(const Args& args);
int RunImage(const Args& args);
int RunFlash(const Args& args);

// Usage text on stderr; returns kExitUsage.
int UsageError(const std::string& why);
// Loads `path` into `updater` the way the dialog does. On failure prints why
// on stderr and returns false.
bool LoadFileOrReport(CFirmwareUpdater& updater, const std::string& path);
// Prints a line on stderr, prefixed with the program's name.
void Complain(const std::string& message);

}  // namespace cli
