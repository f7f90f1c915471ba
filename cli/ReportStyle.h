#pragma once
// Who flash speaks to, and of how many controllers.

namespace cli {

enum class ReportStyle {
    kText,   // messages on stdout, a bar on stderr when it is a terminal
    kQuiet,  // nothing on success; errors on stderr
    kJson,   // one JSON object per line on stdout
};

// Which controllers flash sends to: the one it finds (or --device names),
// every one plugged in (--all), or each as it appears (--watch).
enum class FlashMode { kOne, kAll, kWatch };

}  // namespace cli
