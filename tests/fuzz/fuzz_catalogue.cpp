// Any bytes as a catalogue of releases: the reader stays inside them, and
// what it takes keeps the promises the page and the CLI build on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "firmware/Catalogue.h"
#include "firmware/JsonReader.h"

namespace {

void Check(bool holds)
{
    if (!holds)
        std::abort();
}

// No part of `file` leaves or stays put: none is empty, "." or "..".
bool StaysBelow(std::string_view file)
{
    for (std::size_t at = 0;;) {
        const std::size_t end = std::min(file.find('/', at), file.size());
        const std::string_view part = file.substr(at, end - at);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == file.size())
            return true;
        at = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    JsonValue json;
    std::string why;
    const bool isJson = ReadJson(text, &json, &why);
    Catalogue catalogue;
    if (!ReadCatalogue(text, &catalogue, &why)) {
        Check(!why.empty());
        return 0;
    }
    Check(isJson);
    for (const CatalogueRelease& r : catalogue.releases) {
        // A file of the catalogue's folder, and the one release of its version.
        const std::string_view file = r.file;
        Check(StaysBelow(file) && file.find_first_of(":\\%?#") == std::string_view::npos);
        Check(FindRelease(catalogue, r.version) == &r);
    }
    return 0;
}
