#include "cli/Transfer.h"

#include "device/DownloadProtocol.h"
#include "firmware/FirmwareUpdater.h"

namespace cli {

CTransfer::CTransfer(CFirmwareUpdater& updater) : m_updater(updater)
{
}

CTransfer::~CTransfer()
{
    if (m_thread.joinable())
        m_thread.join();
}

void CTransfer::Start()
{
    m_thread = std::thread([this] {
        const bool ok = m_updater.Download() != 0;
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ok = ok;
        m_ended = true;
        m_returned.notify_all();
    });
}

bool CTransfer::Ended() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_ended;
}

bool CTransfer::WaitFor(std::chrono::milliseconds most)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_returned.wait_for(lock, most, [this] { return m_ended; });
}

bool CTransfer::Finish()
{
    if (m_thread.joinable())
        m_thread.join();
    m_finished = true;
    return m_ok;
}

std::int32_t CTransfer::Progress()
{
    if (m_finished)
        m_shown = m_ok ? kProgressScale : m_updater.GetProgressReached();
    else if (const std::int32_t value = m_updater.GetProgress(); value != kProgressScale)
        m_shown = value;
    return m_shown;
}

}  // namespace cli
