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

void CTransfer::Start(std::function<void()> ended)
{
    m_thread = std::thread([this, ended = std::move(ended)] {
        const bool ok = m_updater.Download(&m_stop) != 0;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_ok = ok;
            m_ended = true;
            m_returned.notify_all();
        }
        if (ended)
            ended();
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

std::uint32_t CTransfer::Sent() const
{
    return m_updater.ReportsSent();
}

bool CTransfer::Aborted() const
{
    return m_updater.DownloadStopped();
}

std::string CTransfer::Reason(bool detail) const
{
    const std::uint32_t length = m_updater.Device().GetOutputReportLength();
    if (length < 1 + kBytesPerReport)
        return "su informe de salida es de " + std::to_string(length) + " bytes, y hacen falta " +
               std::to_string(1 + kBytesPerReport);
    const SysError& error = m_updater.WriteError();
    const std::string reason = DownloadFailureText(error);
    if (!detail || error.code == 0)
        return reason;
    // The system's own number, and its words where the reason put others in their place.
    const std::string words = SysErrorText(error.code);
    const std::string number = "error " + std::to_string(SysErrorNumber(error.code)) + " del sistema";
    return reason + " (" + (words == reason || words == number ? number : words + ", " + number) + ")";
}

TransferOutcome CTransfer::Outcome(bool detail) const
{
    TransferOutcome outcome;
    outcome.ok = m_ok;
    outcome.aborted = !m_ok && Aborted();
    outcome.sent = Sent();
    if (!m_ok && !outcome.aborted) {
        outcome.reason = Reason(false);
        outcome.detailed = Reason(detail);
    }
    return outcome;
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
