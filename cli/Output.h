#pragma once
// What the tool prints: results on standard output, checked, and complaints
// on standard error.

#include <string>
#include <string_view>

namespace cli {

// `text` as a terminal may show it: control characters (a line feed, ESC,
// DEL, the C1 controls) written out as \n, \x1B, \u009B and the like, so that
// a file name can neither move the cursor nor fake a line.
std::string Shown(std::string_view text);
// Prints `text` on stderr as it is.
void Err(const std::string& text);
// What puts the next text of stderr at the start of a clean line, whatever
// the terminal echoed meanwhile (a ^C): on a terminal that takes cursor moves
// the line is cleared, on another one a new line begins, elsewhere nothing.
std::string FreshLine();
// -v was given: the tool says more of what went wrong.
void SetVerbose(bool verbose);
bool Verbose();
// What one run of the tool says, and what came of saying it: standard
// output checked (its first failure kept for Finish), whether a controller
// was updated, and the last complaint (for a script's result event).
class COutput {
public:
    // Prints a line on stderr, prefixed with the program's name. A name in it
    // goes through Shown() first.
    void Complain(const std::string& message);
    // The last line Complain printed, without the prefix.
    const std::string& LastComplaint() const { return m_lastComplaint; }
    // Standard output, checked: the first failure is kept for Finish.
    void Print(const std::string& text);
    // As Print, for what programs read (JSON): UTF-8 wherever it goes.
    void PrintData(const std::string& text);
    // Flushes standard output, keeping a failure for Finish.
    void Flush();
    // A controller has been updated: a failure of standard output from now
    // on says how many were, and ends with kExitOutputLost rather than kExitFile.
    void NoteControllerUpdated() { ++m_updated; }
    // Flushes and closes standard output. A failure, now or in an earlier
    // Print, is told on stderr and turns a success `status` into kExitFile.
    int Finish(int status);

private:
    int m_error = 0;
    int m_updated = 0;  // controllers updated
    std::string m_lastComplaint;
};

}  // namespace cli
