#include "cli/Progress.h"

#include <thread>

#include "cli/Json.h"
#include "cli/Messages.h"
#include "cli/Output.h"
#include "cli/ProgressBar.h"
#include "cli/StopTexts.h"
#include "cli/Transfer.h"
#include "device/DownloadProtocol.h"
#include "sys/Process.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What a third stop request says before it ends the process.
const std::string& TransferLastWords()
{
    static const std::string words = LastWords(kOneTransfer.aborted);
    return words;
}

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
    // Whatever the terminal echoed after the bar (a ^C) goes with each redraw.
    void Progress(std::int32_t value) override
    {
        // A terminal too narrow gets no bar; one drawn before goes, where it can.
        const std::string bar = BarLine({}, 0, value, SysStderrColumns());
        if (!bar.empty() || (m_drawn && m_moves))
            Err("\r" + bar + (m_moves ? "\x1b[K" : ""));
        m_drawn = !bar.empty() || (m_drawn && !m_moves);
    }
    void TransferEnded() override
    {
        if (m_drawn)
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
    const bool m_moves = SysStderrTakesCursorMoves();
    bool m_drawn = false;  // a bar is on the line
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
    void Found(const std::string& path, std::uint32_t outputReportLength, const std::string& version) override
    {
        JsonWriter w;
        w.Object().Str("event", "found").Str("path", path).Num("output_report_length", outputReportLength);
        Line(w.StrOrNull("version", version).End());
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
    int TransferResult(const TransferOutcome& t, int status) override
    {
        if (t.ok)
            return Result(true, kUpdated, status);
        JsonWriter w;
        w.Object().Str("event", "result").Bool("ok", false).Str("message", OutcomeMessage(t));
        if (t.aborted)
            w.Bool("aborted", true);
        else
            w.Str("reason", t.reason);
        Line(w.Num("sent", t.sent).Num("of", kDownloadReports).End());
        return CProgressReporter::TransferResult(t, status);
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
            SysSayOnStop(m_transferAborted.c_str(), TransferLastWords().c_str());
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

void CProgressReporter::Found(const std::string&, std::uint32_t, const std::string&)
{
}

void CProgressReporter::StopHeld(const char* text)
{
    Err(FreshLine());
    Complain(text);
}

int CProgressReporter::TransferResult(const TransferOutcome& t, int status)
{
    if (t.ok)
        return Result(true, kUpdated, status);
    // The failure, then why and how far it came; an abort tells both at once.
    if (!t.aborted)
        Err(std::string(kFailed) + "\n");
    Complain(OutcomeDetail(t));
    return status;
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
    SysSayOnStop(nullptr, stage == Stage::kTransfer ? TransferLastWords().c_str() : nullptr);
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
