#include "cli/Output.h"

#include <cerrno>
#include <cstdio>

#include "cli/ExitCodes.h"
#include "sys/File.h"

namespace cli {
namespace {

int g_outputError = 0;
bool g_updated = false;
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
    errno = 0;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && g_outputError == 0)
        g_outputError = errno != 0 ? errno : EIO;
}

void FlushOutput()
{
    errno = 0;
    if (std::fflush(stdout) != 0 && g_outputError == 0)
        g_outputError = errno != 0 ? errno : EIO;
}

void NoteControllerUpdated()
{
    g_updated = true;
}

int FinishOutput(int status)
{
    FlushOutput();
    if (std::ferror(stdout) && g_outputError == 0)
        g_outputError = EIO;
    if (g_outputError == 0)
        return status;
    Complain("no se puede escribir la salida estándar: " + SysErrorText(g_outputError));
    if (g_updated) {
        Complain("el mando se ha actualizado, pero lo que había que decir en la salida estándar se ha perdido");
        return status == kExitOk ? kExitOutputLost : status;
    }
    return status == kExitOk ? kExitFile : status;
}

}  // namespace cli
