// CTransfer over the in-memory HID stack: one download on a thread of its
// own, looked at while it runs, the writer held at a report of the test's
// choosing so that what it shows there is known.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "cli/Transfer.h"
#include "device/DownloadProtocol.h"
#include "firmware/FirmwareUpdater.h"
#include "tests/support/FakeHidPlatform.h"

namespace {

// The counter after data report i: the share of those written before it.
constexpr std::int32_t After(std::int32_t i)
{
    return i * kProgressScale / static_cast<std::int32_t>(kDataReports);
}

// Holds the writer at one write until the test lets it go.
class CGate {
public:
    void Arrive()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_arrived = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    void WaitForArrival()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_arrived; });
    }
    void Open()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_arrived = false;
    bool m_open = false;
};

}  // namespace

TEST(Transfer, ShowsHowFarItCameAndHowItEnded)
{
    constexpr std::size_t kHeldAt = 50;  // the write held: data report 48 is the last written
    const struct {
        const char* name;
        int failAt;  // the write that fails (0: the DOWNLOAD command); -1 none
        bool ok;
        std::int32_t shown;  // once finished
        std::size_t writes;  // that went out
    } cases[] = {
        {"every report goes out", -1, true, kProgressScale, 2049},
        {"the 100th report fails", 100, false, After(98), 100},
        {"the DOWNLOAD command fails", 0, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fakehid::Interface controller = fakehid::Controller();
        controller.failWriteAt = c.failAt;
        fakehid::Platform os({controller});
        fakehid::ScopedPlatform scope{os};
        CGate gate;
        const bool held = c.failAt < 0 || static_cast<std::size_t>(c.failAt) > kHeldAt;
        os.SetWriteHook([&](std::size_t write) {
            if (held && write == kHeldAt)
                gate.Arrive();
        });
        CFirmwareUpdater updater;
        updater.OpenController();
        ASSERT_EQ(updater.IsControllerOpen(), 1);

        cli::CTransfer transfer(updater);
        transfer.Start();
        if (held) {
            gate.WaitForArrival();
            EXPECT_FALSE(transfer.Ended());
            EXPECT_FALSE(transfer.WaitFor(std::chrono::milliseconds(1)));
            EXPECT_EQ(transfer.Progress(), After(48));
            gate.Open();
        }
        // The counter jumps to the end whatever came of it: until Finish,
        // what shows stays below.
        while (!transfer.WaitFor(std::chrono::milliseconds(1)))
            EXPECT_LT(transfer.Progress(), kProgressScale);
        EXPECT_TRUE(transfer.Ended());
        EXPECT_LT(transfer.Progress(), kProgressScale);
        EXPECT_EQ(transfer.Finish(), c.ok);
        EXPECT_EQ(transfer.Progress(), c.shown);
        EXPECT_EQ(os.Writes().size(), c.writes);
    }
}

TEST(Transfer, OneLeftUnwatchedStillSendsItAll)
{
    fakehid::Platform os({fakehid::Controller()});
    fakehid::ScopedPlatform scope{os};
    CFirmwareUpdater updater;
    updater.OpenController();
    ASSERT_EQ(updater.IsControllerOpen(), 1);
    {
        cli::CTransfer transfer(updater);
        transfer.Start();
    }
    EXPECT_EQ(os.Writes().size(), 2049u);
}
