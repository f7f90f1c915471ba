#include "cli/Output.h"

#include <cerrno>
#include <cstdio>

#include "cli/ExitCodes.h"
#include "sys/File.h"

namespace cli {
namespace {

int g_outputError = 0;
std::string g_lastComplaint;

}  // namespace

void Complain(const std::string& message)
{
    g_lastComplaint = message;
    std::fprintf(stderr, "tolvanex-cli: %s\n", message.c_str());
}

const std::string& LastComplaint()
{
    return g_lastComplaint;
}

void Print(const std::string& text)
{
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && g_outputError == 0)
        g_outputError = errno != 0 ? errno : EIO;
}

int FinishOutput(int status)
{
    int failure = g_outputError;
    errno = 0;
    if (std::fflush(stdout) != 0 && failure == 0)
        failure = errno != 0 ? errno : EIO;
    if (std::ferror(stdout) && failure == 0)
        failure = EIO;
    g_outputError = failure;
    if (failure == 0)
        return status;
    Complain("no se puede escribir la salida estándar: " + SysErrorText(failure));
    return status == kExitOk ? kExitFile : status;
}

}  // namespace cli
