#include "app/UpdaterApp.h"
#include "ui/WindowApp.h"

int main(int argc, char** argv)
{
    wnd::Application toolkit(argc, argv);
    CUpdaterApp theApp;
    // InitInstance returns FALSE: the program ends when the main dialog closes.
    return theApp.InitInstance() ? toolkit.Run() : 0;
}
