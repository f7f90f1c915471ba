#include "cli/Json.h"

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

void JsonWriter::Next(std::string_view key)
{
    if (m_keyWritten) {  // the value of a Key() just written
        m_keyWritten = false;
        return;
    }
    if (!m_open.empty()) {
        if (!m_open.back().empty)
            m_text += ',';
        m_open.back().empty = false;
    }
    if (!key.empty())
        m_text += JsonString(key) + ":";
}

JsonWriter& JsonWriter::Object()
{
    Next({});
    m_text += '{';
    m_open.push_back({'}', true});
    return *this;
}

JsonWriter& JsonWriter::Array()
{
    Next({});
    m_text += '[';
    m_open.push_back({']', true});
    return *this;
}

JsonWriter& JsonWriter::End()
{
    m_text += m_open.back().close;
    m_open.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key)
{
    Next(key);
    m_keyWritten = true;
    return *this;
}

JsonWriter& JsonWriter::Str(std::string_view key, std::string_view text)
{
    Next(key);
    m_text += JsonString(text);
    return *this;
}

JsonWriter& JsonWriter::Num(std::string_view key, long long number)
{
    Next(key);
    m_text += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::Bool(std::string_view key, bool value)
{
    Next(key);
    m_text += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null(std::string_view key)
{
    Next(key);
    m_text += "null";
    return *this;
}

JsonWriter& JsonWriter::StrOrNull(std::string_view key, std::string_view text)
{
    return text.empty() ? Null(key) : Str(key, text);
}

}  // namespace cli
