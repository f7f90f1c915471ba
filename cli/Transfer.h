#pragma once
// One download on a thread of its own, for flash and for --all and --watch:
// the image of an updater whose controller is open goes out while the thread
// that started it shows how far it came.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CFirmwareUpdater;

namespace cli {

// How a transfer ended.
struct TransferOutcome {
    bool ok = false;
    bool aborted = false;    // a stop request cut it short
    std::uint32_t sent = 0;  // reports that went out, the DOWNLOAD command included
    std::string reason;      // why it failed, when it failed of itself
    std::string detailed;    // the same, with the system's own number when asked for
};

class CTransfer {
public:
    // `updater`, open on its controller, must outlive the transfer.
    explicit CTransfer(CFirmwareUpdater& updater);
    // Waits for a download under way: a controller is never left half-sent
    // by the tool itself.
    ~CTransfer();
    CTransfer(const CTransfer&) = delete;
    CTransfer& operator=(const CTransfer&) = delete;

    // Starts the download, once; `ended`, when given, is called on the
    // download's thread once it has returned.
    void Start(std::function<void()> ended = {});
    // True once the download has returned.
    bool Ended() const;
    // Waits until the download returns, `most` at the longest; true when it has.
    bool WaitFor(std::chrono::milliseconds most);
    // Asks the download to stop before its next report: a second stop request.
    void Abort() { m_stop.store(true); }
    // Waits for the download to return; true when every report went out.
    bool Finish();
    // After Finish: the reports that went out, the DOWNLOAD command included;
    // whether Abort cut it short; and, for a failure that Abort did not
    // cause, why, in the user's words (with the system's own number when `detail`).
    std::uint32_t Sent() const;
    bool Aborted() const;
    std::string Reason(bool detail) const;
    TransferOutcome Outcome(bool detail) const;
    // How far it came, in kProgressScale. The counter reaches the scale when
    // the download returns, whatever came of it: until Finish the last value
    // below it stands, and after, the scale on success, else where it stopped.
    // Only for the thread that started it.
    std::int32_t Progress();

private:
    CFirmwareUpdater& m_updater;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_returned;
    bool m_ended = false;  // under m_mutex
    bool m_ok = false;     // written by the download's thread before m_ended
    bool m_finished = false;
    std::int32_t m_shown = 0;
};

}  // namespace cli
