// Any bytes as a HEX file: each of the reader's paths (plain C++ and vector
// code) must agree with a plain whole-line reader, whatever the line lengths
// and however the bytes arrive, and a read error must leave the image and the
// loaded flag as they were.
//
// Input: byte 0 chooses how many bytes each Read hands out and where a read
// error strikes; the rest is the file.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "firmware/ByteSource.h"
#include "firmware/FileException.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/HexVariant.h"
#include "tests/firmware/HexReference.h"
#include "tests/support/MemorySource.h"

namespace {

using testsupport::MemorySource;

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

}  // namespace

// Says in the log which paths this machine compares.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::fprintf(stderr, "reader paths compared:");
    for (HexVariant variant : kAllHexVariants)
        if (HexVariantAvailable(variant))
            std::fprintf(stderr, " %s", HexVariantName(variant));
    std::fprintf(stderr, "\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned mode = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t chunk = (mode & 0x80) ? SIZE_MAX : (mode & 0x3F) + 1;

    static std::uint8_t want[kImageSize];
    hextest::ReferenceRead(text, want);

    for (HexVariant variant : kAllHexVariants) {
        if (!HexVariantAvailable(variant))
            continue;
        UseHexVariant(variant);
        CFirmwareUpdater updater;
        MemorySource whole(std::string(text), chunk, SIZE_MAX);
        Check(updater.LoadHex(whole) == 1);
        Check(updater.IsHexLoaded() == 1);
        Check(std::memcmp(updater.Image(), want, kImageSize) == 0);

        // A read error part-way: nothing changes, unless the reader had already
        // stopped at a record of another type (then the load is whole).
        if (mode & 0x40) {
            CFirmwareUpdater failing;
            MemorySource broken(std::string(text), chunk, text.size() / 2);
            try {
                failing.LoadHex(broken);
                Check(failing.IsHexLoaded() == 1);
                Check(std::memcmp(failing.Image(), want, kImageSize) == 0);
            } catch (const CFileException& e) {
                Check(e.FileName() == "disco/roto.hex" && e.OsError() == EIO);
                Check(failing.IsHexLoaded() == 0);
                static const std::string erased(kImageSize, '\xFF');
                Check(std::memcmp(failing.Image(), erased.data(), kImageSize) == 0);
            }
        }
    }
    return 0;
}
