#pragma once
// One download on a thread of its own, for flash and for --all and --watch:
// the image of an updater whose controller is open goes out while the thread
// that started it shows how far it came.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class CFirmwareUpdater;

namespace cli {

class CTransfer {
public:
    // `updater`, open on its controller, must outlive the transfer.
    explicit CTransfer(CFirmwareUpdater& updater);
    // Waits for a download under way: a controller is never left half-sent
    // by the tool itself.
    ~CTransfer();
    CTransfer(const CTransfer&) = delete;
    CTransfer& operator=(const CTransfer&) = delete;

    // Starts the download, once.
    void Start();
    // True once the download has returned.
    bool Ended() const;
    // Waits until the download returns, `most` at the longest; true when it has.
    bool WaitFor(std::chrono::milliseconds most);
    // Waits for the download to return; true when every report went out.
    bool Finish();
    // How far it came, in kProgressScale. The counter reaches the scale when
    // the download returns, whatever came of it: until Finish the last value
    // below it stands, and after, the scale on success, else where it stopped.
    // Only for the thread that started it.
    std::int32_t Progress();

private:
    CFirmwareUpdater& m_updater;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_returned;
    bool m_ended = false;  // under m_mutex
    bool m_ok = false;     // written by the download's thread before m_ended
    bool m_finished = false;
    std::int32_t m_shown = 0;
};

}  // namespace cli
