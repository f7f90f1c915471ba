#pragma once
// flash --all and flash --watch: many controllers at once, each with its own
// updater and transfer on a thread of its own, told by one display.

#include "cli/Progress.h"

class CFirmwareUpdater;

namespace cli {

class CBenchLog;

// Every controller that the search would take, all at once; those it passes
// over are told with their reason. 0 when every controller was updated, 3 when
// none was sent to, else 4.
int FlashAll(const CFirmwareUpdater& loaded, ReportStyle style, CBenchLog& log);

// Each controller plugged in now, then each one as it appears, once per
// plug-in, until a stop request; then it waits for the transfers under way.
// 0 when every controller it met was updated, 3 when none was sent to but
// some were passed over, else 4.
int FlashWatch(const CFirmwareUpdater& loaded, ReportStyle style, CBenchLog& log);

}  // namespace cli
