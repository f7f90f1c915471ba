#include <atomic>

#include "HidPlatform.h"

namespace hidplat {

namespace {
std::atomic<IHidPlatform*> g_platform{nullptr};
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
