#pragma once
// No file a run writes may be one it reads: -o's image or --log's lines over
// the HEX file, the catalogue or its release's file would destroy the input,
// and a catalogue with a log line added is no longer one. Files are told
// apart by what they are on the disk, not by their names, so that a link to
// an input is caught; a file that does not exist yet is no input.

#include <string>

namespace cli {

class COutput;

class CInput;
struct FlashRequest;
struct ParsedArgs;

// -o OUT, once `input` is found: false after saying why, with *status
// kExitFile, when OUT is one of the run's inputs. Standard output ("-") is
// never one.
bool OutputIsNoInput(const ParsedArgs& args, COutput& out, const CInput& input, const std::string& target, int* status);
// flash --log, once `input` is found: false after saying why, with *status,
// when the log is one of the run's inputs (kExitFile), or when it is missing
// and could not be made (kExitUsage). Nothing to check without --log.
bool LogIsNoInput(const ParsedArgs& args, COutput& out, const CInput& input, const FlashRequest& request, int* status);

}  // namespace cli
