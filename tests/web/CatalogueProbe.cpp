// A program for the catalogue's test in node (catalogue.mjs): the page's
// reader of the catalogue and its SHA-256 check, on the browser's Web Crypto
// as the page has it. Each call leaves its answer for tvx_probe_answer.
#include <emscripten/emscripten.h>

#include <string>

#include "firmware/Catalogue.h"

extern "C" void tvx_probe_lend_lane();

namespace {
std::string g_answer;
}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* tvx_probe_answer()
{
    return g_answer.c_str();
}

// The digest of `size` bytes, or "error: ..."; waits for the browser.
EMSCRIPTEN_KEEPALIVE void tvx_probe_sha256(const void* data, int size)
{
    tvx_probe_lend_lane();
    Sha256Digest digest{};
    int error = 0;
    g_answer = SysSha256(data, static_cast<std::size_t>(size), &digest, &error) ? Sha256Text(digest)
                                                                                : "error: " + SysErrorText(error);
}

// The catalogue's versions, newest first, or "error: ..."; with `version`,
// then whether `size` bytes at `data` are that release's file ("ok" or the
// reason).
EMSCRIPTEN_KEEPALIVE void tvx_probe_catalogue(const char* text, const char* version, const void* data, int size)
{
    Catalogue catalogue;
    std::string why;
    if (!ReadCatalogue(text, &catalogue, &why)) {
        g_answer = "error: " + why;
        return;
    }
    g_answer = CatalogueVersions(catalogue);
    if (const CatalogueRelease* release = FindRelease(catalogue, version))
        g_answer = CheckReleaseFile(*release, data, static_cast<std::size_t>(size), &why) ? "ok" : why;
}
}
