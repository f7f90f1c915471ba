#include "cli/Reporter.h"

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
// failed; an abort says both in one. One controller goes unnamed.
void ComplainOf(COutput& out, const FleetOutcome& o, bool one)
{
    if (one && o.skip == Skip::kNone && !o.transfer.aborted) {
        Err(std::string(kFailed) + "\n");
        out.Complain(OutcomeDetail(o.transfer));
        return;
    }
    const std::string label = one ? std::string() : Shown(o.entry.label) + ": ";
    if (o.skip == Skip::kNone && o.transfer.aborted) {
        out.Complain(label + OutcomeDetail(o.transfer));
        return;
    }
    out.Complain(label + o.message);
    if (o.skip == Skip::kNone)
        out.Complain(label + OutcomeDetail(o.transfer));
}

void TellWaiting(long seconds)
{
    const std::string bound = seconds < 0 ? std::string("(Ctrl+C para dejarlo)")
                                          : "hasta " + std::to_string(seconds) + " s (Ctrl+C para dejarlo)";
    Err("tolvanex-cli: esperando al mando " + bound + "...\n");
}

const StopTexts& StopTextsOf(bool one)
{
    return one ? kOneTransfer : kManyTransfers;
}

// Bars on a terminal: one controller's redrawn on its line; several, one line
// per update under way, redrawn in place below whatever lines were printed
// (on a terminal that takes cursor moves).
class CTextReporter : public CReporter {
public:
    using CReporter::CReporter;
    ~CTextReporter() override
    {
        Erase();
        SysCursorMovesDone();
    }

    void Waiting(long seconds) override { TellWaiting(seconds); }
    void Watching() override
    {
        Erase();
        m_out.Complain(kWatching);
    }
    void Note(const FleetEntry& entry, const std::string& text) override
    {
        Erase();
        CReporter::Note(entry, text);
    }
    milliseconds Period() const override { return (One() ? m_bar : m_moves) ? milliseconds(50) : milliseconds(0); }
    void Progress(const std::vector<const FleetEntry*>& running) override
    {
        if (One()) {
            DrawOne(running.front()->progress);
            return;
        }
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
    void StopHeld(const char* text) override
    {
        // What the terminal echoed (^C) goes with the bars, which come back below.
        if (m_drawn != 0)
            Erase();
        else
            Err(FreshLine());
        if (text != nullptr)
            m_out.Complain(text);
    }
    void Ended(const FleetOutcome& o, bool) override
    {
        const bool ok = Updated(o);
        if (One()) {
            // The bar stays where the transfer stopped.
            if (m_bar && o.skip == Skip::kNone)
                DrawOne(o.entry.progress);
            if (m_oneDrawn)
                Err("\n");
            m_oneDrawn = false;
            if (ok)
                m_out.Print(std::string(kUpdated) + "\n");
            else
                ComplainOf(m_out, o, true);
            return;
        }
        Erase();
        // A failed transfer's bar stays where it stopped, as flash leaves it.
        const std::string bar = BarLine(Shown(o.entry.label), 0, o.entry.progress, SysStderrColumns());
        if (m_moves && !ok && o.skip == Skip::kNone && !bar.empty())
            Err(bar + "\n");
        // On a terminal that is both, a failure shows once: on stderr.
        if (Watch() && (ok || !m_oneTerminal))
            m_out.Print(Shown(o.entry.label) + ": " + o.message + "\n");
        m_out.Flush();
        if (!ok)
            ComplainOf(m_out, o, false);
    }
    int Summary(const std::vector<FleetOutcome>& outcomes, int status, bool aborted, bool) override
    {
        if (One())
            return status;
        Erase();
        if (aborted)
            m_out.Complain(kManyTransfers.aborted);
        if (Watch()) {
            if (!outcomes.empty())
                m_out.Complain(UpdatedText(outcomes) + ".");
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
        m_out.Print(text);
        return status;
    }

private:
    // One controller's bar, redrawn on its line; whatever the terminal echoed
    // after it (a ^C) goes with each redraw. A terminal too narrow gets no
    // bar, and one drawn before goes, where it can.
    void DrawOne(std::int32_t value)
    {
        const std::string bar = BarLine({}, 0, value, SysStderrColumns());
        if (!bar.empty() || (m_oneDrawn && m_moves))
            Err("\r" + bar + (m_moves ? "\x1b[K" : ""));
        m_oneDrawn = !bar.empty() || (m_oneDrawn && !m_moves);
    }
    std::string Up() const { return m_drawn == 0 ? std::string("\r") : "\x1b[" + std::to_string(m_drawn) + "A\r"; }
    void Erase()
    {
        if (m_drawn == 0)
            return;
        Err(Up() + "\x1b[J");
        m_drawn = 0;
    }

    const bool m_bar = SysStderrIsTerminal();
    const bool m_moves = SysStderrTakesCursorMoves();
    const bool m_oneTerminal = SysStdoutIsStderrTerminal();
    std::size_t m_drawn = 0;  // bar lines on the screen, above the cursor
    bool m_oneDrawn = false;  // one controller's bar is on the line
};

class CQuietReporter : public CReporter {
public:
    using CReporter::CReporter;

    void Ended(const FleetOutcome& o, bool) override
    {
        if (!Updated(o))
            ComplainOf(m_out, o, One());
    }
};

class CJsonReporter : public CReporter {
public:
    using CReporter::CReporter;

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
    void Watching() override
    {
        m_out.Complain(kWatching);
        Line(JsonWriter().Object().Str("event", "watching").End());
    }
    void Found(const FleetEntry& e) override
    {
        JsonWriter w;
        w.Object().Str("event", "found");
        if (!One()) {
            w.Str("controller", e.label);
            w.StrOrNull("place", e.place);
            w.StrOrNull("serial", e.serial);
        }
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
    void Ended(const FleetOutcome& o, bool logLost) override
    {
        const FleetEntry& e = o.entry;
        JsonWriter w;
        w.Object();
        if (o.skip != Skip::kNone) {
            w.Str("event", One() ? "result" : "skipped");
            if (One())
                w.Bool("ok", false).Str("message", o.message).Str("reason", SkipName(o.skip));
            else
                w.Str("controller", e.label).Str("reason", SkipName(o.skip)).Str("message", o.message);
            Line(LogLost(w, logLost && One()).End());
            ComplainOf(m_out, o, One());
            return;
        }
        Value(e, true);
        m_last.erase(e.label);
        const TransferOutcome& t = o.transfer;
        w.Str("event", "result");
        if (!One())
            w.Str("controller", e.label);
        w.Bool("ok", t.ok && !(logLost && One())).Str("message", o.message);
        if (!t.ok) {
            if (t.aborted)
                w.Bool("aborted", true);
            else
                w.Str("reason", t.reason);
            w.Num("sent", t.sent).Num("of", kDownloadReports);
        }
        Line(LogLost(w, logLost && One()).End());
        if (!t.ok)
            ComplainOf(m_out, o, One());
    }
    int NoController(int status) override
    {
        JsonWriter w =
            One() ? ResultEvent(false, kNotConnected, false) : SummaryEvent(false, Counts{}, kNotConnected, false);
        Line(w.End());
        return CReporter::NoController(status);
    }
    void WaitAborted() override
    {
        Line(ResultEvent(false, kWaitAborted, true).End());
        CReporter::WaitAborted();
    }
    int Summary(const std::vector<FleetOutcome>& outcomes, int status, bool aborted, bool logLost) override
    {
        if (One())
            return status;
        if (aborted)
            m_out.Complain(kManyTransfers.aborted);
        JsonWriter w = SummaryEvent(status == 0 && !logLost, CountsOf(outcomes), UpdatedText(outcomes), aborted);
        Line(LogLost(w, logLost).End());
        return status;
    }
    int Refused(int status) override
    {
        Line(ResultEvent(false, m_out.LastComplaint(), false).End());
        return status;
    }
    void SayIfStopped(bool holding) override
    {
        SysSayOnStop(holding ? m_aborted.c_str() : nullptr, holding ? m_lastWords.c_str() : nullptr);
    }

private:
    // Progress events of one controller come at most this often, and only when its value changed.
    static constexpr milliseconds kPeriod{5};

    // Open objects: the caller may add to them before End().
    static JsonWriter ResultEvent(bool ok, const std::string& message, bool aborted)
    {
        JsonWriter w;
        w.Object().Str("event", "result").Bool("ok", ok).Str("message", message);
        if (aborted)
            w.Bool("aborted", true);
        return w;
    }
    static JsonWriter SummaryEvent(bool ok, const Counts& n, const std::string& message, bool aborted)
    {
        JsonWriter w;
        w.Object().Str("event", "summary").Bool("ok", ok).Num("updated", n.updated).Num("failed", n.failed);
        w.Num("skipped", n.skipped).Str("message", message);
        if (aborted)
            w.Bool("aborted", true);
        return w;
    }
    // A record that --log lost makes the run no success, whatever the controllers.
    static JsonWriter& LogLost(JsonWriter& w, bool lost)
    {
        if (lost)
            w.Bool("log_lost", true);
        return w;
    }
    void Line(const JsonWriter& w)
    {
        m_out.PrintData(w.Text() + "\n");
        m_out.Flush();
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
        JsonWriter w;
        w.Object().Str("event", "progress");
        if (!One())
            w.Str("controller", e.label);
        Line(w.Num("value", e.progress).Num("of", kProgressScale).End());
    }

    std::map<std::string, std::pair<std::int32_t, Clock::time_point>> m_last;
    // What the signal handler writes: made once, and kept while it may run.
    const std::string m_aborted = (One() ? ResultEvent(false, kOneTransfer.event, true).End()
                                         : SummaryEvent(false, Counts{}, kManyTransfers.event, true).End())
                                      .Text() +
                                  "\n";
    const std::string m_lastWords = LastWords(StopTextsOf(One()).aborted);
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

void CReporter::Waiting(long)
{
}

void CReporter::Watching()
{
}

void CReporter::Found(const FleetEntry&)
{
}

void CReporter::Note(const FleetEntry& entry, const std::string& text)
{
    m_out.Complain(One() ? text : entry.label + ": " + text);
}

std::chrono::milliseconds CReporter::Period() const
{
    return milliseconds(0);
}

void CReporter::Progress(const std::vector<const FleetEntry*>&)
{
}

void CReporter::StopHeld(const char* text)
{
    Err(FreshLine());
    if (text != nullptr)
        m_out.Complain(text);
}

int CReporter::NoController(int status)
{
    Err(std::string(kNotConnected) + "\n");
    return status;
}

void CReporter::WaitAborted()
{
    // As "Mando no conectado" is told, with why there is none.
    Err(std::string(kWaitAborted) + "\n");
}

int CReporter::Summary(const std::vector<FleetOutcome>&, int status, bool aborted, bool)
{
    if (aborted && !One())
        m_out.Complain(kManyTransfers.aborted);
    return status;
}

int CReporter::Refused(int status)
{
    return status;
}

void CReporter::SayIfStopped(bool holding)
{
    static const std::string one = LastWords(kOneTransfer.aborted);
    static const std::string many = LastWords(kManyTransfers.aborted);
    SysSayOnStop(nullptr, holding ? (One() ? one : many).c_str() : nullptr);
}

std::unique_ptr<CReporter> MakeReporter(ReportStyle style, FlashMode mode, COutput& out)
{
    switch (style) {
    case ReportStyle::kQuiet:
        return std::make_unique<CQuietReporter>(mode, out);
    case ReportStyle::kJson:
        return std::make_unique<CJsonReporter>(mode, out);
    case ReportStyle::kText:
        break;
    }
    return std::make_unique<CTextReporter>(mode, out);
}

}  // namespace cli
