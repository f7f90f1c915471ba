// The page's side of the catalogue is web/Releases.js: it fetches the files.
// The catalogue is read, listed in the release chooser (ui/), and each file
// checked and loaded, here, by the same code as tolvanex-cli's.
#include "Releases.h"

#include <emscripten/emscripten.h>

#include <cstdint>
#include <memory>
#include <string>

#include "firmware/Catalogue.h"
#include "ui/Dialog.h"
#include "ui/ReleaseChooserDlg.h"
#include "ui/UpdaterDlg.h"

extern "C" int tvx_releases_start();
extern "C" int tvx_releases_latest(int choice);
extern "C" void tvx_releases_fetch(int index);
extern "C" void tvx_releases_cancel();

namespace {

Catalogue g_catalogue;
CUpdaterDlg* (*g_current)() = nullptr;

// The chooser's host on the page: a release chosen is fetched by
// Releases.js, which hands its bytes to tvx_releases_take. The page keeps
// the chooser beside the dialog: Escape does not take it away.
class PageHost : public CReleaseChooserDlg::Host {
public:
    void ReleaseChosen(std::size_t index) override { tvx_releases_fetch(static_cast<int>(index)); }
};

PageHost g_host;
std::unique_ptr<CReleaseChooserDlg> g_chooser;

// The chooser's window, shown below the dialog the first time there is
// something to list or to say.
CReleaseChooserDlg& Chooser()
{
    if (!g_chooser) {
        g_chooser = std::make_unique<CReleaseChooserDlg>(g_host);
        g_chooser->Create();
        wnd::ShowWindow(g_chooser->GetSafeHwnd(), true);
        if (CUpdaterDlg* dialog = g_current != nullptr ? g_current() : nullptr)
            LockReleasesWith(*dialog);
    }
    return *g_chooser;
}

}  // namespace

void StartReleases(CUpdaterDlg* (*current)())
{
    g_current = current;
    // The chooser's place below the dialog is taken at once: the list
    // arriving later does not move what the user may be about to click.
    if (tvx_releases_start() != 0)
        Chooser().Say("Cargando las versiones…");
}

void CancelReleaseDownload()
{
    tvx_releases_cancel();
}

void LockReleasesWith(CUpdaterDlg& dialog)
{
    if (g_chooser)
        dialog.LockWith(g_chooser->GetSafeHwnd());
}

extern "C" {

// The catalogue's bytes, as fetched: 1 when it is one, whose releases the
// chooser then lists; else 0, and the chooser says why.
EMSCRIPTEN_KEEPALIVE int tvx_releases_read(const char* text, int size)
{
    std::string why;
    if (!ReadCatalogue(std::string_view(text, static_cast<std::size_t>(size)), &g_catalogue, &why)) {
        Chooser().Say("El catálogo de versiones de este sitio (firmware.json) no es válido: " + why +
                      ". Puede abrir su propio archivo con «Abrir HEX».");
        return 0;
    }
    Chooser().SetReleases(g_catalogue.releases);
    Chooser().Say(g_catalogue.releases.empty() ? "El fabricante no ha publicado ninguna versión" : "");
    return 1;
}

// The site has no catalogue: the chooser goes.
EMSCRIPTEN_KEEPALIVE void tvx_releases_none()
{
    if (g_chooser)
        wnd::ShowWindow(g_chooser->GetSafeHwnd(), false);
}

// The line above the list; empty hides it.
EMSCRIPTEN_KEEPALIVE void tvx_releases_say(const char* text)
{
    Chooser().Say(text);
}

EMSCRIPTEN_KEEPALIVE int tvx_releases_count()
{
    return static_cast<int>(g_catalogue.releases.size());
}

// Field 0 the version, 1 the date, 2 the file, 3 the notes, of the release
// at `index` (newest first).
EMSCRIPTEN_KEEPALIVE const char* tvx_releases_field(int index, int field)
{
    if (index < 0 || index >= tvx_releases_count())
        return "";
    const CatalogueRelease& r = g_catalogue.releases[static_cast<std::size_t>(index)];
    switch (field) {
    case 0:
        return r.version.c_str();
    case 1:
        return r.date.c_str();
    case 2:
        return r.file.c_str();
    default:
        return r.notes.c_str();
    }
}

// The most bytes the page fetches of the catalogue (`file` 0) or of a
// release's file (1): one past the largest that the program takes, so that
// a larger one is refused by its size and never fetched whole.
EMSCRIPTEN_KEEPALIVE int tvx_releases_most(int file)
{
    return static_cast<int>((file != 0 ? kMaxReleaseFileSize : kMaxCatalogueSize) + 1);
}

// The index of the release of the version in `text`'s `size` bytes (1.2.0
// is 1.2); -1 when there is none, -2 when they are not a version at all.
EMSCRIPTEN_KEEPALIVE int tvx_releases_find(const char* text, int size)
{
    const std::string_view version(text, static_cast<std::size_t>(size));
    if (!IsVersion(version))
        return -2;
    const CatalogueRelease* r = FindRelease(g_catalogue, version);
    return r != nullptr ? static_cast<int>(r - g_catalogue.releases.data()) : -1;
}

// A release's file as downloaded, or `failure` (not null) when it could not
// be: loaded into the dialog once its SHA-256 is the catalogue's, else the
// dialog's box says why and nothing changes. A call that may wait: the
// browser computes the digest, and meanwhile the user may choose another
// file (`choice` is then no longer the latest), which wins.
EMSCRIPTEN_KEEPALIVE void tvx_releases_take(int index, const std::uint8_t* data, int size, const char* failure,
                                            int choice)
{
    CUpdaterDlg* dialog = g_current != nullptr ? g_current() : nullptr;
    if (dialog == nullptr || dialog->IsUpdateRunning() || index < 0 || index >= tvx_releases_count())
        return;
    const CatalogueRelease release = g_catalogue.releases[static_cast<std::size_t>(index)];
    if (failure != nullptr) {
        AfxMessageBox(dialog->GetSafeHwnd(),
                      "No se puede descargar la versión " + release.version + " («" + release.file + "»): " + failure);
        return;
    }
    std::string why;
    const bool same = CheckReleaseFile(release, data, static_cast<std::size_t>(size), &why);
    // The wait for the digest let the page run on: its dialog may be another
    // now, or the user's choice another file.
    dialog = g_current();
    if (dialog == nullptr || dialog->IsUpdateRunning() || tvx_releases_latest(choice) == 0)
        return;
    if (!same) {
        AfxMessageBox(dialog->GetSafeHwnd(), "No se ha cargado nada: " + why);
        return;
    }
    const std::string name = release.file.substr(release.file.rfind('/') + 1);
    dialog->OpenHexBytes(data, static_cast<std::size_t>(size), name + " (versión " + release.version + ")");
}
}
