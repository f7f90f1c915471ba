#include "cli/Progress.h"

#include <thread>

#include "cli/Json.h"
#include "cli/Output.h"
#include "cli/ProgressBar.h"
#include "cli/StopTexts.h"
#include "device/DownloadProtocol.h"
#include "sys/Process.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void TellWaiting(long seconds)
{
    const std::string bound = seconds < 0 ? std::string("(Ctrl+C para dejarlo)")
                                          : "hasta " + std::to_string(seconds) + " s (Ctrl+C para dejarlo)";
    Err("tolvanex-cli: esperando al mando " + bound + "...\n");
}

class CTextReporter : public CProgressReporter {
public:
    void Waiting(long seconds) override { TellWaiting(seconds); }
    milliseconds Period() const override { return m_bar ? milliseconds(50) : milliseconds(0); }
    void Progress(std::int32_t value) override { Err("\r" + ProgressBar(value)); }
    void TransferEnded() override
    {
        if (m_bar)
            Err("\n");
    }
    int Result(bool ok, const std::string& message, int status) override
    {
        if (ok)
            Print(message + "\n");
        else
            Err(message + "\n");
        return status;
    }

private:
    const bool m_bar = SysStderrIsTerminal();
};

class CQuietReporter : public CProgressReporter {
public:
    void Waiting(long) override {}
    int Result(bool ok, const std::string& message, int status) override
    {
        if (!ok)
            Err(message + "\n");
        return status;
    }
};

class CJsonReporter : public CProgressReporter {
public:
    void Waiting(long seconds) override
    {
        TellWaiting(seconds);
        JsonWriter w;
        w.Object().Str("event", "waiting");
        if (seconds < 0)
            w.Null("seconds");
        else
            w.Num("seconds", seconds);
        Line(w.End());
    }
    void Found(const std::string& path, std::uint32_t outputReportLength) override
    {
        Line(JsonWriter()
                 .Object()
                 .Str("event", "found")
                 .Str("path", path)
                 .Num("output_report_length", outputReportLength)
                 .End());
    }
    milliseconds Period() const override { return kPeriod; }
    void Progress(std::int32_t value) override
    {
        if (value == m_last)
            return;
        // The last call comes when the transfer ends, maybe sooner than the period.
        std::this_thread::sleep_until(m_lastAt + kPeriod);
        m_lastAt = Clock::now();
        m_last = value;
        Line(JsonWriter().Object().Str("event", "progress").Num("value", value).Num("of", kProgressScale).End());
    }
    int Result(bool ok, const std::string& message, int status) override
    {
        Line(ResultEvent(ok, message, false));
        if (!ok)
            Err(message + "\n");
        return status;
    }
    int Refused(int status) override
    {
        Line(ResultEvent(false, LastComplaint(), false));
        return status;
    }
    void SayIfStopped(Stage stage) override
    {
        if (stage == Stage::kWaiting)
            SysSayOnStop(m_waitAborted.c_str(), nullptr);
        else if (stage == Stage::kTransfer)
            SysSayOnStop(m_transferAborted.c_str(), kOneTransfer.aborted);
        else
            SysSayOnStop(nullptr, nullptr);
    }

private:
    // Progress events come at most this often.
    static constexpr milliseconds kPeriod{5};

    static JsonWriter ResultEvent(bool ok, const std::string& message, bool aborted)
    {
        JsonWriter w;
        w.Object().Str("event", "result").Bool("ok", ok).Str("message", message);
        if (aborted)
            w.Bool("aborted", true);
        w.End();
        return w;
    }
    static void Line(const JsonWriter& w)
    {
        Print(w.Text() + "\n");
        FlushOutput();
    }

    std::int32_t m_last = -1;
    Clock::time_point m_lastAt{};
    // What the signal handler writes: made once, and kept while it may run.
    const std::string m_waitAborted = ResultEvent(false, kWaitAborted, true).Text() + "\n";
    const std::string m_transferAborted = ResultEvent(false, kOneTransfer.event, true).Text() + "\n";
};

}  // namespace

void CProgressReporter::Found(const std::string&, std::uint32_t)
{
}

milliseconds CProgressReporter::Period() const
{
    return milliseconds(0);
}

void CProgressReporter::Progress(std::int32_t)
{
}

void CProgressReporter::TransferEnded()
{
}

int CProgressReporter::Refused(int status)
{
    return status;
}

void CProgressReporter::SayIfStopped(Stage stage)
{
    SysSayOnStop(nullptr, stage == Stage::kTransfer ? kOneTransfer.aborted : nullptr);
}

std::unique_ptr<CProgressReporter> MakeProgressReporter(ReportStyle style)
{
    switch (style) {
    case ReportStyle::kQuiet:
        return std::make_unique<CQuietReporter>();
    case ReportStyle::kJson:
        return std::make_unique<CJsonReporter>();
    case ReportStyle::kText:
        break;
    }
    return std::make_unique<CTextReporter>();
}

}  // namespace cli
