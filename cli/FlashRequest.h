#pragma once
// What flash was asked to do, read from its options and checked together.

#include <string>

#include "cli/ReportStyle.h"

namespace cli {

class CBenchLog;
class COutput;
struct ParsedArgs;

struct FlashRequest {
    ReportStyle style = ReportStyle::kText;
    long waitSeconds = 0;  // -1: until stopped
    std::string device;    // --device's SEL; empty: the first controller
    bool strict = false;
    FlashMode mode = FlashMode::kOne;
    CBenchLog* log = nullptr;  // --log's, once ReadRequest has opened it
};

// Every option, checked in turn, and --log's file opened into `log`; false
// after a usage error.
bool ReadRequest(const ParsedArgs& args, COutput& out, FlashRequest* request, CBenchLog& log);

}  // namespace cli
