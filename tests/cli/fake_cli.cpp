// tolvanex-cli over the in-memory HID stack, for what needs a controller on
// the host. The environment sets the scene:
//   TVX_FAKE_HID     "controller" (default), "busy" (held by another update),
//                    "denied" (this user may not open it), "fails" (the 100th
//                    report fails), "unlocked" (the system gives no lock for
//                    it), "crowd" (every kind of interface that list tells
//                    apart), "bench" (three controllers, one with two
//                    interfaces; see below), "odd" (interfaces that do not
//                    open for the system's own reasons) or "none"
//                    "unplugged" (unplugged at the 100th report)
//   TVX_FAKE_FAIL    in "bench", the place of a controller whose 100th report fails
//   TVX_FAKE_PASS_OVER  a path: the first walk of the list after its interface
//                    received its whole stream passes over it (an unplug before
//                    it would shift the list so)
//   TVX_FAKE_WALKS   a file that gets one byte per walk of the list: "p" for
//                    the walk that passes over, "w" for the others
//   TVX_FAKE_STOP_AT_LOCK  a path: a stop request (SIGINT) comes as an update
//                    takes that interface's controller
//   TVX_FAKE_APPEAR_MS  the scene's interfaces appear only after this long
//   TVX_FAKE_DELAY_US  time each report takes
//   TVX_FAKE_RECORD  a file that gets one byte per report written
//   TVX_FAKE_STREAMS a folder that gets, when the tool ends, one file per
//                    interface written to (named after the path's last part)
//                    with a line of hex digits per report
//   TVX_FAKE_OWN_CONSOLE  "yes": the console counts as a window opened for the
//                    tool alone (a double click in Explorer), "no": as none
//   TVX_FAKE_RULE    where the controller's udev rule stands: "installed:PATH",
//                    "build:PATH" (in the source tree of the build that runs),
//                    "shipped:PATH" (beside an install), "native" (as the
//                    system tells it); unset: nowhere
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cli/Tool.h"
#include "sys/Process.h"
#include "tests/support/FakeHidPlatform.h"

namespace {

// A repair bench: controllers at 1-1 (two interfaces), 1-2 and 1-3, whose
// serial number is another one's place; a keyboard among them.
std::vector<fakehid::Interface> Bench()
{
    const char* failing = std::getenv("TVX_FAKE_FAIL");
    auto at = [&](std::string path, const char* place, const char* serial) {
        fakehid::Interface c = fakehid::Controller(std::move(path));
        c.controller = std::string("usb-") + place;
        c.place = place;
        c.serial = serial;
        if (failing != nullptr && c.place == failing)
            c.failWriteAt = 100;
        return c;
    };
    fakehid::Interface keyboard;
    keyboard.path = "/dev/fake-keyboard";
    keyboard.vendorId = 0x046D;
    keyboard.productId = 0xC31C;
    keyboard.place = "1-4";
    return {at("/dev/fake-a0", "1-1", "TVX-A"), at("/dev/fake-a1", "1-1", "TVX-A"), keyboard,
            at("/dev/fake-b0", "1-2", "TVX-B"), at("/dev/fake-c0", "1-3", "1-1")};
}

std::vector<fakehid::Interface> Scene(const std::string& kind)
{
    fakehid::Interface controller = fakehid::Controller();
    controller.product = "Tolvanex SWITCH Controller";
    if (kind == "none")
        return {};
    if (kind == "busy")
        controller.heldElsewhere = true;
    if (kind == "denied")
        controller.opens = false;
    if (kind == "fails" || kind == "unplugged")
        controller.failWriteAt = 100;
    if (kind == "unplugged")
        controller.writeError = SysErrorOf(ENODEV);
    if (kind == "unlocked")
        controller.lockFails = true;
    if (kind == "bench")
        return Bench();
    if (kind == "odd") {  // interfaces that do not open for reasons of the system's
        fakehid::Interface failing = fakehid::Controller("/dev/fake-failing");
        failing.opens = false;
        failing.openError = SysErrorOf(EIO);
        fakehid::Interface odd = failing;  // names that would move the cursor and fake a line
        odd.path = "/dev/fake-\x1B[2Jodd\n[9] /dev/falso";
        odd.product = "Mando \x1B[31mrojo";
        odd.place = "1-\x1B[1A9";
        odd.serial = "TVX\n[0] /dev/falso";
        odd.openError = SysErrorOf(SysWindowsError(12345));
        return {failing, odd};
    }
    if (kind != "crowd")
        return {controller};

    fakehid::Interface keyboard;  // kept by the system, as Windows keeps it
    keyboard.path = "/dev/fake-keyboard";
    keyboard.vendorId = 0x046D;
    keyboard.productId = 0xC31C;
    keyboard.usagePage = 0x01;
    keyboard.usage = 0x06;
    keyboard.product = "Teclado";
    keyboard.opens = false;
    fakehid::Interface mouse = keyboard;  // as wine's: it opens all the same
    mouse.path = "/dev/fake-mouse";
    mouse.usage = 0x02;
    mouse.product = "";
    mouse.opens = true;
    fakehid::Interface gone = fakehid::Controller("/dev/fake-gone");
    gone.opens = gone.queryOpens = false;
    gone.openError = SysErrorOf(ENOENT);
    fakehid::Interface denied = fakehid::Controller("/dev/fake-denied");
    denied.opens = false;
    fakehid::Interface busy = fakehid::Controller("/dev/fake-busy");
    busy.heldElsewhere = true;
    fakehid::Interface second = fakehid::Controller("/dev/fake-second");
    return {keyboard, mouse, gone, denied, busy, controller, second};
}

}  // namespace

int main(int argc, char** argv)
{
    const char* scene = std::getenv("TVX_FAKE_HID");
    fakehid::Platform platform;
    const std::vector<fakehid::Interface> interfaces = Scene(scene != nullptr ? scene : "controller");
    const char* appear = std::getenv("TVX_FAKE_APPEAR_MS");
    if (appear != nullptr) {
        std::thread([&platform, interfaces, ms = std::strtol(appear, nullptr, 10)] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            platform.SetInterfaces(interfaces);
        }).detach();
    } else {
        platform.SetInterfaces(interfaces);
    }

    const char* delay = std::getenv("TVX_FAKE_DELAY_US");
    const long delayUs = delay != nullptr ? std::strtol(delay, nullptr, 10) : 0;
    // The tool does this too, but only later: the record must not take a closed stream's place.
    SysGuardStandardStreams();
    const char* record = std::getenv("TVX_FAKE_RECORD");
    std::FILE* recordFile = record != nullptr ? std::fopen(record, "ab") : nullptr;
    platform.SetWriteHook([&](std::size_t) {
        if (delayUs > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        // At once: a test counts the bytes while the tool runs, or after it was killed.
        if (recordFile != nullptr && (std::fputc('r', recordFile) == EOF || std::fflush(recordFile) != 0))
            std::abort();
    });
    if (const char* over = std::getenv("TVX_FAKE_PASS_OVER"))
        platform.PassOverOnce(over, 2049);
    const char* walks = std::getenv("TVX_FAKE_WALKS");
    std::FILE* walksFile = walks != nullptr ? std::fopen(walks, "ab") : nullptr;
    platform.SetWalkHook([&](bool passesOver) {
        if (walksFile != nullptr && (std::fputc(passesOver ? 'p' : 'w', walksFile) == EOF || std::fflush(walksFile) != 0))
            std::abort();
    });
    if (const char* stopAt = std::getenv("TVX_FAKE_STOP_AT_LOCK")) {
        platform.SetLockHook([stop = std::string(stopAt)](const std::string& path) {
            if (path == stop)
                std::raise(SIGINT);
        });
    }
    const char* rule = std::getenv("TVX_FAKE_RULE");
    if (rule != nullptr && std::string(rule) == "native") {
        platform.SetAccessFacts(hidplat::NativeHidPlatform().ControllerAccessFacts());
    } else if (rule != nullptr) {
        const std::string where(rule);
        const std::string path = where.substr(where.find(':') + 1);
        hidplat::AccessFacts facts;
        if (where.starts_with("installed:"))
            facts.installedRule = path;
        else
            facts.shippedRule = path;
        facts.fromBuild = where.starts_with("build:");
        platform.SetAccessFacts(facts);
    }
    if (const char* own = std::getenv("TVX_FAKE_OWN_CONSOLE"))
        cli::SetOwnWindowTest(std::string(own) == "yes" ? +[] { return true; } : +[] { return false; });
    fakehid::ScopedPlatform installed(platform);
    const int status = cli::RunTool(SysCommandLine(argc, argv));
    if (const char* streams = std::getenv("TVX_FAKE_STREAMS")) {
        for (const fakehid::Interface& i : interfaces) {
            std::string text;
            for (const auto& report : platform.WritesTo(i.path)) {
                for (std::uint8_t byte : report) {
                    text += "0123456789abcdef"[byte >> 4];
                    text += "0123456789abcdef"[byte & 0xF];
                }
                text += '\n';
            }
            if (text.empty())
                continue;
            const std::string file = std::string(streams) + "/" + i.path.substr(i.path.rfind('/') + 1);
            std::FILE* f = std::fopen(file.c_str(), "wb");
            if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
                std::abort();
        }
    }
    std::_Exit(status);  // the appearing scene's thread may still sleep
}
