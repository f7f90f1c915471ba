#include "firmware/HexReader.h"

#include <algorithm>
#include <atomic>

#include "firmware/FirmwareImage.h"
#include "firmware/HexDigits.h"
#include "firmware/HexPath.h"

namespace {

constexpr std::size_t kMinRecordLength = 11;  // colon, count, address, type, checksum

void LoadPortable(CHexLines& lines, std::uint8_t* image)
{
    lines.ForEachLine([image](std::string_view line) { return ApplyHexLine(line, image); });
}

constexpr HexKernels kPortable = {ScanHexLinesPortable, LoadPortable};

const HexKernels* Kernels(HexPath path)
{
    return path == HexPath::Portable ? &kPortable : Avx2HexKernels();
}

std::atomic<const HexKernels*>& Chosen()
{
    static std::atomic<const HexKernels*> chosen{HexPathAvailable(HexPath::Avx2) ? Avx2HexKernels() : &kPortable};
    return chosen;
}

}  // namespace

bool HexPathAvailable(HexPath path)
{
    return Kernels(path) != nullptr;
}

HexPath CurrentHexPath()
{
    return Chosen().load(std::memory_order_relaxed) == &kPortable ? HexPath::Portable : HexPath::Avx2;
}

void UseHexPath(HexPath path)
{
    if (const HexKernels* k = Kernels(path))
        Chosen().store(k, std::memory_order_relaxed);
}

bool ApplyHexLine(std::string_view line, std::uint8_t* image)
{
    if (line.size() < kMinRecordLength || line[0] != ':')
        return true;
    const unsigned count = HexByteAt(line, 1);
    const unsigned address = (static_cast<unsigned>(HexByteAt(line, 3)) << 8) | HexByteAt(line, 5);
    if (HexByteAt(line, 7) != 0)
        return false;
    if (address >= kImageSize)
        return true;
    // Only bytes whose two digits both lie inside the line are stored, and
    // positions never wrap past 0xFFFF, so nothing at 0x4000 or above is kept.
    std::size_t n = std::min<std::size_t>(count, (line.size() - 9) / 2);
    n = std::min<std::size_t>(n, kImageSize - address);
    const char* digits = line.data() + 9;
    std::uint8_t* out = image + address;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>((HexDigitValue(digits[2 * i]) << 4) | HexDigitValue(digits[2 * i + 1]));
    return true;
}

void ReadHex(CByteSource& source, std::uint8_t* image)
{
    const HexKernels* kernels = Chosen().load(std::memory_order_relaxed);
    CHexLines lines(source, kernels->scan);
    kernels->load(lines, image);
}
