#include "firmware/HexReader.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "firmware/ByteSource.h"
#include "firmware/FirmwareImage.h"
#include "firmware/HexDigits.h"

namespace {

constexpr std::size_t kMinRecordLength = 11;  // colon, count, address, type, checksum
constexpr std::size_t kBlockSize = 256 * 1024;
// Every character a record can use (9 + 2 x 255), and one more so that a kept
// prefix is never mistaken for a whole line.
constexpr std::size_t kKeptChars = 9 + 2 * 255 + 1;
constexpr char kEndOfInput = 0x1A;

// A line that runs across blocks: its first characters and its full length.
struct PartialLine {
    char kept[kKeptChars];
    std::size_t keptLength = 0;
    std::size_t totalLength = 0;
    bool endsInCr = false;
    bool active = false;

    void Append(const char* p, std::size_t n)
    {
        const std::size_t room = kKeptChars - keptLength;
        const std::size_t take = std::min(room, n);
        std::memcpy(kept + keptLength, p, take);
        keptLength += take;
        totalLength += n;
        if (n > 0)
            endsInCr = p[n - 1] == '\r';
        active = true;
    }

    // The usable characters of the finished line; a CR goes only before a LF.
    std::string_view Finish(bool atLineFeed)
    {
        std::size_t length = totalLength;
        if (atLineFeed && endsInCr)
            --length;
        const std::size_t usable = std::min(length, keptLength);
        // Reset all but `kept`, which the returned view still points into.
        keptLength = 0;
        totalLength = 0;
        endsInCr = false;
        active = false;
        return {kept, usable};
    }
};

}  // namespace

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
    auto block = std::make_unique_for_overwrite<char[]>(kBlockSize);
    auto partial = std::make_unique<PartialLine>();

    for (;;) {
        std::size_t n = source.Read(block.get(), kBlockSize);
        if (n == 0)
            break;
        bool endOfInput = false;
        if (const void* stop = std::memchr(block.get(), kEndOfInput, n)) {
            n = static_cast<std::size_t>(static_cast<const char*>(stop) - block.get());
            endOfInput = true;
        }

        const char* p = block.get();
        const char* const end = p + n;
        while (p < end) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            if (lf == nullptr) {
                partial->Append(p, static_cast<std::size_t>(end - p));
                break;
            }
            std::string_view line;
            if (partial->active) {
                partial->Append(p, static_cast<std::size_t>(lf - p));
                line = partial->Finish(true);
            } else {
                std::size_t length = static_cast<std::size_t>(lf - p);
                if (length > 0 && p[length - 1] == '\r')
                    --length;
                line = {p, length};
            }
            p = lf + 1;
            if (!ApplyHexLine(line, image))
                return;
        }
        if (endOfInput)
            break;
    }
    // A last line without a line feed counts like any other.
    if (partial->active)
        ApplyHexLine(partial->Finish(false), image);
}
