#include "cli/RunPaths.h"

#include <vector>

#include "cli/Args.h"
#include "cli/BenchLog.h"
#include "cli/ExitCodes.h"
#include "cli/FlashRequest.h"
#include "cli/Input.h"
#include "cli/Output.h"
#include "cli/UsageError.h"
#include "sys/File.h"

namespace cli {
namespace {

// A file the run reads, as the user is told it.
struct InputFile {
    std::string what;  // "la entrada «firmware.hex»"
    SysFileId id;
};

// The inputs that exist as files: FILE or what standard input reads, else
// the catalogue and its release's file.
std::vector<InputFile> Inputs(const ParsedArgs& args, const CInput& input)
{
    std::vector<InputFile> files;
    SysFileId id;
    if (args.Has("catalogue") && SysFileIdOf(args.Value("catalogue").c_str(), &id))
        files.push_back({"el catálogo «" + Shown(args.Value("catalogue")) + "»", id});
    const bool standardInput = input.Path() == "-" && !args.Has("catalogue");
    if (standardInput ? SysStandardStreamId(0, &id) : SysFileIdOf(input.Path().c_str(), &id))
        files.push_back(
            {standardInput ? std::string("la entrada estándar") : "la entrada «" + Shown(input.Path()) + "»", id});
    return files;
}

// The inputs, and the standard streams that flash writes on: a log on one of
// them would interleave with what flash says there, and neither could be read.
std::vector<InputFile> InputsAndStreams(const ParsedArgs& args, const CInput& input)
{
    std::vector<InputFile> files = Inputs(args, input);
    SysFileId id;
    if (SysStandardStreamId(1, &id))
        files.push_back({"la salida estándar", id});
    if (SysStandardStreamId(2, &id))
        files.push_back({"la salida de error", id});
    return files;
}

// False after saying why when `target`, whose identity is `id`, is one of the inputs.
bool NotAnInput(COutput& out, const std::string& prefix, const std::string& target, const SysFileId& id,
                const std::vector<InputFile>& inputs)
{
    for (const InputFile& in : inputs) {
        if (in.id == id) {
            out.Complain(prefix + "no se puede escribir «" + Shown(target) + "»: es el mismo archivo que " + in.what);
            return false;
        }
    }
    return true;
}

}  // namespace

bool OutputIsNoInput(const ParsedArgs& args, COutput& out, const CInput& input, const std::string& target, int* status)
{
    SysFileId id;
    if (target == "-" || !SysFileIdOf(target.c_str(), &id) || NotAnInput(out, "", target, id, Inputs(args, input)))
        return true;
    *status = kExitFile;
    return false;
}

bool LogIsNoInput(const ParsedArgs& args, COutput& out, const CInput& input, const FlashRequest& request, int* status)
{
    if (request.log == nullptr || request.log->Path().empty())
        return true;
    CBenchLog& log = *request.log;
    // The open file is the one judged: it is the one written to, whatever its name names by now.
    SysFileId id;
    if (log.Identity(&id) && !NotAnInput(out, "flash: --log: ", log.Path(), id, InputsAndStreams(args, input))) {
        *status = kExitFile;
        return false;
    }
    std::string why;
    if (!log.CanMake(&why)) {
        *status = UsageError(out, args.command, "--log: no se puede abrir «" + Shown(log.Path()) + "»: " + why);
        return false;
    }
    return true;
}

}  // namespace cli
