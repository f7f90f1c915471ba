#pragma once
// What a command-line program needs of its process, as each operating system
// offers it: its arguments, its console and standard streams, and stop
// requests that must not cut a transfer short. Texts are UTF-8.

#include <string>
#include <string_view>
#include <vector>

// True when standard error is a terminal (worth drawing progress on).
bool SysStderrIsTerminal();
// True when standard output is a terminal (a Windows console included).
bool SysStdoutIsTerminal();
// The width of the terminal on standard error, in columns, as it is now (it
// may change at any time); 0 when unknown.
int SysStderrColumns();
// True when standard output and standard error are one terminal, so that a
// line written to both shows twice.
bool SysStdoutIsStderrTerminal();
// True when standard error is a terminal that takes the VT100 moves of the
// cursor (up a line, erase below), so that several bars can be redrawn in
// place; a Windows console is asked to take them first, and gets its mode
// back when the process ends, however it ends.
bool SysStderrTakesCursorMoves();
// The cursor moves are done with for now: a Windows console gets its mode
// back at once (SysStderrTakesCursorMoves asks again when called again).
void SysCursorMovesDone();
// Writes UTF-8 `text` for people on standard output (1) or standard error
// (2) so that the user reads it as written: a Windows console gets it through
// WriteConsoleW whatever its code page, which stays as it was for the
// programs after this one; a pipe from a process with a Windows console gets
// it in that console's output code page (what cmd's more, findstr and sort
// read), each character it lacks as its best fit or '?'; anything else gets
// the bytes unchanged through the C library's stream. False on failure, with
// errno set.
bool SysWriteStandard(int stream, std::string_view text);
// As SysWriteStandard, for what programs read (JSON): UTF-8 on every pipe.
bool SysWriteStandardData(int stream, std::string_view text);
// True when the process owns a console that was made for it alone when it
// started and goes when it ends: a Windows console program opened from
// Explorer. A console that a terminal keeps (a prompt, a pseudo-terminal)
// is none.
bool SysConsoleIsOwnWindow();
// Waits until the user presses a key in the console.
void SysWaitForKey();
// The program's arguments in UTF-8, argv[0] included, whatever the system
// handed to main. On Windows a "/?" before "--" is the system's way of asking
// for help, and comes as "--help".
std::vector<std::string> SysCommandLine(int argc, char** argv);
// A standard stream that is closed when the program starts is replaced by one
// that fails every transfer, so its errors show and no file that the program
// opens later takes its place. A write past the size the system allows a file
// (ulimit -f) fails rather than ends the process.
void SysGuardStandardStreams();
// From now on, a reader that closes its end of a pipe makes writes to it
// fail, rather than end the process.
void SysIgnoreClosedPipes();

// Stop requests (Ctrl+C, SIGINT, SIGTERM, SIGHUP, closing the console) while
// something must not be cut short: the first is held and `warning` (if any)
// goes to stderr; the second asks to abort (SysAbortRequested), for the
// program to stop what it does and tell how far it came; a third ends the
// process at once, as the request would have. A request that the process was
// started ignoring (SIGHUP under nohup, SIGINT in a script's background job,
// Ctrl+C disabled for the console) stays ignored, here and in SysSayOnStop.
void SysHoldStopRequests(const char* warning);
// True when a request came during the hold.
bool SysStopRequestHeld();
// True when a second request came during the hold.
bool SysAbortRequested();
// Ends the hold. Returns the held request (0 for none), for SysEndAsStopped.
int SysReleaseStopRequests();
// While set, a stop request that ends the process (one outside a hold, or
// the third during one) first writes `toStdout` and `toStderr` (either may
// be null), so that whoever reads them learns that the run was cut short.
// Both null: nothing more is written. `toStdout` is for programs, as
// SysWriteStandardData writes; `toStderr` for people.
void SysSayOnStop(const char* toStdout, const char* toStderr);
// Ends the process as the held request `request` would have.
[[noreturn]] void SysEndAsStopped(int request);
// The exit status that a stop request gives, as this system reports it, in Spanish.
const char* SysStoppedStatusText();
