#pragma once
// What a command-line program needs of its process, as each operating system
// offers it: its arguments, its console and standard streams, and stop
// requests that must not cut a transfer short. Texts are UTF-8.

#include <string>
#include <string_view>
#include <vector>

// True when standard error is a terminal (worth drawing progress on).
bool SysStderrIsTerminal();
// True when standard error is a terminal that takes the VT100 moves of the
// cursor (up a line, erase below), so that several bars can be redrawn in
// place; a Windows console is asked to take them first.
bool SysStderrTakesCursorMoves();
// Writes UTF-8 `text` on standard output (1) or standard error (2) so that
// the user reads it as written: a Windows console gets it through
// WriteConsoleW whatever its code page, which stays as it was for the
// programs after this one; anything else gets the bytes unchanged through
// the C library's stream. False on failure, with errno set.
bool SysWriteStandard(int stream, std::string_view text);
// The program's arguments in UTF-8, argv[0] included, whatever the system
// handed to main.
std::vector<std::string> SysCommandLine(int argc, char** argv);
// A standard stream that is closed when the program starts is replaced by one
// that fails every transfer, so its errors show and no file that the program
// opens later takes its place.
void SysGuardStandardStreams();

// Stop requests (Ctrl+C, SIGINT, SIGTERM, SIGHUP, closing the console) while
// something must not be cut short: the first is held and `warning` goes to
// stderr; a second one ends the process as the request would have. Meanwhile
// a reader that closes its end of a pipe makes writes fail, not the process end.
void SysHoldStopRequests(const char* warning);
// True when a request came during the hold.
bool SysStopRequestHeld();
// Ends the hold. Returns the held request (0 for none), for SysEndAsStopped.
int SysReleaseStopRequests();
// While set, a stop request that ends the process (one outside a hold, or
// the second during one) first writes `toStdout` and `toStderr` (either may
// be null), so that whoever reads them learns that the run was cut short.
// Both null: nothing more is written.
void SysSayOnStop(const char* toStdout, const char* toStderr);
// Ends the process as the held request `request` would have.
[[noreturn]] void SysEndAsStopped(int request);
