#include "cli/ProgressBar.h"

#include <algorithm>
#include <cstdio>

#include "device/DownloadProtocol.h"

namespace cli {
namespace {

constexpr int kFullBar = 40;
constexpr int kNarrowestBar = 10;
// What a narrowed label column keeps: enough to tell "1-1.2" from "1-1.3".
constexpr std::size_t kNarrowestLabel = 6;
// The bar's brackets, the space and " 50%" around its cells.
constexpr int kAroundBar = 7;

std::string Bar(std::int32_t value, int width)
{
    const int filled = std::clamp(value, 0, kProgressScale) * width / kProgressScale;
    char percent[16];
    std::snprintf(percent, sizeof percent, "] %3d%%", value * 100 / kProgressScale);
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), ' ') + percent;
}

bool Continues(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// `label` in exactly `columns`: padded with spaces, or cut with "…".
std::string Fitted(std::string_view label, std::size_t columns)
{
    const std::size_t has = TextColumns(label);
    if (has <= columns)
        return std::string(label) + std::string(columns - has, ' ');
    std::size_t end = 0;
    for (std::size_t kept = 0; kept + 1 < columns; ++kept)
        do
            ++end;
        while (end < label.size() && Continues(label[end]));
    return std::string(label.substr(0, end)) + "…";
}

}  // namespace

std::string ProgressBar(std::int32_t value)
{
    return Bar(value, kFullBar);
}

std::size_t TextColumns(std::string_view text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return !Continues(c); }));
}

std::string BarLine(std::string_view label, std::size_t labelColumns, std::int32_t value, int columns)
{
    const bool labelled = !label.empty() || labelColumns != 0;
    std::size_t column = std::max(labelColumns, TextColumns(label));
    int bar = kFullBar;
    if (columns > 0) {
        // Writing in the last column makes some terminals wrap at once.
        const int room = columns - 1 - kAroundBar;
        const int forLabel = labelled ? static_cast<int>(column) + 1 : 0;
        if (room - forLabel < kFullBar && column > kNarrowestLabel) {
            const std::size_t lacking = static_cast<std::size_t>(kFullBar - (room - forLabel));
            column -= std::min(column - kNarrowestLabel, lacking);
        }
        bar = std::min(kFullBar, room - (labelled ? static_cast<int>(column) + 1 : 0));
        if (bar < kNarrowestBar)
            return {};
    }
    return (labelled ? Fitted(label, column) + " " : std::string()) + Bar(value, bar);
}

}  // namespace cli
