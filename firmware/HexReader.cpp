#include "firmware/HexReader.h"

#include <atomic>

#include "firmware/FirmwareImage.h"
#include "firmware/HexDigits.h"
#include "firmware/HexRecord.h"
#include "firmware/HexVariant.h"

namespace {

// Digits a pair at a time through a table; nothing past the line is read.
struct PlainDigits {
    static std::uint8_t Pair(const char* p)
    {
        return static_cast<std::uint8_t>((HexDigitValue(p[0]) << 4) | HexDigitValue(p[1]));
    }
    std::uint32_t Head(const char* p) const
    {
        return Pair(p) | std::uint32_t{Pair(p + 2)} << 8 | std::uint32_t{Pair(p + 4)} << 16 |
               std::uint32_t{Pair(p + 6)} << 24;
    }
    void Store(std::uint8_t* out, const char* digits, std::size_t n, std::size_t /*room*/) const
    {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = Pair(digits + 2 * i);
    }
};

bool LoadPortable(CHexLines& lines, std::uint8_t* image)
{
    bool stored = false;
    lines.ForEachLine(
        [image, &stored](std::string_view line) { return ApplyRecord(line, image, PlainDigits{}, &stored); });
    return stored;
}

constexpr HexKernels kPortable = {ScanHexLinesPortable, LoadPortable};

const HexKernels* Kernels(HexVariant variant)
{
    return variant == HexVariant::Portable ? &kPortable : Avx2HexKernels();
}

std::atomic<const HexKernels*>& Chosen()
{
    static std::atomic<const HexKernels*> chosen{HexVariantAvailable(HexVariant::Avx2) ? Avx2HexKernels() : &kPortable};
    return chosen;
}

}  // namespace

bool HexVariantAvailable(HexVariant variant)
{
    return Kernels(variant) != nullptr;
}

HexVariant CurrentHexVariant()
{
    return Chosen().load(std::memory_order_relaxed) == &kPortable ? HexVariant::Portable : HexVariant::Avx2;
}

void UseHexVariant(HexVariant variant)
{
    if (const HexKernels* k = Kernels(variant))
        Chosen().store(k, std::memory_order_relaxed);
}

bool ApplyHexLine(std::string_view line, std::uint8_t* image, bool* stored)
{
    bool ignored = false;
    return ApplyRecord(line, image, PlainDigits{}, stored != nullptr ? stored : &ignored);
}

bool ReadHex(CByteSource& source, std::uint8_t* image)
{
    const HexKernels* kernels = Chosen().load(std::memory_order_relaxed);
    CHexLines lines(source, kernels->scan);
    return kernels->load(lines, image);
}

bool ReadHex(CByteSource& source, std::uint8_t* image, CHexLineObserver& observer)
{
    CHexLines lines(source, Chosen().load(std::memory_order_relaxed)->scan);
    lines.TrackExtents();
    const PlainDigits digits;
    bool stored = false;
    bool ended = false;
    lines.ForEachLine([&](std::string_view line) {
        HexLinePlace place;
        HexLineRole role = HexLineRole::kAfterEnd;
        if (!ended) {
            role = ReadRecordHead(line, digits, &place);
            StoreRecord(line, place, image, digits, &stored);
            ended = role == HexLineRole::kEnd;
        }
        observer.OnLine(line, lines.ExtentOf(line), role, place);
        return true;  // the observer sees the lines the read no longer takes
    });
    const bool midLine = lines.EndByteCutLine();
    bool told = false;
    lines.ForEachLineAfterEndByte([&](std::string_view line) {
        if (!told)
            observer.OnEndByte(midLine);
        told = true;
        observer.OnLine(line, lines.ExtentOf(line), HexLineRole::kAfterEndByte, HexLinePlace{});
    });
    return stored;
}
