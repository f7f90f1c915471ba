// The updater as a web page: the same application object and main dialog as
// the window program. A page cannot end itself: "Salir" (or Escape) closes
// the controller and brings the page back to how it started.

#include <memory>

#include "Releases.h"
#include "app/UpdaterApp.h"
#include "ui/Dialog.h"
#include "ui/UpdaterDlg.h"
#include "ui/WindowApp.h"
#include "ui/web/WebWindow.h"

namespace {

std::unique_ptr<CUpdaterDlg> g_dialog;

void ShowMainDialog()
{
    // The old dialog goes first: its updater closes the controller.
    g_dialog.reset();
    g_dialog = std::make_unique<CUpdaterDlg>();
    g_dialog->Create();
    LockReleasesWith(*g_dialog);
}

}  // namespace

int main(int argc, char** argv)
{
    static wnd::Application toolkit(argc, argv);
    // Names the program and opens the About box from the system menu.
    static CUpdaterApp theApp;
    wnd::SetPageBoxCaption(AfxGetAppName());
    wnd::SetModelessEndHandler([](wnd::Handle, std::intptr_t) {
        CancelReleaseDownload();
        ShowMainDialog();
    });
    ShowMainDialog();
    StartReleases([] { return g_dialog.get(); });
    return toolkit.Run();
}
