// One HEX file as the updater reads it, in a fixed record: whether it opened,
// whether some record stored a byte, the checksum (low byte first) and the
// 16 KiB image. Built natively (records of the files named on the command
// line, on standard output) and for WebAssembly (tvx_hex_record), so that a
// test can hold the page's reader against the programs'.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "firmware/FirmwareUpdater.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#define TVX_EXPORT EMSCRIPTEN_KEEPALIVE
#else
#define TVX_EXPORT
#endif

namespace {
constexpr std::size_t kHeader = 4;
std::uint8_t g_record[kHeader + kImageSize];
}  // namespace

extern "C" TVX_EXPORT const std::uint8_t* tvx_hex_record(const char* path)
{
    CFirmwareUpdater updater;  // a fresh one: an image all 0xFF
    const int opened = updater.LoadHexFile(path);
    const int checksum = updater.ComputeChecksum();
    g_record[0] = static_cast<std::uint8_t>(opened);
    g_record[1] = static_cast<std::uint8_t>(updater.HasData());
    g_record[2] = static_cast<std::uint8_t>(checksum & 0xFF);
    g_record[3] = static_cast<std::uint8_t>(checksum >> 8);
    std::memcpy(g_record + kHeader, updater.Image(), kImageSize);
    return g_record;
}

extern "C" TVX_EXPORT std::uint32_t tvx_hex_record_size()
{
    return sizeof g_record;
}

#ifndef __EMSCRIPTEN__
int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::fwrite(tvx_hex_record(argv[i]), 1, sizeof g_record, stdout) != sizeof g_record)
            return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
#endif
