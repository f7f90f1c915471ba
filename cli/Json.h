#pragma once
// A small writer of one-line JSON documents, for what scripts read.

#include <string>
#include <string_view>
#include <vector>

namespace cli {

// `text` as a JSON string, quotes included; ill-formed UTF-8 becomes U+FFFD.
std::string JsonString(std::string_view text);

// Builds a document value by value; commas and quotes are its business.
//   JsonWriter w; w.Object().Str("event", "found").Num("length", 9).End();
class JsonWriter {
public:
    JsonWriter& Object();
    JsonWriter& Array();
    JsonWriter& End();  // of the innermost object or array

    // Names the member whose value the next Object() or Array() opens.
    JsonWriter& Key(std::string_view key);
    // A member of the current object; with an empty key, an element of the current array.
    JsonWriter& Str(std::string_view key, std::string_view text);
    JsonWriter& Num(std::string_view key, long long number);
    JsonWriter& Bool(std::string_view key, bool value);
    JsonWriter& Null(std::string_view key);
    // `text`, or null when it is empty (a name the system did not give).
    JsonWriter& StrOrNull(std::string_view key, std::string_view text);

    const std::string& Text() const { return m_text; }

private:
    void Next(std::string_view key);

    std::string m_text;
    struct Open {
        char close;  // '}' or ']'
        bool empty;
    };
    std::vector<Open> m_open;
    bool m_keyWritten = false;
};

}  // namespace cli
