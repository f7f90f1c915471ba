#include "cli/FleetProgress.h"

#include <algorithm>
#include <map>
#include <thread>

#include "cli/Json.h"
#include "cli/Messages.h"
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

bool Updated(const FleetOutcome& o)
{
    return o.skip == Skip::kNone && o.transfer.ok;
}

// The counts of a summary: updated, failed (aborted included), passed over.
struct Counts {
    long long updated = 0;
    long long failed = 0;
    long long skipped = 0;
};

Counts CountsOf(const std::vector<FleetOutcome>& outcomes)
{
    Counts n;
    for (const FleetOutcome& o : outcomes)
        ++(o.skip != Skip::kNone ? n.skipped : Updated(o) ? n.updated : n.failed);
    return n;
}

// An outcome that is no success, on stderr: its line, then why a transfer
// failed; an abort says both in one.
void ComplainOf(const FleetOutcome& o)
{
    const std::string label = Shown(o.entry.label);
    if (o.skip == Skip::kNone && o.transfer.aborted) {
        Complain(label + ": " + OutcomeDetail(o.transfer));
        return;
    }
    Complain(label + ": " + o.message);
    if (o.skip == Skip::kNone)
        Complain(label + ": " + OutcomeDetail(o.transfer));
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
            width = std::max(width, TextColumns(Shown(e->label)));
        const int columns = SysStderrColumns();
        std::string text = Up();
        for (const FleetEntry* e : running) {
            const std::string line = BarLine(Shown(e->label), width, e->progress, columns);
            if (line.empty()) {  // too narrow for bars: the result lines alone
                Erase();
                return;
            }
            text += line + "\x1b[K\n";
        }
        text += "\x1b[J";
        m_drawn = running.size();
        Err(text);
    }
    void Ended(const FleetOutcome& o) override
    {
        const bool ok = Updated(o);
        Erase();
        // A failed transfer's bar stays where it stopped, as flash leaves it.
        const std::string bar = BarLine(Shown(o.entry.label), 0, o.entry.progress, SysStderrColumns());
        if (m_bars && !ok && o.skip == Skip::kNone && !bar.empty())
            Err(bar + "\n");
        // On a terminal that is both, a failure shows once: on stderr.
        if (m_watch && (ok || !m_oneTerminal))
            Print(Shown(o.entry.label) + ": " + o.message + "\n");
        FlushOutput();
        if (!ok)
            ComplainOf(o);
    }
    void Note(const std::string& text) override
    {
        Erase();
        Complain(text);
    }
    void StopHeld(const char* text) override
    {
        // What the terminal echoed (^C) goes with the bars, which come back below.
        if (m_drawn != 0)
            Erase();
        else
            Err(FreshLine());
        if (text != nullptr)
            Complain(text);
    }
    int Summary(const std::vector<FleetOutcome>& outcomes, int status, bool aborted) override
    {
        Erase();
        if (aborted)
            Complain(kManyTransfers.aborted);
        if (m_watch) {
            if (!outcomes.empty())
                Complain(UpdatedText(outcomes) + ".");
            return status;
        }
        std::string text = UpdatedText(outcomes) + ":\n";
        for (const FleetOutcome& o : outcomes) {
            text += "  " + Shown(o.entry.label) + ": ";
            if (o.skip == Skip::kNone && o.transfer.aborted)
                text += OutcomeDetail(o.transfer) + "\n";
            else if (o.skip == Skip::kNone && !o.transfer.ok)
                text += o.message + " (" + OutcomeDetail(o.transfer) + ")\n";
            else
                text += o.message + "\n";
        }
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
    const bool m_oneTerminal = SysStdoutIsStderrTerminal();
    std::size_t m_drawn = 0;  // bar lines on the screen, above the cursor
};

class CFleetQuietReporter : public CFleetReporter {
public:
    void Ended(const FleetOutcome& o) override
    {
        if (!Updated(o))
            ComplainOf(o);
    }
    int Summary(const std::vector<FleetOutcome>&, int status, bool aborted) override
    {
        if (aborted)
            Complain(kManyTransfers.aborted);
        return status;
    }
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
        w.StrOrNull("place", e.place);
        w.StrOrNull("serial", e.serial);
        w.Str("path", e.path).Num("output_report_length", e.outputReportLength);
        w.StrOrNull("version", e.version);
        Line(w.End());
        m_last[e.label] = {-1, Clock::time_point{}};
    }
    milliseconds Period() const override { return kPeriod; }
    void Progress(const std::vector<const FleetEntry*>& running) override
    {
        for (const FleetEntry* e : running)
            Value(*e, false);
    }
    void Ended(const FleetOutcome& o) override
    {
        const FleetEntry& e = o.entry;
        JsonWriter w;
        if (o.skip != Skip::kNone) {
            w.Object().Str("event", "skipped").Str("controller", e.label).Str("reason", SkipName(o.skip));
            Line(w.Str("message", o.message).End());
            ComplainOf(o);
            return;
        }
        Value(e, true);
        m_last.erase(e.label);
        const TransferOutcome& t = o.transfer;
        w.Object().Str("event", "result").Str("controller", e.label).Bool("ok", t.ok).Str("message", o.message);
        if (!t.ok) {
            if (t.aborted)
                w.Bool("aborted", true);
            else
                w.Str("reason", t.reason);
            w.Num("sent", t.sent).Num("of", kDownloadReports);
        }
        Line(w.End());
        if (!t.ok)
            ComplainOf(o);
    }
    int Summary(const std::vector<FleetOutcome>& outcomes, int status, bool aborted) override
    {
        if (aborted)
            Complain(kManyTransfers.aborted);
        Line(SummaryEvent(status == 0, CountsOf(outcomes), UpdatedText(outcomes), aborted));
        return status;
    }
    int NoController(int status) override
    {
        Line(SummaryEvent(false, Counts{}, kNotConnected, false));
        return CFleetReporter::NoController(status);
    }
    void SayIfStopped(bool transfers) override
    {
        SysSayOnStop(transfers ? m_aborted.c_str() : nullptr, transfers ? m_lastWords.c_str() : nullptr);
    }

private:
    // Progress events of one controller come at most this often, and only when its value changed.
    static constexpr milliseconds kPeriod{5};

    static JsonWriter SummaryEvent(bool ok, const Counts& n, const std::string& message, bool aborted)
    {
        JsonWriter w;
        w.Object().Str("event", "summary").Bool("ok", ok).Num("updated", n.updated).Num("failed", n.failed);
        w.Num("skipped", n.skipped).Str("message", message);
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
    const std::string m_aborted = SummaryEvent(false, Counts{}, kManyTransfers.event, true).Text() + "\n";
    const std::string m_lastWords = LastWords(kManyTransfers.aborted);
};

}  // namespace

std::string UpdatedText(const std::vector<FleetOutcome>& outcomes)
{
    std::vector<Skip> skips;
    for (const FleetOutcome& o : outcomes)
        skips.push_back(o.skip);
    return "Actualizados " + std::to_string(CountsOf(outcomes).updated) + " de " + std::to_string(outcomes.size()) +
           " mandos" + SkipCounts(skips);
}

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

void CFleetReporter::StopHeld(const char* text)
{
    Err(FreshLine());
    if (text != nullptr)
        Complain(text);
}

int CFleetReporter::NoController(int status)
{
    // As flash tells it of one controller.
    Err(std::string(kNotConnected) + "\n");
    return status;
}

void CFleetReporter::SayIfStopped(bool transfers)
{
    static const std::string lastWords = LastWords(kManyTransfers.aborted);
    SysSayOnStop(nullptr, transfers ? lastWords.c_str() : nullptr);
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
