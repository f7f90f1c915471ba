#include <atomic>
#include <string>

#include "device/HidPlatform.h"
#include "sys/Process.h"

namespace hidplat {

namespace {
std::atomic<IHidPlatform*> g_platform{nullptr};
std::atomic<bool> g_echo{false};

// What each line of the search means, for a user who asked to see them: the
// lines are fixed, and in English, and the normal end of a search reads as an error.
const char* Meaning(const std::string& line)
{
    static const struct {
        const char* line;
        const char* meaning;
    } kMeanings[] = {
        {"No se encuentra mando", "el sistema no ha dado la lista de interfaces HID"},
        {"Request interface data error", "fin de la lista de interfaces; es lo normal"},
        {"Request size of symbolic link name error",
         "no hay sitio para los datos de una interfaz; la búsqueda termina aquí"},
        {"Request symbolic link name error", "no se leen los datos de una interfaz; la búsqueda termina aquí"},
    };
    for (const auto& m : kMeanings) {
        if (line == m.line)
            return m.meaning;
    }
    return nullptr;
}

}  // namespace

void Diagnose(const char* line)
{
    CurrentHidPlatform().DebugOutput(line);
    if (!g_echo.load(std::memory_order_relaxed))
        return;
    std::string text = line;
    const bool newline = !text.empty() && text.back() == '\n';
    if (newline)
        text.pop_back();
    if (const char* meaning = Meaning(text))
        text += std::string(" (") + meaning + ")";
    SysWriteStandard(2, newline ? text + "\n" : text);
}

void SetDiagnosticsEcho(bool echo)
{
    g_echo.store(echo, std::memory_order_relaxed);
}

void IHidPlatform::BeginSearch(bool)
{
}

void IHidPlatform::UnlockController(Handle)
{
}

bool IHidPlatform::DescribeController(const std::string& path, ControllerInfo* info)
{
    if (info == nullptr)
        return false;
    *info = ControllerInfo{path, {}, {}};
    return true;
}

IHidPlatform& CurrentHidPlatform()
{
    IHidPlatform* p = g_platform.load(std::memory_order_acquire);
    return p != nullptr ? *p : NativeHidPlatform();
}

IHidPlatform* SetHidPlatform(IHidPlatform* platform)
{
    IHidPlatform* previous = g_platform.exchange(platform, std::memory_order_acq_rel);
    return previous != nullptr ? previous : &NativeHidPlatform();
}

}  // namespace hidplat
