#include "cli/Cli.h"
#include "sys/Utf16.h"

namespace cli {

std::string JsonString(std::string_view text)
{
    // Through UTF-16 and back: whatever bytes a path holds, the document stays UTF-8.
    const std::string clean = Utf16ToUtf8(Utf8ToUtf16(text));
    std::string out = "\"";
    for (const char c : clean) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace cli
