// tolvanex-cli over the in-memory HID stack, for what needs a controller on
// the host. The environment sets the scene:
//   TVX_FAKE_HID     "controller" (default), "busy" (held by another update) or "none"
//   TVX_FAKE_DELAY_US  time each report takes
//   TVX_FAKE_RECORD  a file that gets one byte per report written
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "cli/Cli.h"
#include "device/SystemFile.h"
#include "tests/support/FakeHidPlatform.h"

int main(int argc, char** argv)
{
    const char* scene = std::getenv("TVX_FAKE_HID");
    const std::string kind = scene != nullptr ? scene : "controller";
    fakehid::Interface controller = fakehid::Controller();
    controller.heldElsewhere = kind == "busy";
    fakehid::Platform platform;
    if (kind != "none")
        platform.SetInterfaces({controller});

    const char* delay = std::getenv("TVX_FAKE_DELAY_US");
    const long delayUs = delay != nullptr ? std::strtol(delay, nullptr, 10) : 0;
    const char* record = std::getenv("TVX_FAKE_RECORD");
    const int recordFd = record != nullptr ? open(record, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    platform.SetWriteHook([&](std::size_t) {
        if (delayUs > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        if (recordFd >= 0 && write(recordFd, "r", 1) != 1)
            std::abort();
    });
    fakehid::ScopedPlatform installed(platform);
    return cli::Main(SysCommandLine(argc, argv));
}
