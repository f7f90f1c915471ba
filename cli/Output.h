#pragma once
// What the tool prints: results on standard output, checked, and complaints
// on standard error.

#include <string>

namespace cli {

// Prints a line on stderr, prefixed with the program's name.
void Complain(const std::string& message);
// Prints `text` on stderr as it is.
void Err(const std::string& text);
// The last line Complain printed, without the prefix.
const std::string& LastComplaint();
// Standard output, checked: the first failure is kept for FinishOutput.
void Print(const std::string& text);
// Flushes standard output, keeping a failure for FinishOutput.
void FlushOutput();
// The controller has been updated: a failure of standard output from now on
// says so, and ends with kExitOutputLost rather than kExitFile.
void NoteControllerUpdated();
// Flushes and closes standard output. A failure, now or in an earlier Print,
// is told on stderr and turns a success `status` into kExitFile.
int FinishOutput(int status);

}  // namespace cli
