// The real updater window over the in-memory HID stack, for the tests under
// wine: one controller whose reports take a little time each, so that a test
// can watch the transfer. TVX_UNPLUG_AT=K makes report K and every later one
// fail, as when the cable is pulled.

#include <windows.h>

#include <cstdlib>

#include "app/UpdaterApp.h"
#include "sys/ErrorText.h"
#include "tests/support/FakeHidPlatform.h"
#include "ui/WindowApp.h"

int main(int argc, char** argv)
{
    fakehid::Interface controller = fakehid::Controller("\\\\?\\hid#vid_0e8f&pid_310d#test", 65);
    if (const char* unplugAt = std::getenv("TVX_UNPLUG_AT")) {
        controller.failWriteAt = std::atoi(unplugAt);
        controller.writeError = SysErrorOf(SysWindowsError(ERROR_DEVICE_NOT_CONNECTED));
    }
    fakehid::Platform platform({controller});
    platform.SetWriteHook([](std::size_t) { ::Sleep(1); });
    fakehid::ScopedPlatform installed(platform);

    wnd::Application toolkit(argc, argv);
    CUpdaterApp theApp;
    return theApp.InitInstance();
}
