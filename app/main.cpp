#include "app/UpdaterApp.h"

int main(int argc, char** argv)
{
    CUpdaterApp theApp(argc, argv);
    // InitInstance returns FALSE: the program ends when the main dialog closes.
    return theApp.InitInstance() ? QApplication::exec() : 0;
}
