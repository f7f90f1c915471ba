#pragma once
// flash --all and flash --watch: many controllers at once, each with its own
// updater and transfer on a thread of its own, told by one display.

#include "cli/Progress.h"

class CFirmwareUpdater;

namespace cli {

// Every controller that the search would take, all at once. 0 when all were
// updated, 3 when there was none, else 4.
int FlashAll(const CFirmwareUpdater& loaded, ReportStyle style);

// Each controller plugged in now, then each one as it appears, once per
// plug-in, until a stop request; then it waits for the transfers under way.
// 0 when every update it made succeeded, else 4.
int FlashWatch(const CFirmwareUpdater& loaded, ReportStyle style);

}  // namespace cli
