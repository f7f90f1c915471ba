#include "cli/FleetProgress.h"

#include <algorithm>
#include <map>
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

const char kWatching[] = "esperando mandos; cada uno se actualiza al conectarlo (Ctrl+C para terminar)";

std::string Updated(const std::vector<FleetOutcome>& outcomes)
{
    const auto ok = std::count_if(outcomes.begin(), outcomes.end(), [](const FleetOutcome& o) { return o.ok; });
    return "Actualizados " + std::to_string(ok) + " de " + std::to_string(outcomes.size()) + " mandos";
}

// Bars on a terminal that takes cursor moves: one line per update under way,
// redrawn in place below whatever lines were printed.
class CFleetTextReporter : public CFleetReporter {
public:
    explicit CFleetTextReporter(bool watch) : m_watch(watch) {}
    ~CFleetTextReporter() override { Erase(); }

    void Watching() override { Note(kWatching); }
    milliseconds Period() const override { return m_bars ? milliseconds(50) : milliseconds(0); }
    void Progress(const std::vector<const FleetEntry*>& running) override
    {
        std::size_t width = 0;
        for (const FleetEntry* e : running)
            width = std::max(width, Shown(e->label).size());
        // The warning of a held stop request came below the bars: draw anew under it.
        if (SysStopRequestHeld() != m_held) {
            m_held = !m_held;
            m_drawn = 0;
        }
        std::string text = Up();
        for (const FleetEntry* e : running) {
            const std::string label = Shown(e->label);
            text += label + std::string(width - label.size(), ' ') + " " + ProgressBar(e->progress) + "\x1b[K\n";
        }
        text += "\x1b[J";
        m_drawn = running.size();
        Err(text);
    }
    void Ended(const FleetEntry& entry, bool ok, const std::string& message) override
    {
        Erase();
        if (m_watch)
            Print(Shown(entry.label) + ": " + message + "\n");
        FlushOutput();
        if (!ok)
            Complain(Shown(entry.label) + ": " + message);
    }
    void Note(const std::string& text) override
    {
        Erase();
        Complain(text);
    }
    int Summary(const std::vector<FleetOutcome>& outcomes, int status) override
    {
        Erase();
        if (m_watch) {
            if (!outcomes.empty())
                Complain(Updated(outcomes) + ".");
            return status;
        }
        std::string text = Updated(outcomes) + ":\n";
        for (const FleetOutcome& o : outcomes)
            text += "  " + Shown(o.label) + ": " + o.message + "\n";
        Print(text);
        return status;
    }

private:
    std::string Up() const { return m_drawn == 0 ? std::string("\r") : "\x1b[" + std::to_string(m_drawn) + "A\r"; }
    void Erase()
    {
        if (m_drawn == 0)
            return;
        Err(Up() + "\x1b[J");
        m_drawn = 0;
    }

    const bool m_watch;
    const bool m_bars = SysStderrTakesCursorMoves();
    std::size_t m_drawn = 0;  // bar lines on the screen, above the cursor
    bool m_held = false;
};

class CFleetQuietReporter : public CFleetReporter {
public:
    void Ended(const FleetEntry& entry, bool ok, const std::string& message) override
    {
        if (!ok)
            Complain(Shown(entry.label) + ": " + message);
    }
    int Summary(const std::vector<FleetOutcome>&, int status) override { return status; }
};

class CFleetJsonReporter : public CFleetReporter {
public:
    void Watching() override
    {
        Complain(kWatching);
        Line(JsonWriter().Object().Str("event", "watching").End());
    }
    void Found(const FleetEntry& e) override
    {
        JsonWriter w;
        w.Object().Str("event", "found").Str("controller", e.label);
        StrOrNull(w, "place", e.place);
        StrOrNull(w, "serial", e.serial);
        w.Str("path", e.path).Num("output_report_length", e.outputReportLength);
        Line(w.End());
        m_last[e.label] = {-1, Clock::time_point{}};
    }
    milliseconds Period() const override { return kPeriod; }
    void Progress(const std::vector<const FleetEntry*>& running) override
    {
        for (const FleetEntry* e : running)
            Value(*e, false);
    }
    void Ended(const FleetEntry& e, bool ok, const std::string& message) override
    {
        Value(e, true);
        m_last.erase(e.label);
        Line(JsonWriter()
                 .Object()
                 .Str("event", "result")
                 .Str("controller", e.label)
                 .Bool("ok", ok)
                 .Str("message", message)
                 .End());
        if (!ok)
            Complain(Shown(e.label) + ": " + message);
    }
    int Summary(const std::vector<FleetOutcome>& outcomes, int status) override
    {
        const auto ok = std::count_if(outcomes.begin(), outcomes.end(), [](const FleetOutcome& o) { return o.ok; });
        Line(SummaryEvent(status == 0, ok, static_cast<long long>(outcomes.size()) - ok, Updated(outcomes), false));
        return status;
    }
    int NoController(const std::string& message, int status) override
    {
        Line(SummaryEvent(false, 0, 0, message, false));
        return CFleetReporter::NoController(message, status);
    }
    void SayIfStopped(bool transfers) override
    {
        SysSayOnStop(transfers ? m_aborted.c_str() : nullptr, transfers ? kManyTransfers.aborted : nullptr);
    }

private:
    // Progress events of one controller come at most this often, and only when its value changed.
    static constexpr milliseconds kPeriod{5};

    static JsonWriter SummaryEvent(bool ok, long long updated, long long failed, const std::string& message,
                                   bool aborted)
    {
        JsonWriter w;
        w.Object().Str("event", "summary").Bool("ok", ok).Num("updated", updated).Num("failed", failed);
        w.Str("message", message);
        if (aborted)
            w.Bool("aborted", true);
        w.End();
        return w;
    }
    static void StrOrNull(JsonWriter& w, const char* key, const std::string& text)
    {
        if (text.empty())
            w.Null(key);
        else
            w.Str(key, text);
    }
    static void Line(const JsonWriter& w)
    {
        Print(w.Text() + "\n");
        FlushOutput();
    }
    // The last value of an update is never dropped: it waits for its turn.
    void Value(const FleetEntry& e, bool last)
    {
        auto& [value, at] = m_last[e.label];
        if (e.progress == value || (!last && Clock::now() < at + kPeriod))
            return;
        std::this_thread::sleep_until(at + kPeriod);
        value = e.progress;
        at = Clock::now();
        Line(JsonWriter()
                 .Object()
                 .Str("event", "progress")
                 .Str("controller", e.label)
                 .Num("value", e.progress)
                 .Num("of", kProgressScale)
                 .End());
    }

    std::map<std::string, std::pair<std::int32_t, Clock::time_point>> m_last;
    // What the signal handler writes: made once, and kept while it may run.
    const std::string m_aborted = SummaryEvent(false, 0, 0, kManyTransfers.event, true).Text() + "\n";
};

}  // namespace

void CFleetReporter::Watching()
{
}

void CFleetReporter::Found(const FleetEntry&)
{
}

std::chrono::milliseconds CFleetReporter::Period() const
{
    return milliseconds(0);
}

void CFleetReporter::Progress(const std::vector<const FleetEntry*>&)
{
}

void CFleetReporter::Note(const std::string& text)
{
    Complain(text);
}

int CFleetReporter::NoController(const std::string& message, int status)
{
    // As flash tells it of one controller.
    Err(message + "\n");
    return status;
}

void CFleetReporter::SayIfStopped(bool transfers)
{
    SysSayOnStop(nullptr, transfers ? kManyTransfers.aborted : nullptr);
}

std::unique_ptr<CFleetReporter> MakeFleetReporter(ReportStyle style, bool watch)
{
    switch (style) {
    case ReportStyle::kQuiet:
        return std::make_unique<CFleetQuietReporter>();
    case ReportStyle::kJson:
        return std::make_unique<CFleetJsonReporter>();
    case ReportStyle::kText:
        break;
    }
    return std::make_unique<CFleetTextReporter>(watch);
}

}  // namespace cli
