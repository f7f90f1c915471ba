// Throughput of loading a 64 MiB HEX file of 32-byte data records whose
// addresses cycle over the image window (later records overwrite earlier ones):
// from a file with the path the processor allows, and from memory on each path.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "firmware/ByteSource.h"
#include "firmware/FirmwareUpdater.h"
#include "firmware/HexVariant.h"
#include "firmware/HexReader.h"

namespace {

constexpr std::size_t kFileSize = 64u << 20;

std::string MakeHexText()
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(kFileSize + 128);
    unsigned address = 0;
    unsigned seed = 1;
    while (text.size() + 76 <= kFileSize) {
        unsigned char rec[4 + 32] = {32, static_cast<unsigned char>(address >> 8),
                                     static_cast<unsigned char>(address), 0};
        unsigned sum = 32 + (address >> 8) + (address & 0xFF);
        for (int i = 0; i < 32; ++i) {
            seed = seed * 1103515245u + 12345u;
            rec[4 + i] = static_cast<unsigned char>(seed >> 16);
            sum += rec[4 + i];
        }
        text += ':';
        for (unsigned char b : rec) {
            text += kDigits[b >> 4];
            text += kDigits[b & 15];
        }
        const unsigned cs = (0x100 - (sum & 0xFF)) & 0xFF;
        text += kDigits[cs >> 4];
        text += kDigits[cs & 15];
        text += '\n';
        address = (address + 32) % kImageSize;
    }
    text += ":00000001FF\n";
    return text;
}

const std::string& HexText()
{
    static const std::string text = MakeHexText();
    return text;
}

std::string g_path;

void BM_LoadHexFile(benchmark::State& state)
{
    CFirmwareUpdater updater;
    for (auto _ : state) {
        if (updater.LoadHexFile(g_path.c_str()) != 1) {
            state.SkipWithError("the file did not open");
            break;
        }
        benchmark::DoNotOptimize(updater.Image()[0]);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(HexText().size()));
    state.counters["checksum"] = updater.ComputeChecksum();
}
BENCHMARK(BM_LoadHexFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same text from memory: the reader alone, without the file system.
class StringSource : public CByteSource {
public:
    explicit StringSource(const std::string& s) : m_s(s) {}
    std::size_t Read(void* buffer, std::size_t size) override
    {
        const std::size_t n = std::min(size, m_s.size() - m_pos);
        std::copy_n(m_s.data() + m_pos, n, static_cast<char*>(buffer));
        m_pos += n;
        return n;
    }

private:
    const std::string& m_s;
    std::size_t m_pos = 0;
};

void BM_ReadHexFromMemory(benchmark::State& state)
{
    const auto variant = static_cast<HexVariant>(state.range(0));
    if (!HexVariantAvailable(variant)) {
        state.SkipWithError("this processor cannot run that variant");
        return;
    }
    const HexVariant before = CurrentHexVariant();
    UseHexVariant(variant);
    state.SetLabel(HexVariantName(variant));
    std::vector<std::uint8_t> image(kImageSize);
    for (auto _ : state) {
        StringSource source(HexText());
        ReadHex(source, image.data());
        benchmark::DoNotOptimize(image.data());
    }
    UseHexVariant(before);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(HexText().size()));
}
BENCHMARK(BM_ReadHexFromMemory)
    ->Arg(static_cast<int>(HexVariant::Portable))
    ->Arg(static_cast<int>(HexVariant::Avx2))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    g_path = (std::filesystem::temp_directory_path() / ("tolvanex-bench-" + std::to_string(::getpid()) + ".hex"))
                 .string();
    {
        std::ofstream out(g_path, std::ios::binary);
        out << HexText();
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", g_path.c_str());
            return 1;
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(g_path);
    return 0;
}
