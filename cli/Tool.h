#pragma once
// The whole tool, as a function, so that tests can run it over other HID stacks.

#include <string>
#include <vector>

namespace cli {

// Runs the tool on `args` as the system gave them, the program's name first;
// returns the exit status.
int RunTool(const std::vector<std::string>& args);
// What tells RunTool that the console is a window opened for the tool alone
// (SysConsoleIsOwnWindow); a test that cannot open one says it instead.
void SetOwnWindowTest(bool (*test)());

}  // namespace cli
