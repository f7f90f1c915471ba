#include <atomic>
#include <cstdio>

#include "device/HidPlatform.h"

namespace hidplat {

namespace {
std::atomic<IHidPlatform*> g_platform{nullptr};
std::atomic<bool> g_echo{false};
}  // namespace

void Diagnose(const char* line)
{
    CurrentHidPlatform().DebugOutput(line);
    if (g_echo.load(std::memory_order_relaxed))
        std::fputs(line, stderr);
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
