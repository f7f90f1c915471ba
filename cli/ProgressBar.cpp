#include "cli/ProgressBar.h"

#include <cstdio>

#include "device/DownloadProtocol.h"

namespace cli {

std::string ProgressBar(std::int32_t value)
{
    constexpr int kWidth = 40;
    const int filled = value * kWidth / kProgressScale;
    char bar[64];
    std::snprintf(bar, sizeof bar, "[%-*.*s] %3d%%", kWidth, filled, "########################################",
                  value * 100 / kProgressScale);
    return bar;
}

}  // namespace cli
