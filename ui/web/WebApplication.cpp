// The page's start-up: the folder for chosen files. The browser runs the
// event loop, so Run returns at once and the program lives on with the page.

#include <sys/stat.h>
#include <unistd.h>

#include "ui/WindowApp.h"
#include "ui/web/WebWindow.h"

namespace wnd {

struct Application::Impl {};

Application::Application(int, char**)
{
    ::mkdir(kChosenFileFolder, 0700);
    // LoadHexFile gets the chosen file's name, as the path box shows it.
    (void)::chdir(kChosenFileFolder);
}

Application::~Application() = default;

int Application::Run()
{
    return 0;
}

}  // namespace wnd
