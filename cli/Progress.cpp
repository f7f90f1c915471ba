#include "cli/Progress.h"

#include <cstdio>
#include <thread>

#include "cli/Json.h"
#include "cli/Output.h"
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
    std::fprintf(stderr, "tolvanex-cli: esperando al mando %s...\n", bound.c_str());
}

class CTextReporter : public CProgressReporter {
public:
    void Waiting(long seconds) override { TellWaiting(seconds); }
    milliseconds Period() const override { return m_bar ? milliseconds(50) : milliseconds(0); }
    void Progress(std::int32_t value) override
    {
        constexpr int kWidth = 40;
        const int filled = value * kWidth / kProgressScale;
        std::fprintf(stderr, "\r[%-*.*s] %3d%%", kWidth, filled, "########################################",
                     value * 100 / kProgressScale);
        std::fflush(stderr);
    }
    void TransferEnded() override
    {
        if (m_bar)
            std::fputc('\n', stderr);
    }
    int Result(bool, const std::string& message, int status) override
    {
        Print(message + "\n");
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
            std::fprintf(stderr, "%s\n", message.c_str());
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
        Line(JsonWriter().Object().Str("event", "result").Bool("ok", ok).Str("message", message).End());
        return status;
    }
    int Refused(int status) override { return Result(false, LastComplaint(), status); }

private:
    // Progress events come at most this often.
    static constexpr milliseconds kPeriod{5};

    static void Line(const JsonWriter& w)
    {
        Print(w.Text() + "\n");
        std::fflush(stdout);
    }

    std::int32_t m_last = -1;
    Clock::time_point m_lastAt{};
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
