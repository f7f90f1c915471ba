#pragma once
// Waits that last as long as what they wait for keeps moving, instead of a
// fixed time that a busy machine overruns.

#include <chrono>
#include <cstdio>

namespace stall {

inline constexpr std::chrono::seconds kQuiet{60};

// Calls step() until ready() holds: true. progress() gives something that
// changes while the thing waited for moves; once it has not changed for
// `quiet`, this says "STALLED: ..." on stderr (unless `what` is null) and
// gives false.
template <class Ready, class Progress, class Step>
bool Until(const char* what, Ready ready, Progress progress, Step step,
           std::chrono::milliseconds quiet = kQuiet)
{
    using Clock = std::chrono::steady_clock;
    auto last = progress();
    auto since = Clock::now();
    while (!ready()) {
        auto seen = progress();
        const auto now = Clock::now();
        if (seen != last) {
            last = seen;
            since = now;
        } else if (now - since >= quiet) {
            if (what)
                std::fprintf(stderr, "STALLED: no progress for %g s while waiting for %s\n",
                             std::chrono::duration<double>(quiet).count(), what);
            return false;
        }
        step();
    }
    return true;
}

}  // namespace stall
