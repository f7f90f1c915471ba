#pragma once
// flash's one engine: meets the controllers the request asks for, sends the
// loaded image to each on a thread of its own, holds stop requests while any
// is under way, and tells every end, whatever it was.

class CFirmwareUpdater;

namespace cli {

class CBenchLog;
class COutput;
class CReporter;
struct FlashRequest;

// Returns the status to end with: 0 when every controller met was updated,
// 3 when none was sent to, else 4. A held stop request ends the process as
// it would have, once everything is told.
int FlashLoaded(const CFirmwareUpdater& loaded, const FlashRequest& request, CReporter& reporter, CBenchLog& log,
                COutput& out);

}  // namespace cli
