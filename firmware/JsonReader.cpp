#include "firmware/JsonReader.h"

#include <cstddef>
#include <cstdint>
#include <set>

namespace {

constexpr int kMaxDepth = 32;

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    bool Document(JsonValue* out, std::string* error)
    {
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF")
            m_lineStart = m_pos = 3;
        SkipSpace();
        if (!Value(out, 0))
            return Fail(error);
        SkipSpace();
        if (m_pos != m_text.size()) {
            m_why = "sobra texto después del documento";
            return Fail(error);
        }
        return true;
    }

private:
    bool Fail(std::string* error) const
    {
        *error = "línea " + std::to_string(m_line) + ", columna " + std::to_string(Column()) + ": " + m_why;
        return false;
    }

    // False with the reason kept for Fail.
    bool Wrong(const char* why)
    {
        m_why = why;
        return false;
    }

    // Counted only for a message: a long line would make it costly for each value.
    int Column() const
    {
        int column = 1;
        for (std::size_t i = m_lineStart; i < m_pos && i < m_text.size(); ++i)
            column += (static_cast<unsigned char>(m_text[i]) & 0xC0) != 0x80 ? 1 : 0;
        return column;
    }

    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }

    void SkipSpace()
    {
        while (!AtEnd()) {
            const char c = m_text[m_pos];
            if (c == '\n') {
                ++m_line;
                m_lineStart = m_pos + 1;
            } else if (c != ' ' && c != '\t' && c != '\r') {
                return;
            }
            ++m_pos;
        }
    }

    bool Value(JsonValue* out, int depth)
    {
        if (depth >= kMaxDepth)
            return Wrong("demasiados niveles anidados");
        switch (Peek()) {
        case '{':
            out->kind = JsonValue::Kind::kObject;
            return Object(out, depth);
        case '[':
            out->kind = JsonValue::Kind::kArray;
            return Array(out, depth);
        case '"':
            out->kind = JsonValue::Kind::kString;
            return String(&out->text);
        case 't':
            out->kind = JsonValue::Kind::kBool;
            out->boolean = true;
            return Word("true");
        case 'f':
            out->kind = JsonValue::Kind::kBool;
            return Word("false");
        case 'n':
            out->kind = JsonValue::Kind::kNull;
            return Word("null");
        default:
            out->kind = JsonValue::Kind::kNumber;
            return Number(&out->text);
        }
    }

    bool Word(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            return Wrong("se esperaba un valor");
        m_pos += word.size();
        return true;
    }

    bool Digits()
    {
        const std::size_t start = m_pos;
        while (Peek() >= '0' && Peek() <= '9')
            ++m_pos;
        return m_pos != start;
    }

    bool Number(std::string* text)
    {
        const std::size_t start = m_pos;
        if (Peek() == '-')
            ++m_pos;
        if (Peek() == '0')
            ++m_pos;
        else if (!Digits())
            return Wrong(m_pos == start ? "se esperaba un valor" : "número mal escrito");
        if (Peek() == '.') {
            ++m_pos;
            if (!Digits())
                return Wrong("número mal escrito");
        }
        if (Peek() == 'e' || Peek() == 'E') {
            ++m_pos;
            if (Peek() == '+' || Peek() == '-')
                ++m_pos;
            if (!Digits())
                return Wrong("número mal escrito");
        }
        if (Peek() >= '0' && Peek() <= '9')
            return Wrong("número mal escrito");  // a leading zero: 012
        *text = std::string(m_text.substr(start, m_pos - start));
        return true;
    }

    // Four hex digits after "\u"; -1 when they are not.
    long Hex4()
    {
        if (m_text.size() - m_pos < 4)
            return -1;
        long value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_pos + static_cast<std::size_t>(i)];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                return -1;
            value = value * 16 + digit;
        }
        m_pos += 4;
        return value;
    }

    static void AppendUtf8(std::string* out, std::uint32_t cp)
    {
        if (cp < 0x80) {
            *out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            *out += static_cast<char>(0xC0 | (cp >> 6));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            *out += static_cast<char>(0xE0 | (cp >> 12));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *out += static_cast<char>(0xF0 | (cp >> 18));
            *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool Escape(std::string* out)
    {
        const char c = Peek();
        ++m_pos;
        switch (c) {
        case '"':
        case '\\':
        case '/':
            *out += c;
            return true;
        case 'b':
            *out += '\b';
            return true;
        case 'f':
            *out += '\f';
            return true;
        case 'n':
            *out += '\n';
            return true;
        case 'r':
            *out += '\r';
            return true;
        case 't':
            *out += '\t';
            return true;
        case 'u':
            break;
        default:
            --m_pos;
            return Wrong("escape no válido en un texto");
        }
        const long unit = Hex4();
        if (unit < 0)
            return Wrong("\\u necesita cuatro dígitos hexadecimales");
        std::uint32_t cp = static_cast<std::uint32_t>(unit);
        if (cp >= 0xDC00 && cp <= 0xDFFF)
            return Wrong("\\u de un sustituto UTF-16 suelto");
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (m_text.substr(m_pos, 2) != "\\u")
                return Wrong("\\u de un sustituto UTF-16 suelto");
            m_pos += 2;
            const long low = Hex4();
            if (low < 0xDC00 || low > 0xDFFF)
                return Wrong("\\u de un sustituto UTF-16 suelto");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(low) - 0xDC00);
        }
        AppendUtf8(out, cp);
        return true;
    }

    // One well-formed UTF-8 sequence of two to four bytes, copied to *out.
    bool Utf8(std::string* out)
    {
        const auto byte = [&](std::size_t i) {
            return m_pos + i < m_text.size() ? static_cast<unsigned char>(m_text[m_pos + i]) : 0u;
        };
        const unsigned lead = byte(0);
        std::size_t length = 0;
        unsigned low = 0x80, high = 0xBF;  // the second byte's range
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return Wrong("UTF-8 no válido");
        }
        if (byte(1) < low || byte(1) > high)
            return Wrong("UTF-8 no válido");
        for (std::size_t i = 2; i < length; ++i)
            if ((byte(i) & 0xC0) != 0x80)
                return Wrong("UTF-8 no válido");
        out->append(m_text.substr(m_pos, length));
        m_pos += length;
        return true;
    }

    bool String(std::string* out)
    {
        ++m_pos;  // the opening quote
        for (;;) {
            if (AtEnd())
                return Wrong("texto sin cerrar");
            const auto c = static_cast<unsigned char>(m_text[m_pos]);
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c < 0x20)
                return Wrong(c == '\n' ? "texto sin cerrar en su línea"
                                       : "carácter de control sin escapar en un texto");
            if (c == '\\') {
                ++m_pos;
                if (!Escape(out))
                    return false;
            } else if (c < 0x80) {
                *out += static_cast<char>(c);
                ++m_pos;
            } else if (!Utf8(out)) {
                return false;
            }
        }
    }

    bool Array(JsonValue* out, int depth)
    {
        ++m_pos;
        SkipSpace();
        if (Peek() == ']') {
            ++m_pos;
            return true;
        }
        for (;;) {
            out->items.emplace_back();
            if (!Value(&out->items.back(), depth + 1))
                return false;
            SkipSpace();
            if (Peek() == ']') {
                ++m_pos;
                return true;
            }
            if (Peek() != ',')
                return Wrong("se esperaba «,» o «]»");
            ++m_pos;
            SkipSpace();
        }
    }

    bool Object(JsonValue* out, int depth)
    {
        ++m_pos;
        SkipSpace();
        if (Peek() == '}') {
            ++m_pos;
            return true;
        }
        std::set<std::string> names;
        for (;;) {
            if (Peek() != '"')
                return Wrong("se esperaba un nombre entre comillas");
            const std::size_t nameAt = m_pos;
            std::string name;
            if (!String(&name))
                return false;
            if (!names.insert(name).second) {
                m_pos = nameAt;
                m_duplicate = "el nombre «" + name + "» se repite";
                return Wrong(m_duplicate.c_str());
            }
            SkipSpace();
            if (Peek() != ':')
                return Wrong("se esperaba «:»");
            ++m_pos;
            SkipSpace();
            out->members.push_back({std::move(name), JsonValue{}});
            if (!Value(&out->members.back().value, depth + 1))
                return false;
            SkipSpace();
            if (Peek() == '}') {
                ++m_pos;
                return true;
            }
            if (Peek() != ',')
                return Wrong("se esperaba «,» o «}»");
            ++m_pos;
            SkipSpace();
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    std::size_t m_lineStart = 0;
    const char* m_why = "";
    std::string m_duplicate;  // holds the text m_why points at for a repeated name
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const
{
    for (const JsonMember& m : members)
        if (m.name == name)
            return &m.value;
    return nullptr;
}

bool ReadJson(std::string_view text, JsonValue* out, std::string* error)
{
    *out = JsonValue{};
    return Reader(text).Document(out, error);
}

const char* JsonKindName(JsonValue::Kind kind)
{
    switch (kind) {
    case JsonValue::Kind::kNull:
        return "null";
    case JsonValue::Kind::kBool:
        return "un valor lógico";
    case JsonValue::Kind::kNumber:
        return "un número";
    case JsonValue::Kind::kString:
        return "un texto";
    case JsonValue::Kind::kArray:
        return "una lista";
    case JsonValue::Kind::kObject:
        return "un objeto";
    }
    return "";
}
