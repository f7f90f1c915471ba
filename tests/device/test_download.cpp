// The download protocol and the controller operations of CFirmwareUpdater,
// over the in-memory HID stack.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "device/DownloadProtocol.h"
#include "firmware/ByteSource.h"
#include "firmware/FirmwareUpdater.h"
#include "tests/support/FakeHidPlatform.h"
#include "tests/support/MemorySource.h"

namespace {

const std::uint8_t kCommand[8] = {'D', 'O', 'W', 'N', 'L', 'O', 'A', 'D'};

using testsupport::MemorySource;

// An image with a distinct byte at every address below 0x100 and 0xFF above.
void LoadPattern(CFirmwareUpdater& updater)
{
    std::string hex;
    char line[64];
    for (unsigned a = 0; a < 0x100; a += 16) {
        std::snprintf(line, sizeof line, ":10%04X00", a);
        hex += line;
        for (unsigned i = 0; i < 16; ++i) {
            std::snprintf(line, sizeof line, "%02X", (a + i) ^ 0x5A);
            hex += line;
        }
        hex += "00\n";
    }
    hex += ":00000001FF\n";
    MemorySource source(hex);
    ASSERT_EQ(updater.LoadHex(source), 1);
}

class Download : public ::testing::Test {
protected:
    // Installs one controller whose writes fail from write index `failAt` on.
    void Connect(std::uint16_t reportLength = 9, int failAt = -1, SysError why = SysErrorOf(ENODEV))
    {
        fakehid::Interface c = fakehid::Controller("/dev/c", reportLength);
        c.failWriteAt = failAt;
        c.writeError = why;
        os.SetInterfaces({c});
    }

    // The progress counter as the platform sees it at each write.
    void RecordProgress()
    {
        os.SetWriteHook([this](std::size_t) { progressAtWrite.push_back(updater.GetProgress()); });
    }

    fakehid::Platform os;
    fakehid::ScopedPlatform scope{os};
    CFirmwareUpdater updater;
    std::vector<std::int32_t> progressAtWrite;
};

TEST_F(Download, SendsTheCommandThenTheWholeImageInOrder)
{
    LoadPattern(updater);
    Connect(9);
    RecordProgress();
    updater.OpenController();
    ASSERT_EQ(updater.IsControllerOpen(), 1);
    EXPECT_EQ(updater.Download(), 1);
    EXPECT_EQ(updater.GetProgress(), 10000);

    const auto writes = os.Writes();
    ASSERT_EQ(writes.size(), 2049u);
    for (const auto& w : writes)
        ASSERT_EQ(w.size(), 9u);
    EXPECT_EQ(writes[0][0], 0x00);
    EXPECT_EQ(0, std::memcmp(&writes[0][1], kCommand, 8));
    for (std::size_t i = 0; i < 2048; ++i) {
        ASSERT_EQ(writes[i + 1][0], 0x00);
        ASSERT_EQ(0, std::memcmp(&writes[i + 1][1], updater.Image() + 8 * i, 8)) << "report " << i;
    }
    EXPECT_EQ(writes[1][1], 0x5A);        // address 0
    EXPECT_EQ(writes[2048][8], 0xFF);     // address 0x3FFF, never written by the file

    // One step behind: 0 while the first data report goes out, 9995 after the last.
    ASSERT_EQ(progressAtWrite.size(), 2049u);
    EXPECT_EQ(progressAtWrite[0], 0);
    EXPECT_EQ(progressAtWrite[1], 0);
    EXPECT_EQ(progressAtWrite[2], 0);
    EXPECT_EQ(progressAtWrite[3], 4);
    EXPECT_EQ(progressAtWrite[4], 9);
    EXPECT_EQ(progressAtWrite[2048], 9990);
    for (std::size_t k = 1; k < 2048; ++k)
        ASSERT_EQ(progressAtWrite[k + 1], static_cast<std::int32_t>(k - 1) * 80000 / 16384);
}

TEST_F(Download, LongReportsArePaddedWithZeros)
{
    Connect(65);
    updater.OpenController();
    ASSERT_EQ(updater.Download(), 1);
    const auto writes = os.Writes();
    ASSERT_EQ(writes.size(), 2049u);
    for (const auto& w : writes) {
        ASSERT_EQ(w.size(), 65u);
        for (std::size_t b = 9; b < 65; ++b)
            ASSERT_EQ(w[b], 0x00);
    }
    EXPECT_EQ(0, std::memcmp(&writes[0][1], kCommand, 8));
    EXPECT_EQ(writes[1][1], 0xFF);  // nothing loaded: the erased image goes out
}

TEST_F(Download, AFailedWriteEndsTheDownloadAtOnce)
{
    struct Case {
        int failAt;            // write index: 0 = DOWNLOAD, k + 1 = data report k
        std::size_t written;   // reports that got through
        std::int32_t counter;  // the counter while the failing write runs
        SysError why;          // the failing write's error, and how the user reads it
        const char* reason;
    };
    for (const Case& c : {Case{0, 0, 0, SysErrorOf(ENODEV), "el mando se ha desconectado"},
                          Case{1, 1, 0, SysErrorOf(SysWindowsError(1167)), "el mando se ha desconectado"},
                          Case{2, 2, 0, SysErrorOf(EIO), "error de entrada/salida"},
                          Case{2048, 2048, 9990, SysError{}, "el mando no ha recibido el informe"}}) {
        SCOPED_TRACE(c.failAt);
        os.ClearRecord();
        progressAtWrite.clear();
        Connect(9, c.failAt, c.why);
        RecordProgress();
        updater.OpenController();
        ASSERT_EQ(updater.IsControllerOpen(), 1);
        EXPECT_EQ(updater.Download(), 0);
        EXPECT_EQ(os.Writes().size(), c.written);
        EXPECT_EQ(updater.ReportsSent(), c.written);
        EXPECT_EQ(updater.WriteError().code, c.why.code);
        EXPECT_FALSE(updater.DownloadStopped());
        ASSERT_EQ(progressAtWrite.size(), c.written + 1);  // nothing is tried after the failure
        EXPECT_EQ(progressAtWrite.back(), c.counter);
        EXPECT_EQ(updater.GetProgressReached(), c.counter);
        EXPECT_EQ(DownloadFailureText(updater.WriteError()), c.reason);
        EXPECT_EQ(updater.GetProgress(), 10000);
        EXPECT_EQ(updater.IsControllerOpen(), 1);  // left open for the next update to close
        EXPECT_EQ(os.OpenHandles(), 1);
    }
}

TEST_F(Download, AStopRequestEndsItBeforeTheNextReport)
{
    // The flag turns during write `at` (-1: before the download starts).
    for (const int at : {-1, 0, 1, 2047}) {
        SCOPED_TRACE(at);
        os.ClearRecord();
        Connect(9);
        std::atomic<bool> stop{at < 0};
        os.SetWriteHook([&](std::size_t write) {
            if (static_cast<int>(write) == at)
                stop = true;
        });
        updater.OpenController();
        EXPECT_EQ(updater.Download(&stop), 0);
        EXPECT_EQ(os.Writes().size(), static_cast<std::size_t>(at + 1));
        EXPECT_EQ(updater.ReportsSent(), static_cast<std::uint32_t>(at + 1));
        EXPECT_TRUE(updater.DownloadStopped());
    }
}

TEST_F(Download, ReportsTooShortForTheLayoutSendNothing)
{
    for (std::uint16_t length : {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{8}}) {
        os.ClearRecord();
        Connect(length);
        updater.OpenController();
        ASSERT_EQ(updater.IsControllerOpen(), 1);
        EXPECT_EQ(updater.Download(), 0) << length;
        EXPECT_TRUE(os.Writes().empty()) << length;
        EXPECT_EQ(updater.GetProgress(), 10000);
        EXPECT_EQ(DownloadFailureText(updater.WriteError()), "el mando no ha recibido el informe");
    }
}

TEST_F(Download, OpenControllerStartsFromAClosedLink)
{
    Connect(9, 5);
    EXPECT_EQ(updater.OpenController(), 1);
    ASSERT_EQ(updater.IsControllerOpen(), 1);
    EXPECT_EQ(updater.Download(), 0);
    EXPECT_EQ(os.OpenHandles(), 1);  // a failed download keeps the handle

    Connect(9);
    EXPECT_EQ(updater.OpenController(), 1);
    EXPECT_EQ(os.Closes(), 1);  // the old handle was closed before the new search
    EXPECT_EQ(os.OpenHandles(), 1);
    EXPECT_EQ(updater.Download(), 1);
    updater.CloseController();
    EXPECT_EQ(os.OpenHandles(), 0);

    // No controller: still 1, and the caller asks IsControllerOpen.
    os.SetInterfaces({});
    EXPECT_EQ(updater.OpenController(), 1);
    EXPECT_EQ(updater.IsControllerOpen(), 0);
}

TEST_F(Download, ASecondDownloadStartsAgainFromTheCommand)
{
    LoadPattern(updater);
    Connect(9);
    updater.OpenController();
    ASSERT_EQ(updater.Download(), 1);
    RecordProgress();
    ASSERT_EQ(updater.Download(), 1);
    const auto writes = os.Writes();
    ASSERT_EQ(writes.size(), 2 * 2049u);
    EXPECT_EQ(progressAtWrite.front(), 0);
    for (std::size_t i = 0; i < 2049; ++i)
        ASSERT_EQ(writes[i], writes[i + 2049]);
}

TEST_F(Download, DestroyingTheUpdaterClosesTheController)
{
    Connect(9);
    {
        CFirmwareUpdater local;
        local.OpenController();
        ASSERT_EQ(os.OpenHandles(), 1);
    }
    EXPECT_EQ(os.OpenHandles(), 0);
}

}  // namespace
