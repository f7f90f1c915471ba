#pragma once
// Who flash speaks to.

namespace cli {

enum class ReportStyle {
    kText,   // messages on stdout, a bar on stderr when it is a terminal
    kQuiet,  // nothing on success; errors on stderr
    kJson,   // one JSON object per line on stdout
};

}  // namespace cli
