#include "cli/Output.h"

#include <cerrno>
#include <cstdio>

#include "cli/ExitCodes.h"
#include "sys/File.h"
#include "sys/Process.h"

namespace cli {
namespace {

int g_outputError = 0;
bool g_updated = false;
std::string g_lastComplaint;

}  // namespace

void Complain(const std::string& message)
{
    g_lastComplaint = message;
    Err("tolvanex-cli: " + message + "\n");
}

void Err(const std::string& text)
{
    SysWriteStandard(2, text);
}

const std::string& LastComplaint()
{
    return g_lastComplaint;
}

void Print(const std::string& text)
{
    errno = 0;
    if (!SysWriteStandard(1, text) && g_outputError == 0)
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
