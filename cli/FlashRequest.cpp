#include "cli/FlashRequest.h"

#include <cerrno>
#include <cstdlib>

#include "cli/Args.h"
#include "cli/BenchLog.h"
#include "cli/Controllers.h"
#include "cli/Output.h"
#include "cli/UsageError.h"

namespace cli {
namespace {

// Tells a usage error of `args`' command; false, for the checks of the options.
bool Misused(const ParsedArgs& args, COutput& out, const std::string& why)
{
    UsageError(out, args.command, why);
    return false;
}

// The longest --wait: a year. Longer is a typing mistake, and the deadline
// must not overflow the clock.
constexpr long kMaxWaitSeconds = 365L * 24 * 60 * 60;

// --wait's seconds, -1 to wait until stopped; false after a usage error for a
// value that is none or longer than kMaxWaitSeconds.
bool WaitOption(const ParsedArgs& args, COutput& out, long* seconds)
{
    *seconds = 0;
    if (!args.Has("wait"))
        return true;
    const std::string& value = args.Value("wait");
    if (value.empty()) {
        *seconds = -1;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (errno != 0 || end == value.c_str() || *end != '\0' || n < 0 || n > kMaxWaitSeconds)
        return Misused(args, out,
                       "--wait=SEGUNDOS espera un número entero de segundos, de 0 a " +
                           std::to_string(kMaxWaitSeconds) + " (un año)");
    *seconds = n;
    return true;
}

// --quiet or --progress=json, which the command table keeps apart and to that one word.
ReportStyle StyleOption(const ParsedArgs& args)
{
    if (args.Has("progress"))
        return ReportStyle::kJson;
    return args.Has("quiet") ? ReportStyle::kQuiet : ReportStyle::kText;
}

// A selection's kind with nothing after it: "place:".
bool EmptySelection(const std::string& sel)
{
    DeviceSelection selection;
    return SplitSelection(sel, &selection) && selection.value.empty();
}

// The options that pick controllers; the command table has refused those
// that do not go together. False after a usage error.
bool PickOptions(const ParsedArgs& args, COutput& out, FlashRequest* request)
{
    if (args.Has("device") && (args.Value("device").empty() || EmptySelection(args.Value("device"))))
        return Misused(args, out, "--device=SEL necesita SEL (path:RUTA, place:LUGAR o serial:NÚMERO)");
    request->device = args.Has("device") ? args.Value("device") : std::string();
    request->mode = args.Has("all") ? FlashMode::kAll : args.Has("watch") ? FlashMode::kWatch : FlashMode::kOne;
    return true;
}

// --log's FILE, opened now when it exists, before anything is sent; a missing
// one is made once the inputs are known (cli/RunPaths.h). False after a usage
// error.
bool LogOption(const ParsedArgs& args, COutput& out, CBenchLog& log)
{
    if (!args.Has("log"))
        return true;
    const std::string& path = args.Value("log");
    if (path == "-")
        return Misused(args, out,
                       "--log - no vale: la salida estándar lleva lo que dice flash; el registro va a un archivo");
    std::string why;
    if (!log.Open(path, &why))
        return Misused(args, out, "--log: no se puede abrir «" + Shown(path) + "»: " + why);
    return true;
}

}  // namespace

bool ReadRequest(const ParsedArgs& args, COutput& out, FlashRequest* request, CBenchLog& log)
{
    request->strict = args.Has("strict");
    request->style = StyleOption(args);
    request->log = &log;
    return WaitOption(args, out, &request->waitSeconds) && PickOptions(args, out, request) && LogOption(args, out, log);
}

}  // namespace cli
