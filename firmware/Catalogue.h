#pragma once
// The firmware catalogue a maker publishes beside the web page, firmware.json:
// the releases, each an Intel HEX file on the same site with its SHA-256.
// The page and tolvanex-cli read it here, and nowhere else.
//
//   {"format": 1,
//    "releases": [{"version": "1.2", "date": "2026-11-30", "file": "releases/1.2.hex",
//                  "sha256": "<64 hexadecimal digits>", "notes": "Texto para el usuario"}]}
//
// Every member is required, and no other is taken, so that a misspelt name is
// told rather than passed over.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sys/Sha256.h"

// The catalogue's name beside the page.
inline constexpr const char* kCatalogueName = "firmware.json";
// The only format this reader knows.
constexpr int kCatalogueFormat = 1;
// A larger text is no catalogue: it would only cost the page its memory.
constexpr std::size_t kMaxCatalogueSize = 1 << 20;
// A release's file is the 16 KiB image as Intel HEX: some 45 KiB written
// plainly, a few times that with comments or CRLF. The page and tolvanex-cli
// hold the file whole while they check its SHA-256, so a larger one is
// refused by its size, read no further than one byte past this.
constexpr std::size_t kMaxReleaseFileSize = 1 << 20;

struct CatalogueRelease {
    std::string version;  // numbers joined by dots ("1.2", "1.10.3"), no leading zeros, at most
                          // 9 digits each and 32 characters in all
    std::string date;     // YYYY-MM-DD, a real day
    std::string file;     // a path under the catalogue's folder: parts of [A-Za-z0-9._~-] joined by '/'
    Sha256Digest sha256{};
    std::string notes;  // plain text (line feeds and tabs allowed); may be empty
};

struct Catalogue {
    std::vector<CatalogueRelease> releases;  // newest version first
};

// Reads a catalogue's text; false with a Spanish *error (one line, without
// the catalogue's name) when it is not one that this reader knows whole.
bool ReadCatalogue(std::string_view text, Catalogue* out, std::string* error);

// Whether `version` has a version's form ("1.2", "1.10.3"; see
// CatalogueRelease::version).
bool IsVersion(std::string_view version);
// The release of that version, however many zero parts either ends in
// ("1.2.0" finds 1.2, "1.2" finds 1.2.0: one version); null when there is none.
const CatalogueRelease* FindRelease(const Catalogue& catalogue, std::string_view version);
// Its versions, newest first, joined with ", ": for a message that lists
// them. Only the `most` newest, then "…", when it has more.
std::string CatalogueVersions(const Catalogue& catalogue, std::size_t most = static_cast<std::size_t>(-1));

// Whether the `size` bytes at `data` are the release's file: true when their
// SHA-256 is the catalogue's. Otherwise false with a Spanish *error (without
// what follows, which the caller says); a file larger than
// kMaxReleaseFileSize is refused by its size alone, so the caller may stop
// reading one byte past it. In a page it waits for the browser.
bool CheckReleaseFile(const CatalogueRelease& release, const void* data, std::size_t size, std::string* error);

// The digest as sha256sum writes it: 64 lower-case hexadecimal digits.
std::string Sha256Text(const Sha256Digest& digest);
